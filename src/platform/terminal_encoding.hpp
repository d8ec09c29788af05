#pragma once

#include "../encoding.hpp"

namespace platform {

// The encoding of the terminal the user reads and types in.
Encoding terminal_encoding();

} // namespace platform
