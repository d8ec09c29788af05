#pragma once

namespace platform {

// Waits until one key is pressed at the keyboard of the user's terminal, even
// when standard input comes from elsewhere. The key is not echoed, Enter is
// not needed, and its value is not used. Without a terminal it returns at once.
void wait_for_key();

} // namespace platform
