#include "platform/stream_output.hpp"

#include "platform/terminal_posix.hpp"

#include <unistd.h>

namespace platform {

bool write_output(std::FILE* stream, std::string_view bytes) noexcept
{
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

bool errors_show_with_output() noexcept
{
    return same_terminal(STDOUT_FILENO, STDERR_FILENO);
}

} // namespace platform
