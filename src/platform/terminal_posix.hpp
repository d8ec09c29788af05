#pragma once

// The one place that asks whether two descriptors are the same terminal.

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

inline bool same_terminal(int a, int b) noexcept
{
    struct stat first {};
    struct stat second {};
    return isatty(a) != 0 && isatty(b) != 0 && fstat(a, &first) == 0 && fstat(b, &second) == 0 &&
           first.st_rdev == second.st_rdev;
}

} // namespace platform
