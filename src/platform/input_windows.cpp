#include "input.hpp"

#include <algorithm>
#include <climits>
#include <io.h>

namespace platform {

// _read, unlike fread, returns after one line from the console instead of
// waiting to fill the buffer. In text mode it turns CR LF into LF.
std::ptrdiff_t read_input(std::span<unsigned char> buffer) noexcept
{
    const auto size = static_cast<unsigned>(std::min<std::size_t>(buffer.size(), INT_MAX));
    return _read(0, buffer.data(), size);
}

bool input_drops_cr_before_lf() noexcept
{
    return true;
}

// The console hands over a line of any length, read after read.
std::uint64_t terminal_line_limit() noexcept
{
    return 0;
}

// The console echoes the Enter that ends a line, and Ctrl-Z as ^Z followed by
// a line end: the result always starts on a line of its own.
bool input_shows_on_output() noexcept
{
    return false;
}

} // namespace platform
