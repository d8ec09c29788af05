#pragma once

// Helpers for the tests that drive a program in a pseudo-terminal.

#include <array>
#include <chrono>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace pty {

using namespace std::chrono_literals;

// All that `fd` has to read, until it has been quiet for 20 ms.
inline std::string drain(int fd)
{
    std::string text;
    std::array<char, 4096> buffer{};
    pollfd ready{fd, POLLIN, 0};
    while (poll(&ready, 1, 20) > 0 && (ready.revents & POLLIN) != 0) {
        const ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n <= 0) {
            break;
        }
        text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return text;
}

// True once `condition` holds, false if it still does not after `limit`.
template <typename Condition> bool eventually(std::chrono::milliseconds limit, Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

} // namespace pty
