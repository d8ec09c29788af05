#include "platform/keyboard.hpp"

#include "platform/terminal_posix.hpp"

#include <array>
#include <cerrno>
#include <ctime>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// The wait reads the controlling terminal, not standard input, so that it
// waits at the keyboard also when the text came from a file or a pipe. The
// terminal is put into key mode for it (terminal_posix.hpp), which every way
// out of the wait puts back.
//
// Nothing typed or pasted before the wait is taken for the key, and nothing
// that arrives with the key is left for the shell that reads the terminal
// next, where a pasted line would run as a command.

namespace platform {

namespace {

// How long the input must stay quiet before a paste is taken to be over. A
// paste arrives in bursts far closer together than this.
constexpr int paste_quiet_ms = 100;
// Input that never goes quiet (a key held down) is drained no longer.
constexpr int longest_drain_ms = 3000;

long milliseconds_now() noexcept
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

// Reads and drops what the terminal sends until it has been quiet for
// quiet_ms, or for at most longest_drain_ms in all, or has gone away. True if
// anything was dropped.
bool drain_until_quiet(int quiet_ms) noexcept
{
    const long deadline = milliseconds_now() + longest_drain_ms;
    std::array<unsigned char, 4096> dropped{};
    bool dropped_any = false;
    pollfd ready{terminal::descriptor(), POLLIN, 0};
    while (milliseconds_now() < deadline) {
        const int polled = poll(&ready, 1, quiet_ms);
        if (polled == 0) {
            break;
        }
        if (polled < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        const ssize_t size = read(terminal::descriptor(), dropped.data(), dropped.size());
        if (size > 0) {
            dropped_any = true;
        } else if (size == 0 || (errno != EINTR && errno != EAGAIN)) {
            break; // hung up: the key's read sees it too
        }
    }
    return dropped_any;
}

// The key, or -1 if the terminal has gone away.
int read_key() noexcept
{
    unsigned char key = 0;
    for (;;) {
        const ssize_t size = read(terminal::descriptor(), &key, 1);
        if (size == 1) {
            return key;
        }
        if (size == 0 || errno != EINTR) {
            return -1;
        }
    }
}

} // namespace

bool quiet_after_line()
{
    // Standard input is the terminal in whose foreground this process is.
    if (tcgetpgrp(STDIN_FILENO) != getpgrp()) {
        return false;
    }
    // Only what the terminal echoed may show after the line: where the line
    // was edited, it echoed nothing.
    termios settings{};
    const bool echoed = tcgetattr(STDIN_FILENO, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
    if (!terminal::enter(terminal::Mode::key, TCSANOW)) {
        return false;
    }
    return drain_until_quiet(paste_quiet_ms) && echoed;
}

void wait_for_key()
{
    // What was typed ahead goes, whole lines or not: here, or in the drain
    // after the line where key mode was set then.
    if (!terminal::enter(terminal::Mode::key, TCSAFLUSH)) {
        return;
    }

    // The key is one pressed after the result was shown: the rest of a paste
    // still streaming in is no key.
    constexpr int escape = 0x1B;
    (void)drain_until_quiet(paste_quiet_ms);
    const int key = read_key();
    if (key >= 0) {
        (void)drain_until_quiet(key == escape ? terminal::escape_delay_ms : paste_quiet_ms);
    }
    terminal::release();
}

} // namespace platform
