#pragma once

#include "bytes.hpp"
#include "encoding.hpp"

#include <string_view>

namespace platform {

enum class Edited : unsigned char {
    not_here, // no terminal the tool edits at: standard input is read as ever
    line,     // the line was typed there
    failed,   // the terminal could not be read: errno says why
};

// Where standard input and standard output are the user's terminal, and it
// can take it (TERM set, and not dumb), the tool edits the line itself, after
// `prompt` (what the terminal shows before it), in UTF-8 or a single-byte
// code set: `line` gets the line with the line feed that ended it, without
// one where Ctrl-D ended the input or the terminal went away.
Edited edit_line(Charset charset, std::string_view prompt, Bytes& line);

} // namespace platform
