#include "platform/terminals.hpp"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The terminal behind a descriptor, or 0 for none.
dev_t terminal_of(int descriptor) noexcept
{
    struct stat status {};
    return isatty(descriptor) != 0 && fstat(descriptor, &status) == 0 ? status.st_rdev : 0;
}

} // namespace

Terminals look_at_terminals() noexcept
{
    const dev_t input = terminal_of(STDIN_FILENO);
    const dev_t output = terminal_of(STDOUT_FILENO);
    const dev_t errors = terminal_of(STDERR_FILENO);
    Terminals terminals;
    terminals.input_shows_on_output = input != 0 && input == output;
    terminals.errors_show_with_output = output != 0 && output == errors;
    return terminals;
}

} // namespace platform
