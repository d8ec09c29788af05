#pragma once

// src/editor: a line typed at a terminal, edited as a console edits it.
// Three pieces: the key decoder turns what the terminal sends into keys
// (key_decoder.hpp), the line takes the edits (typed_line.hpp), and the
// screen shows them (line_screen.hpp); here each key becomes its edit.
//
// The keys, as the README's table lists them:
//   ← →, Ctrl-B Ctrl-F            a character back, on
//   Ctrl-← Ctrl-→, Alt-B Alt-F    to the start of the word before, the end of the next
//   Home End, Ctrl-A Ctrl-E       to the start, to the end
//   Backspace (and Ctrl-H), Delete    the character before the cursor, under it
//   Ctrl-U Ctrl-K Ctrl-W          cut to the start, to the end, the word before
//   Ctrl-D                        on an empty line ends the input; elsewhere as Delete
//   Enter                         ends the line
//   the terminal's intr, quit, susp (Ctrl-C, Ctrl-\, Ctrl-Z)   their signals
// Every other key does nothing. What is typed or pasted goes in at the
// cursor; a paste's bytes are text whatever they hold, up to its first
// line end, which ends the line.

#include "bytes.hpp"
#include "editor/key_decoder.hpp"
#include "editor/line_screen.hpp"
#include "editor/typed_line.hpp"
#include "encoding.hpp"

#include <span>
#include <string_view>

class LineEditor {
public:
    enum class State : unsigned char {
        editing,
        entered,   // the line ends here: the cursor is on a row after it
        ended,     // Ctrl-D on an empty line: the input ends without a line
        signalled, // a signal character was typed: signal() says which, and
                   // the editing goes on if the signal lets the run go on
    };

    // `prompt` was just written at the terminal, whose size is `size`.
    LineEditor(Charset charset, std::string_view prompt, TerminalSize size,
               SignalKeys signals) noexcept;

    // Asks the terminal where its cursor is, to place the window.
    void start(Bytes& screen) noexcept { screen_.start(screen); }

    // Takes what the terminal sent, in pieces of any size, and appends to
    // `screen` what shows the change. Nothing is taken after the line ends,
    // nor after a signal character in the same piece.
    State take(std::span<const unsigned char> keys, Bytes& screen) noexcept;
    [[nodiscard]] Signal signal() const noexcept { return signal_; }

    // A function key's sequence may be on its way, or it was the Escape key
    // alone, which sequence_timed_out() takes for a key of its own.
    [[nodiscard]] bool in_sequence() const noexcept { return keys_.in_sequence(); }
    void sequence_timed_out(Bytes& screen) noexcept;

    // The screen waits for the terminal's answers; answers_timed_out() when
    // they do not come.
    [[nodiscard]] bool awaiting_answers() const noexcept { return screen_.awaiting_answers(); }
    void answers_timed_out(Bytes& screen) noexcept;

    // The terminal changed its size.
    void resize(TerminalSize size, Bytes& screen) noexcept;
    // Draws the prompt and the line anew on the cursor's row, as after the
    // shell had the terminal.
    void redraw(TerminalSize size, Bytes& screen) noexcept;

    [[nodiscard]] std::string_view text() const noexcept { return line_.text(); }
    [[nodiscard]] std::size_t cursor() const noexcept { return line_.cursor(); }

private:
    void act_on(const Key& key) noexcept;
    void press(unsigned code) noexcept;
    void paste(std::string_view bytes) noexcept;
    void show(Bytes& screen) noexcept;

    KeyDecoder keys_;
    TypedLine line_;
    LineScreen screen_;
    State state_ = State::editing;
    Signal signal_ = Signal::interrupt;
};
