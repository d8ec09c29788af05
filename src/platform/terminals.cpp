#include "platform/terminals.hpp"

namespace platform {

const Terminals& terminals() noexcept
{
    // Set on the first question rather than by a guarded static, which would
    // bring in the C++ run-time's lock for a tool that runs on one thread.
    static Terminals looked;
    static bool looked_yet = false;
    if (!looked_yet) {
        looked = look_at_terminals();
        looked_yet = true;
    }
    return looked;
}

} // namespace platform
