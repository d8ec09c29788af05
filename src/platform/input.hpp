#pragma once

#include <cstddef>
#include <span>

namespace platform {

// Reads the next bytes of standard input, as many as are ready: at most one
// line from a terminal. Returns their number, 0 at the end of the input, or -1
// with errno set.
std::ptrdiff_t read_input(std::span<unsigned char> buffer) noexcept;

// True where the run-time's text mode already drops the carriage return of a
// CR LF line end before the tool sees it.
bool input_drops_cr_before_lf() noexcept;

} // namespace platform
