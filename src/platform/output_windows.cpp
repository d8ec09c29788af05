#include "output.hpp"

#include "console_windows.hpp"

#include <array>
#include <cerrno>

namespace platform {

namespace {

bool write_units(HANDLE console, const wchar_t* units, DWORD size) noexcept
{
    while (size > 0) {
        DWORD written = 0;
        if (WriteConsoleW(console, units, size, &written, nullptr) == 0 || written == 0) {
            errno = EIO;
            return false;
        }
        units += written;
        size -= written;
    }
    return true;
}

// Where a run of UTF-8 may be cut without cutting a character in two: not
// before a continuation byte.
std::size_t whole_characters(std::string_view bytes, std::size_t most) noexcept
{
    if (bytes.size() <= most) {
        return bytes.size();
    }
    std::size_t cut = most;
    while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0U) == 0x80U) {
        --cut;
    }
    return cut > 0 ? cut : most;
}

// UTF-8 to the console, as UTF-16, with each line feed sent as CR LF as the
// run-time's text mode sends it.
bool write_to_console(HANDLE console, std::string_view bytes) noexcept
{
    std::array<wchar_t, 256> units{};
    while (!bytes.empty()) {
        if (bytes.front() == '\n') {
            if (!write_units(console, L"\r\n", 2)) {
                return false;
            }
            bytes.remove_prefix(1);
            continue;
        }
        const std::size_t line_end = std::min(bytes.find('\n'), bytes.size());
        const std::size_t taken = whole_characters(bytes.substr(0, line_end), units.size());
        const int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(taken),
                                             units.data(), static_cast<int>(units.size()));
        if (size <= 0 || !write_units(console, units.data(), static_cast<DWORD>(size))) {
            errno = EIO;
            return false;
        }
        bytes.remove_prefix(taken);
    }
    return true;
}

} // namespace

bool write_output(std::FILE* stream, std::string_view bytes) noexcept
{
    if (HANDLE console = console_of(_fileno(stream))) {
        return write_to_console(console, bytes);
    }
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

// A process has one console at most.
bool errors_show_with_output() noexcept
{
    return console_of(1) != nullptr && console_of(2) != nullptr;
}

} // namespace platform
