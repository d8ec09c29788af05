#include "keyboard.hpp"

#include <conio.h>

namespace platform {

// _getch reads the console itself, not standard input, and neither echoes nor
// waits for Enter. An arrow key leaves a second code in the run-time's own
// buffer, which goes with the process.
void wait_for_key()
{
    (void)_getch();
}

} // namespace platform
