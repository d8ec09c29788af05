#include "input.hpp"

#include <cerrno>
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

} // namespace platform
