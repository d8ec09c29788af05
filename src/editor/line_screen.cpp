#include "editor/line_screen.hpp"

#include "count/grapheme.hpp"
#include "count/utf8.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <limits>

namespace {

constexpr unsigned tab_stop = 8;
constexpr std::string_view ask_where = "\x1b[6n";
constexpr std::string_view replacement = "\xEF\xBF\xBD"; // U+FFFD
// So many forms at the most are measured at once.
constexpr std::size_t most_measured = 16;
// What measuring a form takes besides its own columns: a space before it,
// for one that joins what stands before it to join that; and a column after
// it, for the cursor never to wait at the row's end to wrap, where it says
// it stands on the last column.
constexpr unsigned room_around = 2;

// A cursor movement: ESC [ n and the direction.
void move(Bytes& out, std::int64_t count, char direction)
{
    std::array<char, 24> sequence{'\x1b', '['};
    char* end =
        std::to_chars(sequence.data() + 2, sequence.data() + sequence.size() - 1, count).ptr;
    *end++ = direction;
    out.append({sequence.data(), static_cast<std::size_t>(end - sequence.data())});
}

std::string_view part(std::string_view text, std::size_t from, std::size_t to)
{
    return {text.data() + from, to - from};
}

const unsigned char* bytes_of(std::string_view text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

// The first code point of a character; U+FFFD where its bytes are no UTF-8.
char32_t first_code_point(std::string_view bytes)
{
    const Decoded first = decode(bytes_of(bytes), bytes.size());
    return first.size > 0 ? first.code_point : replacement_character;
}

// FNV-1a over the bytes a character is written as.
std::uint64_t hash_of(std::pair<std::string_view, std::string_view> written)
{
    std::uint64_t hash = 0xCBF29CE484222325U;
    for (const std::string_view bytes : {written.first, written.second}) {
        for (const char byte : bytes) {
            hash = (hash ^ static_cast<unsigned char>(byte)) * 0x100000001B3U;
        }
    }
    return hash == 0 ? 1 : hash; // 0 marks a free entry
}

// The most columns a terminal may draw bytes in, by its own tables: two
// for each code point that takes any.
unsigned widest(std::pair<std::string_view, std::string_view> written)
{
    unsigned columns = 0;
    for (const std::string_view bytes : {written.first, written.second}) {
        for (std::size_t at = 0; at < bytes.size();) {
            const Decoded decoded = decode(bytes_of(bytes) + at, bytes.size() - at);
            const char32_t code_point =
                decoded.size > 0 ? decoded.code_point : replacement_character;
            columns += columns_of(code_point).count > 0 ? 2 : 0;
            at += decoded.size > 0 ? decoded.size : bytes.size() - at;
        }
    }
    return columns;
}

} // namespace

LineScreen::LineScreen(Charset charset, std::string_view prompt, TerminalSize size) noexcept
    : charset_(charset), prompt_(charset), columns_(std::max(size.columns, 1U)), rows_(size.rows)
{
    prompt_.insert(prompt);
    lay_out(TypedLine(charset));
}

std::size_t LineScreen::character_count(const TypedLine& line) const noexcept
{
    return prompt_.characters() + line.characters();
}

LineScreen::Character LineScreen::character(const TypedLine& line, std::size_t index) const noexcept
{
    const TypedLine& holder = index < prompt_.characters() ? prompt_ : line;
    const std::size_t own = index < prompt_.characters() ? index : index - prompt_.characters();
    return {holder.text(), holder.start_of(own), holder.character(own)};
}

// The bytes that a character of its own bytes is written as: what goes
// before them, and its bytes from where they are written.
std::pair<std::string_view, std::string_view> LineScreen::written(Form form,
                                                                  std::string_view bytes) noexcept
{
    if (form == Form::based) {
        return {" ", bytes};
    }
    if (form == Form::replaced) {
        // The bytes that are no UTF-8, one maximal subpart, go; the marks on it stay.
        const Decoded first = decode(bytes_of(bytes), bytes.size());
        return {replacement,
                first.size == 0 ? std::string_view{} : part(bytes, first.size, bytes.size())};
    }
    return {{}, bytes};
}

// What a character shows as, and in how many columns.
LineScreen::Look LineScreen::look_of(const Character& character) const noexcept
{
    const Look look = own_look(character);
    // One wider than the row, wherever it stood, shows that one is there.
    return look.columns > columns_ ? Look{Form::too_wide, 1, true} : look;
}

LineScreen::Look LineScreen::own_look(const Character& character) const noexcept
{
    const std::string_view bytes = part(character.text, character.start, character.extent.end);
    const char32_t code_point =
        charset_ == Charset::utf8 ? first_code_point(bytes) : static_cast<unsigned char>(bytes[0]);
    if (code_point == '\t') {
        return {Form::tab, 1, true};
    }
    if (code_point < 0x20 || code_point == 0x7F) {
        return {Form::caret, 2, true};
    }
    if (charset_ != Charset::utf8) {
        return {Form::as_is, 1, true};
    }
    if (code_point >= 0x80 && code_point < 0xA0) {
        return {Form::meta, 4, true};
    }
    Look look{Form::as_is, character.extent.columns, character.extent.sure};
    if (code_point == replacement_character) {
        look.form = Form::replaced;
    } else if (columns_of(code_point).count == 0) {
        look.form = Form::based;
        ++look.columns;
    }
    if (look.measured) {
        return look;
    }
    const auto form = written(look.form, bytes);
    // Where no row could hold what a terminal may make of it after a space
    // (measure()), the terminal cannot be asked.
    if (widest(form) + room_around > columns_) {
        return {Form::too_wide, 1, true};
    }
    const int said = widths_.find(hash_of(form));
    if (said == 0) { // the terminal has no glyph for it: it shows that one is there
        return {Form::unknown, 1, true};
    }
    if (said > 0) {
        return {look.form, static_cast<unsigned>(said), true};
    }
    return look;
}

void LineScreen::write(const Character& character, const Span& span, Bytes& out) noexcept
{
    const std::string_view bytes = part(character.text, character.start, character.extent.end);
    const auto code_point = static_cast<char>(first_code_point(bytes) & 0x7FU);
    switch (span.form) {
    case Form::caret:
        out.append("^");
        out.append(1, static_cast<char>(code_point ^ 0x40));
        break;
    case Form::meta:
        out.append("M-^");
        out.append(1, static_cast<char>(code_point + 0x40));
        break;
    case Form::tab:
        out.append(span.end.column - span.start.column, ' ');
        break;
    case Form::unknown:
        out.append(replacement);
        break;
    case Form::too_wide:
        out.append("?");
        break;
    default: {
        const auto [prefix, rest] = written(span.form, bytes);
        out.append(prefix);
        out.append(rest);
        break;
    }
    }
}

void LineScreen::lay_out(const TypedLine& line) noexcept
{
    Place place = spans_.size() == 0 ? Place{} : spans_[spans_.size() - 1].end;
    for (std::size_t index = spans_.size(); index < character_count(line); ++index) {
        const Look look = look_of(character(line, index));
        Place start = place;
        if (start.column >= columns_) {
            start = {start.row + 1, 0};
        }
        unsigned columns = look.columns;
        if (look.form == Form::tab) {
            columns = std::min(tab_stop - start.column % tab_stop, columns_ - start.column);
        } else if (start.column + columns > columns_) {
            start = {start.row + 1, 0}; // whole on the next row
        }
        const Span span{start, {start.row, start.column + columns}, look.form};
        if (!spans_.push(span)) {
            break; // no memory for more: what is laid out is drawn
        }
        place = span.end;
    }
}

// Past a row's end, the next character goes at the start of the next row.
LineScreen::Place LineScreen::on_screen(Place place) const noexcept
{
    return place.column >= columns_ ? Place{place.row + 1, 0} : place;
}

LineScreen::Place LineScreen::end_of_line() const noexcept
{
    return spans_.size() == 0 ? Place{} : spans_[spans_.size() - 1].end;
}

LineScreen::Place LineScreen::cursor_place(const TypedLine& line) const noexcept
{
    const std::size_t index = prompt_.characters() + line.index_of(line.cursor());
    return index < spans_.size() ? spans_[index].start : on_screen(end_of_line());
}

bool LineScreen::holds_characters(Row row) const noexcept
{
    return spans_.size() > 0 && spans_[spans_.size() - 1].start.row >= row;
}

// The first character that starts on `row` or after it.
std::size_t LineScreen::first_on(Row row) const noexcept
{
    const auto* first =
        std::lower_bound(spans_.begin(), spans_.end(), row,
                         [](const Span& span, Row wanted) { return span.start.row < wanted; });
    return static_cast<std::size_t>(first - spans_.begin());
}

LineScreen::Row LineScreen::bottom() const noexcept
{
    return rows_ == 0 ? std::numeric_limits<Row>::max() : top_ + rows_ - 1;
}

// The cursor went down to `row`: past the window's bottom the terminal
// scrolled.
void LineScreen::scrolled_to(Row row) noexcept
{
    if (row > bottom()) {
        top_ = row - rows_ + 1;
    }
}

void LineScreen::go_to(Place to, const TypedLine& line, Bytes& out) noexcept
{
    to = on_screen(to);
    if (shown_ == to || wraps_to(to)) {
        move_to(to, out);
        return;
    }
    if (to.row < top_) {
        reveal_above(to.row, line, out);
    } else if (to.row > bottom()) {
        reveal_below(to.row, line, out);
    }
    move_to(to, out);
}

// True where the cursor waits past the row's end and `to` starts a row
// after the line's last: writing takes it there.
bool LineScreen::wraps_to(Place to) const noexcept
{
    return shown_.column >= columns_ && to == Place{shown_.row + 1, 0} && !holds_characters(to.row);
}

// Moves the cursor to `to`, in the window or on to a row below it by
// wrapping.
void LineScreen::move_to(Place to, Bytes& out) noexcept
{
    if (shown_ == to) {
        return;
    }
    if (wraps_to(to)) {
        // On to a row of its own as the terminal wraps, so that it stays part
        // of the line when the terminal rewraps.
        out.append(" \r");
        shown_ = to;
        scrolled_to(to.row);
        return;
    }
    // Past the row's end the terminal's cursor stands on its last column, to
    // wrap at the next character: only a move of its own takes it off that.
    const bool before_wrap = shown_.column >= columns_;
    if (before_wrap) {
        shown_.column = columns_ - 1;
    }
    if (to.row < shown_.row) {
        move(out, shown_.row - to.row, 'A');
    } else if (to.row > shown_.row) {
        move(out, to.row - shown_.row, 'B');
    }
    if (to.column != shown_.column || before_wrap) {
        out.append("\r");
        if (to.column > 0) {
            move(out, to.column, 'C');
        }
    }
    shown_ = to;
}

// Scrolls the window down until `row` is its top, and draws the rows that
// come back blank.
void LineScreen::reveal_above(Row row, const TypedLine& line, Bytes& out) noexcept
{
    if (shown_.row > top_) {
        move(out, shown_.row - top_, 'A');
    }
    const Row scrolled = std::min<Row>(top_ - row, rows_);
    for (Row i = 0; i < scrolled; ++i) {
        out.append("\x1bM");
    }
    const Row blank_until = std::min<Row>(top_, row + rows_);
    top_ = row;
    out.append("\r");
    shown_ = {row, 0};
    write_characters(first_on(row), blank_until - 1, line, out);
}

// Writes on from the window's bottom row down to `row`: the terminal
// scrolls, and wraps the rows, as it did when they were first written.
// Rows below the line's end, which hold nothing, it scrolls in blank.
void LineScreen::reveal_below(Row row, const TypedLine& line, Bytes& out) noexcept
{
    const std::size_t below = first_on(bottom() + 1);
    if (below > 0) {
        move_to(spans_[below - 1].start, out);
        write_characters(below - 1, row, line, out);
    }
    if (row <= bottom() || wraps_to({row, 0})) {
        return; // go_to() goes on from here
    }
    if (shown_.row < bottom()) {
        move(out, bottom() - shown_.row, 'B');
    }
    for (Row at = bottom(); at < row; ++at) {
        out.append("\n");
    }
    out.append("\r");
    shown_ = {row, 0};
    scrolled_to(row);
}

// Writes the characters from `index`, as far as row `last_row`, from where
// the one before it ends, or where it starts.
void LineScreen::write_characters(std::size_t index, Row last_row, const TypedLine& line,
                                  Bytes& out) noexcept
{
    for (; index < spans_.size() && spans_[index].start.row <= last_row; ++index) {
        const Span& span = spans_[index];
        if (span.start.row > shown_.row && shown_.column < columns_) {
            out.append(columns_ - shown_.column, ' '); // the terminal wraps after them
        }
        write(character(line, index), span, out);
        shown_ = span.end;
        scrolled_to(shown_.row);
    }
}

// The last row to draw: the window's bottom, or as far down as the line goes
// with the cursor's row still in the window.
LineScreen::Row LineScreen::last_row_shown(const TypedLine& line) const noexcept
{
    const Row cursor_row = cursor_place(line).row;
    const Row lowest = rows_ == 0 ? end_of_line().row : cursor_row + rows_ - 1;
    return std::max(bottom(), std::min(end_of_line().row, lowest));
}

void LineScreen::draw_from(std::size_t index, const TypedLine& line, Bytes& out) noexcept
{
    go_to(index == 0 ? Place{} : spans_[index - 1].end, line, out);
    out.append("\x1b[J");
    write_characters(index, last_row_shown(line), line, out);
}

// Everything anew, from the window's first row that holds the line or the prompt.
void LineScreen::draw_visible(const TypedLine& line, Bytes& out) noexcept
{
    const Row first = std::max<Row>(0, top_);
    go_to({first, 0}, line, out);
    out.append("\x1b[J");
    write_characters(first_on(first), last_row_shown(line), line, out);
}

void LineScreen::update(const TypedLine& line, Bytes& out) noexcept
{
    spans_.cut_to(stale_from_);
    lay_out(line);
    if (stale_from_ != nothing) {
        if (measure(stale_from_, line, out)) {
            return; // drawn once the terminal has answered
        }
        if (stale_from_ == 0) {
            draw_visible(line, out);
        } else {
            draw_from(stale_from_, line, out);
        }
        stale_from_ = nothing;
    }
    go_to(cursor_place(line), line, out);
}

void LineScreen::start(Bytes& out) noexcept
{
    shown_ = end_of_line();
    top_ = rows_ == 0 ? 0 : shown_.row - (rows_ - 1); // as low as it may be, until it is told
    ask(Question::About::cursor, 0, 0, out);
}

void LineScreen::show(const TypedLine& line, std::size_t unchanged, Bytes& out) noexcept
{
    const std::size_t shown_before = spans_.size() - std::min(spans_.size(), prompt_.characters());
    if (unchanged < shown_before || unchanged < line.characters()) {
        stale_from_ = std::min(stale_from_, prompt_.characters() + unchanged);
    }
    if (!awaiting_answers()) {
        update(line, out);
    }
}

void LineScreen::finish(const TypedLine& line, Bytes& out) noexcept
{
    // Answers still on their way are dropped with what follows the line.
    expected_.cut_to(0);
    answered_ = 0;
    answering_ = false;
    update(line, out);
    go_to(end_of_line(), line, out);
    if (shown_.column > 0) {
        out.append("\r\n");
    }
}

void LineScreen::resize(TerminalSize size, const TypedLine& line, Bytes& out) noexcept
{
    before_resize_ = shown_;
    columns_before_resize_ = columns_;
    columns_ = std::max(size.columns, 1U);
    rows_ = size.rows;
    spans_.cut_to(0);
    stale_from_ = 0;
    if (answering_) {
        ask(Question::About::resize, 0, 0, out);
    } else {
        guessed_after_resize();
        update(line, out);
    }
}

void LineScreen::redraw(TerminalSize size, const TypedLine& line, Bytes& out) noexcept
{
    columns_ = std::max(size.columns, 1U);
    rows_ = size.rows;
    out.append("\r\x1b[J");
    shown_ = {};
    top_ = rows_ == 0 ? 0 : -static_cast<Row>(rows_ - 1);
    spans_.cut_to(0);
    stale_from_ = 0;
    if (answering_) {
        ask(Question::About::cursor, 0, 0, out);
    } else {
        update(line, out);
    }
}

void LineScreen::ask(Question::About about, std::uint64_t form, unsigned table_columns,
                     Bytes& out) noexcept
{
    if (expected_.push({about, form, table_columns})) {
        out.append(ask_where);
    }
}

// Writes the characters from `from` on whose columns only the terminal can
// tell, each once and after a space, where they are about to be drawn,
// between questions of where the cursor is. True if it asked.
bool LineScreen::measure(std::size_t from, const TypedLine& line, Bytes& out) noexcept
{
    if (!answering_) {
        return false;
    }
    std::array<std::size_t, most_measured> asked{};
    std::array<std::uint64_t, most_measured> hashes{};
    std::size_t count = 0;
    unsigned room = 0;
    for (std::size_t index = from; index < spans_.size() && count < most_measured; ++index) {
        const Character c = character(line, index);
        const Look look = look_of(c);
        const auto form = written(look.form, part(c.text, c.start, c.extent.end));
        const std::uint64_t hash = hash_of(form);
        if (look.measured ||
            std::find(hashes.begin(), hashes.begin() + count, hash) != hashes.begin() + count) {
            continue;
        }
        asked[count] = index;
        hashes[count++] = hash;
        room = std::max(room, widest(form) + room_around);
    }
    if (count == 0) {
        return false;
    }
    // Where the stale part starts; where they do not fit there, at the start
    // of its row, in the window, which is then drawn again whole. Each fits
    // at a row's start (look_of), and only characters measured before stand
    // between here and there.
    Place spot = on_screen(from == 0 ? Place{} : spans_[from - 1].end);
    if (spot.column + room > columns_ || spot.row < top_) {
        spot = {std::max(spot.row, top_), 0};
        stale_from_ = std::min(stale_from_, first_on(spot.row));
    }
    go_to(spot, line, out);
    ask(Question::About::reference, 0, 0, out);
    const auto probe = [&](std::string_view prefix, std::string_view rest, Question question) {
        out.append(" ");
        out.append(prefix);
        out.append(rest);
        ask(question.about, question.form, question.table_columns, out);
        out.append("\r");
        if (spot.column > 0) {
            move(out, spot.column, 'C');
        }
    };
    for (std::size_t i = 0; i < count; ++i) {
        const Character c = character(line, asked[i]);
        const Look look = look_of(c);
        const auto [prefix, rest] = written(look.form, part(c.text, c.start, c.extent.end));
        // A first code point that the terminal draws in none would join
        // what stands before the character: asked on its own too.
        const std::size_t first = prefix.empty() ? decode(bytes_of(rest), rest.size()).size : 0;
        if (first > 0 && first < rest.size()) {
            probe({}, rest.substr(0, first), {Question::About::first, 0, 0});
        }
        probe(prefix, rest, {Question::About::width, hashes[i], look.columns});
    }
    shown_ = spot;
    return true;
}

void LineScreen::answer(unsigned row, unsigned column, const TypedLine& line, Bytes& out) noexcept
{
    if (!awaiting_answers()) {
        return; // no question asked: a key that looks like an answer (Shift-F3)
    }
    const Question question = expected_[answered_++];
    const Place said{static_cast<Row>(row) - 1, column > 0 ? column - 1 : 0};
    switch (question.about) {
    case Question::About::cursor:
        top_ = shown_.row - said.row;
        break;
    case Question::About::reference:
        reference_ = said;
        top_ = shown_.row - said.row;
        break;
    case Question::About::first:
        first_drawn_in_none_ = said.row == reference_.row && said.column == reference_.column + 1;
        break;
    case Question::About::width:
        // Written after a space; none for one whose first code point joins
        // what stands before it, which shows as U+FFFD.
        widths_.add(question.form, first_drawn_in_none_ ? 0
                                   : said.row == reference_.row && said.column > reference_.column
                                       ? said.column - reference_.column - 1
                                       : question.table_columns);
        first_drawn_in_none_ = false;
        break;
    case Question::About::resize:
        placed_after_resize(said);
        break;
    }
    if (!awaiting_answers()) {
        expected_.cut_to(0);
        answered_ = 0;
        update(line, out);
    }
}

void LineScreen::answers_timed_out(const TypedLine& line, Bytes& out) noexcept
{
    for (std::size_t i = answered_; i < expected_.size(); ++i) {
        const Question& question = expected_[i];
        if (question.about == Question::About::width) {
            widths_.add(question.form, question.table_columns);
        } else if (question.about == Question::About::resize) {
            guessed_after_resize();
        }
    }
    expected_.cut_to(0);
    answered_ = 0;
    answering_ = false;
    update(line, out);
}

// Where the cursor was, as an offset into the rows of the prompt and the line
// taken as one (they start at a row's start, and wrap without a break).
std::int64_t LineScreen::offset_before_resize() const noexcept
{
    return before_resize_.row * columns_before_resize_ +
           std::min(before_resize_.column, columns_before_resize_ - 1);
}

// The terminal says where its cursor went: where a terminal that rewraps
// its rows would have put it, or where one that keeps them would, tells
// which it is, and so where the prompt starts now.
void LineScreen::placed_after_resize(Place said) noexcept
{
    const std::int64_t offset = offset_before_resize();
    const Row rewrapped_row = offset / columns_;
    const auto rewrapped_column = static_cast<unsigned>(offset % columns_);
    const unsigned kept_column =
        std::min({before_resize_.column, columns_before_resize_ - 1, columns_ - 1});
    const bool kept = said.column != rewrapped_column && said.column == kept_column;
    const Row prompt_row = said.row - (kept ? before_resize_.row : rewrapped_row);
    top_ = -prompt_row;
    shown_ = {said.row - prompt_row, said.column};
}

// With no answer: as a terminal that rewraps, the cursor's row as low as it
// may be.
void LineScreen::guessed_after_resize() noexcept
{
    const std::int64_t offset = offset_before_resize();
    shown_ = {offset / columns_, static_cast<unsigned>(offset % columns_)};
    top_ = rows_ == 0 ? 0 : shown_.row - (rows_ - 1);
}

LineScreen::Widths::~Widths()
{
    std::free(entries_);
}

int LineScreen::Widths::find(std::uint64_t hash) const noexcept
{
    if (capacity_ == 0) {
        return -1;
    }
    for (std::size_t at = hash & (capacity_ - 1);; at = (at + 1) & (capacity_ - 1)) {
        if (entries_[at].hash == hash) {
            return static_cast<int>(entries_[at].columns);
        }
        if (entries_[at].hash == 0) {
            return -1;
        }
    }
}

void LineScreen::Widths::add(std::uint64_t hash, unsigned columns) noexcept
{
    if (2 * (size_ + 1) > capacity_) {
        // Half full at the most, so that a search soon meets a free entry.
        const std::size_t capacity = std::max<std::size_t>(64, 2 * capacity_);
        auto* grown = static_cast<Entry*>(std::calloc(capacity, sizeof(Entry)));
        if (grown == nullptr) {
            return;
        }
        for (std::size_t i = 0; i < capacity_; ++i) {
            if (entries_[i].hash != 0) {
                *free_entry(grown, capacity, entries_[i].hash) = entries_[i];
            }
        }
        std::free(entries_);
        entries_ = grown;
        capacity_ = capacity;
    }
    Entry* entry = free_entry(entries_, capacity_, hash);
    size_ += entry->hash == 0 ? 1 : 0;
    *entry = {hash, columns};
}

// The entry of `hash` in `entries`, or the free one where it goes.
LineScreen::Widths::Entry* LineScreen::Widths::free_entry(Entry* entries, std::size_t capacity,
                                                          std::uint64_t hash) noexcept
{
    std::size_t at = hash & (capacity - 1);
    while (entries[at].hash != 0 && entries[at].hash != hash) {
        at = (at + 1) & (capacity - 1);
    }
    return &entries[at];
}
