#pragma once

// The one place that asks whether a standard stream is a console.

#include <io.h>
#include <windows.h>

namespace platform {

// The console behind a C run-time descriptor (0, 1, 2), or nullptr where it
// is a file, a pipe or nothing: GetConsoleMode succeeds only on a console.
inline HANDLE console_of(int descriptor) noexcept
{
    // The run-time hands the handle over as an integer.
    auto* const handle = reinterpret_cast<HANDLE>( // NOLINT(performance-no-int-to-ptr)
        _get_osfhandle(descriptor));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0 ? handle : nullptr;
}

} // namespace platform
