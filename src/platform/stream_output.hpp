#pragma once

#include <cstdio>
#include <string_view>

namespace platform {

// Writes bytes to `stream`, standard output or standard error. Where that is
// a console which takes its text as UTF-16 (Windows), the bytes, spelt as
// UTF-8 for it, go there converted. False on failure, with errno set.
bool write_output(std::FILE* stream, std::string_view bytes) noexcept;

} // namespace platform
