#pragma once

#include "encoding.hpp"

#include <cstdio>

namespace platform {

// How the characters of standard input are counted.
Charset input_charset();

// How the letters outside ASCII are spelt for `stream`, standard output or
// standard error.
Letters letters_for(std::FILE* stream);

} // namespace platform
