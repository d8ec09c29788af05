#include "platform/terminals.hpp"

#include "platform/console_windows.hpp"

namespace platform {

Terminals look_at_terminals() noexcept
{
    Terminals terminals;
    const bool output = console_of(1) != nullptr;
    // The console echoes the Enter that ends a line, and Ctrl-Z as ^Z and a
    // line end: the result always starts on a line of its own.
    terminals.input_shows_on_output = false;
    // A process has one console at most.
    terminals.errors_show_with_output = output && console_of(2) != nullptr;
    return terminals;
}

} // namespace platform
