#pragma once

#include "../bytes.hpp"
#include "../clusters.hpp"
#include "../encoding.hpp"

#include <cstddef>
#include <span>
#include <string_view>

// A line typed at a terminal, edited as a console edits it: what is typed
// or pasted goes in at the cursor, and the cursor moves and text goes by
// what a person sees as one character (a grapheme cluster in UTF-8, a byte
// in a single-byte code set). It turns what the terminal sends into the
// line, and into what redraws the line there; the terminal is the caller's.
//
// The keys: ← → (and Ctrl-B, Ctrl-F) by a character, Ctrl-← Ctrl-→ (and
// Alt-B, Alt-F) by a word; Home End (and Ctrl-A, Ctrl-E); Backspace and
// Delete; Ctrl-U, Ctrl-K and Ctrl-W cut to the start, to the end, and the
// word before; Ctrl-D deletes, or on an empty line ends the input; Enter
// ends the line. Every other key does nothing, and no escape sequence is
// ever part of the line. A bracketed paste is text, its tabs and line ends
// included: the first line end in it ends the line.
class LineEditor {
public:
    enum class State : unsigned char {
        editing,
        entered, // the line ends here: the cursor is on the next row
        ended,   // Ctrl-D on an empty line: the input ends without a line
    };

    // `prompt` stands before the line on the terminal's row, in the
    // terminal's encoding; `columns` is the terminal's width.
    LineEditor(Charset charset, std::string_view prompt, unsigned columns);

    // Takes what the terminal sent, in pieces of any size; appends to
    // `screen` what draws the change. Nothing is taken after the line ends.
    State take(std::span<const unsigned char> keys, Bytes& screen);

    // True while what was taken ends in an escape sequence that is still
    // open: a function key's sequence may be on its way, or it was the ESC
    // key alone, which sequence_timed_out() then takes for a key of its own.
    [[nodiscard]] bool in_sequence() const noexcept;
    void sequence_timed_out() noexcept;

    // The terminal is `columns` wide now, and has rewrapped what it showed.
    void resize(unsigned columns, Bytes& screen);

    // Draws the prompt and the line anew from the start of a row, as after
    // the shell had the terminal during a stop.
    void redraw(Bytes& screen);

    // The line as it stands.
    [[nodiscard]] std::string_view text() const noexcept { return text_.view(); }

private:
    struct Place {
        unsigned row = 0;
        unsigned column = 0; // may be columns_: past the row's end, before a wrap

        bool operator==(const Place&) const = default;
    };
    struct Span {
        Place start;
        Place end;
    };

    void step(unsigned char byte, Bytes& screen);
    void control(unsigned char byte, Bytes& screen);
    void escape_sequence(unsigned char final_byte, Bytes& screen);
    void paste(unsigned char byte, Bytes& screen);
    void insert_text(std::string_view bytes, Bytes& screen);
    void put_held(Bytes& screen);
    void insert(std::string_view bytes, Bytes& screen);
    [[nodiscard]] std::size_t cut_short_at_end(std::string_view text) const noexcept;
    void erase(std::size_t from, std::size_t to, Bytes& screen);
    void move_cursor(std::size_t to, Bytes& screen);
    void enter(Bytes& screen);

    // Where the character that starts at `at` ends, and its columns.
    [[nodiscard]] ClusterExtent character_at(std::string_view text, std::size_t at) const noexcept;
    // The screen, in places counted in rows from the one where the prompt
    // ends: where the character at `at`, of `columns`, goes from `from`.
    [[nodiscard]] Place origin() const noexcept;
    [[nodiscard]] Span lay_out(Place from, std::size_t at, unsigned columns) const noexcept;

    // Each character of the text, in order: where it ends, and where it
    // stands on the screen. Laid out anew from where the text changed.
    struct Stop {
        std::size_t end;
        Span span;
    };
    void forget_from(std::size_t at) noexcept;
    void lay_out_all() noexcept;
    [[nodiscard]] std::size_t start_of(std::size_t index) const noexcept;
    // The character that starts at or holds `at`; their number at the end.
    [[nodiscard]] std::size_t index_of(std::size_t at) const noexcept;

    // Where the characters start: the last before `at`, the first after it;
    // and where the words do.
    [[nodiscard]] std::size_t start_before(std::size_t at) const noexcept;
    [[nodiscard]] std::size_t start_after(std::size_t at) const noexcept;
    [[nodiscard]] bool is_space(std::size_t at) const noexcept;
    [[nodiscard]] std::size_t word_start_before(std::size_t at) const noexcept;
    [[nodiscard]] std::size_t word_end_after(std::size_t at) const noexcept;

    // Where the text up to `at` ends, and where the cursor stands there.
    [[nodiscard]] Place place_after(std::size_t at) const noexcept;
    [[nodiscard]] Place cursor_place(std::size_t at) const noexcept;
    void go_to(Place place, Bytes& screen);
    void draw_from(std::size_t at, Bytes& screen);

    Charset charset_;
    Bytes prompt_;
    unsigned prompt_columns_ = 0;
    unsigned columns_;
    Bytes text_;
    Growing<Stop> stops_;
    std::size_t cursor_ = 0; // a byte offset where a character starts, or the end
    Place shown_;            // where the terminal's cursor is
    State state_ = State::editing;

    // What is left of an escape sequence, or of a paste's end, that more
    // bytes may still complete.
    enum class Parsing : unsigned char { text, escape, csi, ss3, paste, paste_escape };
    Parsing parsing_ = Parsing::text;
    Bytes sequence_;
    Bytes pasted_;
    Bytes held_; // the start of a UTF-8 sequence that the next read completes
};
