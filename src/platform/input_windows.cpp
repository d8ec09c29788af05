#include "platform/input.hpp"

#include "platform/console_text.hpp"
#include "platform/console_windows.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>

namespace platform {

namespace {

// What the console's line editing hands over, read as UTF-16, so that every
// character arrives whatever the console's code page, and passed on as
// UTF-8. The line end comes as CR LF, of which the line reader drops the CR.
std::ptrdiff_t read_console(HANDLE console, std::span<unsigned char> buffer) noexcept
{
    static std::array<char16_t, 4096> units;
    static ConsoleText text;
    const std::size_t most = std::min(units.size(), ConsoleText::units_for(buffer.size()));
    std::size_t written = 0;
    // A read of a lone high surrogate gives no byte yet: read on.
    while (written == 0 && !text.ended()) {
        DWORD size = 0;
        // The buffer's type is char16_t, which the Windows API calls wchar_t.
        if (ReadConsoleW(console, reinterpret_cast<wchar_t*>(units.data()),
                         static_cast<DWORD>(most), &size, nullptr) == 0) {
            errno = EIO;
            return -1;
        }
        written = text.take({units.data(), size}, buffer);
    }
    return static_cast<std::ptrdiff_t>(written);
}

} // namespace

// A file or a pipe: _read, unlike fread, returns after one line from the
// console instead of waiting to fill the buffer. In text mode it turns CR LF
// into LF.
std::ptrdiff_t read_input(std::span<unsigned char> buffer) noexcept
{
    if (HANDLE console = console_of(0)) {
        return read_console(console, buffer);
    }
    const auto size = static_cast<unsigned>(std::min<std::size_t>(buffer.size(), INT_MAX));
    return _read(0, buffer.data(), size);
}

bool input_drops_cr_before_lf() noexcept
{
    return console_of(0) == nullptr;
}

// The console hands over a line of any length, read after read.
std::uint64_t terminal_line_limit() noexcept
{
    return 0;
}

} // namespace platform
