#pragma once

// src: the dialogue, the tool's own steps (main.cpp): the banner and the
// prompt, the line read and measured here, the result, the key. The
// counting engine is in count/, the line editor in editor/, and what
// differs between POSIX and Windows in platform/.

#include "encoding.hpp"

#include <cstdint>
#include <string_view>

struct LineLength {
    bool read = false; // false if no read was tried, or one failed
    std::uint64_t count = 0;
    int read_error = 0;       // errno of a failed read, 0 if none
    std::uint64_t cut_at = 0; // the terminal's longest line, when the line reached it
    // The result goes to the terminal the line was typed at, where no line end
    // shows after the text: Ctrl-D ended it, or what was typed after it showed.
    bool ended_unseen = false;
};

// Reads standard input up to the end of its first line and measures that line.
// Input that ends before any byte is an empty line. At a terminal that the
// tool edits the line at, `prompt` is what it shows before the line.
LineLength read_line_length(Charset charset, std::string_view prompt);
