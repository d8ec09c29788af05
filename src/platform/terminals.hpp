#pragma once

// src/platform: what differs between POSIX and Windows, one small header for
// each concern, with a _posix.cpp and a _windows.cpp behind it; the rest of
// the tool asks only these headers.
//
// This one says which of the standard streams are the user's terminal (a
// console, on Windows): looked at once, on the first question, and asked
// everywhere after.

namespace platform {

struct Terminals {
    // Standard input and output are the same terminal: what is typed shows
    // where the result is written.
    bool input_shows_on_output = false;
    // Standard output and error are the same terminal: a failure shows where
    // the prompt was left.
    bool errors_show_with_output = false;
};

const Terminals& terminals() noexcept;

// Looks at the streams, as terminals() does the first time it is asked; in
// the _posix.cpp and _windows.cpp files.
Terminals look_at_terminals() noexcept;

} // namespace platform
