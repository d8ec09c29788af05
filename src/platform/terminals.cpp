#include "platform/terminals.hpp"

#include "platform/first_use.hpp"

namespace platform {

const Terminals& terminals() noexcept
{
    return made_on_first_use<look_at_terminals>();
}

} // namespace platform
