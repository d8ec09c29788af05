#pragma once

// The prompt and the line on the terminal's screen: where each character
// goes, and what draws it there. It sends the terminal only these:
//
//   CR  LF               to the row's start; a row down, scrolling at the bottom
//   ESC [ n A  B  C      n rows up, n rows down, n columns right
//   ESC M                a row up, scrolling down at the top
//   ESC [ J              clears from the cursor to the end of the screen
//   ESC [ 6 n            asks where the cursor is: the answer comes as a key
//   text                 whole characters, in the columns laid out for them
//
// It relies on no terminal's way with what does not fit, nor on its
// rewrapping:
// - Each character is placed here. One that does not fit at the end of a
//   row goes to the next whole, the rest of the row padded with spaces, so
//   that the terminal's own wrap only ever falls between characters, and
//   still marks the rows as one line.
// - What each character shows as: controls in caret notation (^G; M-^E for
//   C1), ill-formed UTF-8 as U+FFFD, a mark with nothing before it after a
//   space (it would join the prompt's last letter), a tab as spaces to the
//   next stop, one that the terminal draws in no columns (an emoji newer
//   than its tables) as U+FFFD, one too wide for the whole row as '?'.
// - Columns come from the table, but where terminals differ on them (emoji,
//   East Asian Ambiguous, unassigned code points) the terminal says: the
//   character is written where it is about to be drawn anyway, between two
//   questions of where the cursor is. Drawing waits for the answers; a
//   terminal that gives none in time gets the table's columns.
// - Rows count from the prompt's first; the window shows `rows_` of them
//   from `top_`, which the terminal's answers place. A line taller than the
//   window is drawn as far as the window goes, and rows that scrolled out
//   are drawn again when the cursor goes back to them. After a resize the
//   answer says whether the terminal rewrapped its rows or not, and so where
//   the prompt starts now.

#include "bytes.hpp"
#include "editor/typed_line.hpp"
#include "encoding.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

struct TerminalSize {
    unsigned columns;
    unsigned rows; // 0 where the terminal does not say
};

class LineScreen {
public:
    // `prompt` is on the screen, just written; the cursor stands after it.
    LineScreen(Charset charset, std::string_view prompt, TerminalSize size) noexcept;

    // Asks where the cursor is, the prompt having been written.
    void start(Bytes& out) noexcept;

    // Shows the line as it stands, of which the first `unchanged` characters
    // are as they were when last shown: draws what changed and puts the
    // cursor at the line's. While answers are awaited, it draws nothing yet.
    void show(const TypedLine& line, std::size_t unchanged, Bytes& out) noexcept;

    // The terminal's answer: its cursor stands at `row`, `column`, from 1.
    void answer(unsigned row, unsigned column, const TypedLine& line, Bytes& out) noexcept;
    [[nodiscard]] bool awaiting_answers() const noexcept { return answered_ < expected_.size(); }
    // They did not come: the terminal is asked nothing more.
    void answers_timed_out(const TypedLine& line, Bytes& out) noexcept;

    // The terminal is `size` now, and may have rewrapped what it showed.
    void resize(TerminalSize size, const TypedLine& line, Bytes& out) noexcept;

    // Draws the prompt and the line anew from the start of the cursor's row,
    // as after the shell had the terminal, which may have changed its size.
    void redraw(TerminalSize size, const TypedLine& line, Bytes& out) noexcept;

    // The line is done: what changed is drawn, and the cursor goes to the
    // start of a row after it.
    void finish(const TypedLine& line, Bytes& out) noexcept;

private:
    using Row = std::int64_t;
    struct Place {
        Row row = 0;
        unsigned column = 0; // may be columns_: past the row's end, before a wrap

        bool operator==(const Place&) const = default;
    };
    enum class Form : std::uint8_t {
        as_is,
        caret,    // ^G
        meta,     // M-^E, a C1 control
        replaced, // U+FFFD, then the marks on it
        based,    // a space, then the character
        unknown,  // U+FFFD, for one the terminal draws in no columns
        tab,
        too_wide, // ?
    };
    struct Look {
        Form form;
        unsigned columns;
        bool measured; // the table's columns do, or the terminal's answer
    };
    struct Span {
        Place start;
        Place end;
        Form form;
    };

