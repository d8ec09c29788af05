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

} // namespace platform
