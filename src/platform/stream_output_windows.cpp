#include "platform/stream_output.hpp"

#include "platform/console_text.hpp"
#include "platform/console_windows.hpp"

#include <array>
#include <cerrno>

namespace platform {

namespace {

// A console takes all it is given, or nothing.
bool write_units(HANDLE console, const wchar_t* units, DWORD size) noexcept
{
    DWORD written = 0;
    if (WriteConsoleW(console, units, size, &written, nullptr) == 0 || written != size) {
        errno = EIO;
        return false;
    }
    return true;
}

// UTF-8 to the console, as UTF-16, piece by piece.
bool write_to_console(HANDLE console, std::string_view bytes) noexcept
{
    std::array<wchar_t, 256> units{};
    while (!bytes.empty()) {
        const std::string_view piece = next_console_piece(bytes, units.size());
        if (piece == "\n") {
            if (!write_units(console, L"\r\n", 2)) {
                return false;
            }
        } else {
            const int size =
                MultiByteToWideChar(CP_UTF8, 0, piece.data(), static_cast<int>(piece.size()),
                                    units.data(), static_cast<int>(units.size()));
            if (size <= 0 || !write_units(console, units.data(), static_cast<DWORD>(size))) {
                errno = EIO;
                return false;
            }
        }
        bytes.remove_prefix(piece.size());
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

} // namespace platform
