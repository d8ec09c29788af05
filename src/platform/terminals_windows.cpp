#include "platform/terminals.hpp"

#include "platform/console_windows.hpp"

namespace platform {

namespace {

Terminals look() noexcept
{
    Terminals terminals;
    terminals.input = console_of(0) != nullptr;
    terminals.output = console_of(1) != nullptr;
    // The console echoes the Enter that ends a line, and Ctrl-Z as ^Z and a
    // line end: the result always starts on a line of its own.
    terminals.input_shows_on_output = false;
    // A process has one console at most.
    terminals.errors_show_with_output = terminals.output && console_of(2) != nullptr;
    return terminals;
}

} // namespace

const Terminals& terminals() noexcept
{
    // Set on the first question rather than by a guarded static, which would
    // bring in the C++ run-time's lock for a tool that runs on one thread.
    static Terminals looked;
    static bool looked_yet = false;
    if (!looked_yet) {
        looked = look();
        looked_yet = true;
    }
    return looked;
}

} // namespace platform