    // A character of the prompt, then of the line: index 0 is the prompt's first.
    struct Character {
        std::string_view text; // the whole text it is in
        std::size_t start;
        ClusterExtent extent;
    };
    [[nodiscard]] std::size_t character_count(const TypedLine& line) const noexcept;
    [[nodiscard]] Character character(const TypedLine& line, std::size_t index) const noexcept;
    [[nodiscard]] Look look_of(const Character& character) const noexcept;
    [[nodiscard]] Look own_look(const Character& character) const noexcept;
    static std::pair<std::string_view, std::string_view> written(Form form,
                                                                 std::string_view bytes) noexcept;
    static void write(const Character& character, const Span& span, Bytes& out) noexcept;

    // Layout: spans_ holds a span for each character up to the first one
    // not laid out yet.
    void lay_out(const TypedLine& line) noexcept;
    [[nodiscard]] Place end_of_line() const noexcept;
    [[nodiscard]] Place cursor_place(const TypedLine& line) const noexcept;
    [[nodiscard]] Place on_screen(Place place) const noexcept;
    [[nodiscard]] bool holds_characters(Row row) const noexcept;
    [[nodiscard]] std::size_t first_on(Row row) const noexcept;

    // Drawing.
    [[nodiscard]] Row bottom() const noexcept;
    void scrolled_to(Row row) noexcept;
    void go_to(Place to, const TypedLine& line, Bytes& out) noexcept;
    [[nodiscard]] bool wraps_to(Place to) const noexcept;
    void move_to(Place to, Bytes& out) noexcept;
    void reveal_above(Row row, const TypedLine& line, Bytes& out) noexcept;
    void reveal_below(Row row, const TypedLine& line, Bytes& out) noexcept;
    void write_characters(std::size_t index, Row last_row, const TypedLine& line,
                          Bytes& out) noexcept;
    void update(const TypedLine& line, Bytes& out) noexcept;
    [[nodiscard]] Row last_row_shown(const TypedLine& line) const noexcept;
    void draw_from(std::size_t index, const TypedLine& line, Bytes& out) noexcept;
    void draw_visible(const TypedLine& line, Bytes& out) noexcept;

    // Asking the terminal.
    struct Question {
        enum class About : std::uint8_t {
            cursor,    // where it is: which row of the window is which
            reference, // where measuring starts
            first,     // where the first code point of a character measured ends
            width,     // where a character measured ends
            resize,    // where the cursor went in a resize
        } about;
        std::uint64_t form; // for width: the hash of what was written
        unsigned table_columns;
    };
    void ask(Question::About about, std::uint64_t form, unsigned table_columns,
             Bytes& out) noexcept;
    bool measure(std::size_t from, const TypedLine& line, Bytes& out) noexcept;
    [[nodiscard]] std::int64_t offset_before_resize() const noexcept;
    void placed_after_resize(Place said) noexcept;
    void guessed_after_resize() noexcept;

    Charset charset_;
    TypedLine prompt_;
    unsigned columns_;
    unsigned rows_;
    Growing<Span> spans_;
    static constexpr std::size_t nothing = static_cast<std::size_t>(-1);
    std::size_t stale_from_ = nothing; // the first character whose drawing is out of date
    Place shown_;                      // where the terminal's cursor is
    Row top_ = 0;                      // the row at the window's top

    // The terminal's answers, awaited in the order asked.
    Growing<Question> expected_;
    std::size_t answered_ = 0;
    bool answering_ = true;
    bool first_drawn_in_none_ = false;
    Place reference_{};     // where the measuring started, as the terminal numbers it
    Place before_resize_{}; // where the cursor was, in the layout before the resize
    unsigned columns_before_resize_ = 0;

    // The columns the terminal said it draws forms in, by their hash.
    class Widths {
    public:
        Widths() = default;
        Widths(const Widths&) = delete;
        Widths& operator=(const Widths&) = delete;
        ~Widths();
        [[nodiscard]] int find(std::uint64_t hash) const noexcept; // -1 if not known
        void add(std::uint64_t hash, unsigned columns) noexcept;

    private:
        struct Entry {
            std::uint64_t hash;
            unsigned columns;
        };
        static Entry* free_entry(Entry* entries, std::size_t capacity, std::uint64_t hash) noexcept;
        Entry* entries_ = nullptr;
        std::size_t capacity_ = 0;
        std::size_t size_ = 0;
    };
    Widths widths_;
};
