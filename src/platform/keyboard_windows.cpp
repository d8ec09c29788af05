#include "platform/keyboard.hpp"

#include <conio.h>
#include <windows.h>

namespace platform {

namespace {

// Drops whatever waits in the console's input: what was typed or pasted
// before the result was shown is no key, and what came with the key must
// not reach cmd.exe, which would run a pasted line. The console itself, not
// standard input, which may be a file.
void drop_console_input()
{
    HANDLE console =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
        FlushConsoleInputBuffer(console);
        CloseHandle(console);
    }
}

} // namespace

// The console shows what is typed only as a read takes it: what follows the
// line stays unseen in its input, and the wait drops it.
bool quiet_after_line()
{
    return false;
}

// _getch reads the console itself, not standard input, and neither echoes nor
// waits for Enter. An arrow key leaves a second code in the run-time's own
// buffer, which goes with the process.
void wait_for_key()
{
    drop_console_input();
    (void)_getch();
    drop_console_input();
}

} // namespace platform
