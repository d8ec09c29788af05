#pragma once

namespace platform {

// Called as soon as the line has been read. Where it was typed at the user's
// terminal, nothing more shows there: the echo stops now, and what was typed
// or pasted after the line is dropped until the terminal has been quiet a
// moment, so that the result comes right after it; the wait for the key goes
// on from there. True if anything was dropped, which the terminal may have
// shown after the line.
bool quiet_after_line();

// Waits until one key is pressed at the keyboard of the user's terminal, even
// when standard input comes from elsewhere. The key is not echoed, Enter is
// not needed, and its value is not used. Without a terminal it returns at once.
void wait_for_key();

} // namespace platform
