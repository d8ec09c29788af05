#pragma once

// The user's terminal, for the line editor and the key wait alike: its
// modes, set only from the foreground, and the signal handlers that put the
// user's settings back on every way out (the line, the key, every signal
// that ends the process, a stop from the shell); SIGKILL, which no process
// can catch, alone leaves them changed.

#include "editor/key_decoder.hpp"

namespace platform::terminal {

// After ESC, the rest of a function key's sequence may come this late over a
// slow link: the escape delay of terminal programs.
inline constexpr int escape_delay_ms = 200;

enum class Mode : unsigned char {
    none,
    // The tool edits the line: each key as it comes, not shown, and pastes
    // bracketed. The signal characters come as keys too, for the editor to
    // raise their signals where typed and keep them as text in a paste.
    edit,
    // One key, whichever: Ctrl-C, Ctrl-Z, Ctrl-\, Ctrl-S and Ctrl-Q too.
    key,
};

// The controlling terminal, opened on first use: -1 without one.
int descriptor() noexcept;

// True while this process's job has the terminal in the foreground.
bool in_foreground() noexcept;

// Puts the terminal into `mode` now, or after what it has to write
// (tcsetattr's `when`), and again whenever the process resumes; the
// handlers that put the settings back are installed first. Out of the
// foreground the settings are left to the shell until then. False without
// a terminal.
bool enter(Mode mode, int when) noexcept;

// Puts back what the mode changed, and the signal handlers as they were.
void release() noexcept;

// The user's signal characters (intr, quit, susp of stty -a), while a mode
// is set: none where the user's settings give them no signals (-isig).
SignalKeys signal_keys() noexcept;

// True once after each resume from a stop, and once after each change of the
// terminal's size, while a mode is set.
bool resumed() noexcept;
bool resized() noexcept;

} // namespace platform::terminal
