#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

// Reads the next bytes of standard input, as many as are ready: at most one
// line from a terminal. Returns their number, 0 at the end of the input, or -1
// with errno set.
std::ptrdiff_t read_input(std::span<unsigned char> buffer) noexcept;

// True where the run-time's text mode already drops the carriage return of a
// CR LF line end before the tool sees it.
bool input_drops_cr_before_lf() noexcept;

// The most bytes that a line typed at a terminal on standard input can hold,
// where the terminal hands over whole lines and drops what goes past them;
// 0 where standard input is no such terminal.
std::uint64_t terminal_line_limit() noexcept;

} // namespace platform
