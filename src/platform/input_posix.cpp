#include "platform/input.hpp"

#include "platform/terminal_posix.hpp"

#include <cerrno>
#include <climits>
#include <termios.h>
#include <unistd.h>

namespace platform {

std::ptrdiff_t read_input(std::span<unsigned char> buffer) noexcept
{
    for (;;) {
        const ssize_t size = read(STDIN_FILENO, buffer.data(), buffer.size());
        if (size >= 0 || errno != EINTR) {
            return size;
        }
    }
}

bool input_drops_cr_before_lf() noexcept
{
    return false;
}

std::uint64_t terminal_line_limit() noexcept
{
    termios settings{};
    if (tcgetattr(STDIN_FILENO, &settings) != 0 || (settings.c_lflag & ICANON) == 0) {
        return 0;
    }
#if defined(__linux__)
    return 4095; // the line discipline's buffer, less room for the line end
#else
    return MAX_CANON;
#endif
}

} // namespace platform
