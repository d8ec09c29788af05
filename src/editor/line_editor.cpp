#include "line_editor.hpp"

#include "../clusters.hpp"
#include "../utf8.hpp"

#include <algorithm>
#include <array>
#include <charconv>

namespace {

constexpr unsigned char escape = 0x1B;
constexpr unsigned tab_stop = 8;
constexpr std::size_t longest_sequence = 16; // parameters of an escape sequence kept
constexpr std::string_view paste_end = "\x1b[201~";

constexpr bool is_printable(unsigned char byte)
{
    return byte >= 0x20 && byte != 0x7F;
}

std::span<const unsigned char> bytes_of(std::string_view text)
{
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// The bytes of `text` in [from, to), which lie inside it. (substr would check
// that, and bring in the C++ run-time to report a failure.)
std::string_view part(std::string_view text, std::size_t from, std::size_t to)
{
    return {text.data() + from, to - from};
}

// The modifier of a cursor key's sequence ("1;5" is Ctrl): Ctrl or Alt
// moves it by a word.
bool moves_by_word(std::string_view parameters)
{
    const std::size_t semicolon = parameters.find(';');
    const std::string_view modifier = semicolon == std::string_view::npos
                                          ? parameters
                                          : part(parameters, semicolon + 1, parameters.size());
    return modifier == "3" || modifier == "5" || modifier == "7";
}

// The number a sequence's parameters start with, 0 if none.
unsigned first_number(std::string_view parameters)
{
    unsigned number = 0;
    (void)std::from_chars(parameters.data(), parameters.data() + parameters.size(), number);
    return number;
}

// A cursor movement: ESC [ n and the direction.
void move(Bytes& screen, unsigned count, char direction)
{
    std::array<char, 16> sequence{'\x1b', '['};
    char* end =
        std::to_chars(sequence.data() + 2, sequence.data() + sequence.size() - 1, count).ptr;
    *end++ = direction;
    screen.append({sequence.data(), static_cast<std::size_t>(end - sequence.data())});
}

} // namespace

LineEditor::LineEditor(Charset charset, std::string_view prompt, unsigned columns)
    : charset_(charset), prompt_(prompt), columns_(std::max(columns, 2U))
{
    for (std::size_t at = 0; at < prompt.size();) {
        const ClusterExtent character = character_at(prompt, at);
        prompt_columns_ += character.columns;
        at = character.end;
    }
    shown_ = origin();
}

// What a character is depends on the code set: a grapheme cluster of UTF-8,
// or one byte. A tab takes columns by where it is (lay_out).
ClusterExtent LineEditor::character_at(std::string_view text, std::size_t at) const noexcept
{
    if (charset_ == Charset::utf8) {
        return cluster_at(bytes_of(text), at);
    }
    return {at + 1, is_printable(static_cast<unsigned char>(text[at])) ? 1U : 0U};
}

// The layout of the characters up to where the text last changed stands;
// the rest is laid out when asked for.
void LineEditor::forget_from(std::size_t at) noexcept
{
    // The character that ends at `at` may take in what comes there next.
    const auto* first =
        std::lower_bound(stops_.begin(), stops_.end(), at,
                         [](const Stop& stop, std::size_t byte) { return stop.end < byte; });
    stops_.cut_to(static_cast<std::size_t>(first - stops_.begin()));
}

void LineEditor::lay_out_all() noexcept
{
    std::size_t at = start_of(stops_.size());
    Place place = stops_.size() == 0 ? origin() : stops_[stops_.size() - 1].span.end;
    while (at < text_.size()) {
        const ClusterExtent character = character_at(text_.view(), at);
        const Span span = lay_out(place, at, character.columns);
        if (!stops_.push({character.end, span})) {
            text_.erase(at, text_.size()); // no memory for more: the line ends here
            break;
        }
        place = span.end;
        at = character.end;
    }
}

std::size_t LineEditor::start_of(std::size_t index) const noexcept
{
    return index == 0 ? 0 : stops_[index - 1].end;
}

std::size_t LineEditor::index_of(std::size_t at) const noexcept
{
    const auto* holding =
        std::upper_bound(stops_.begin(), stops_.end(), at,
                         [](std::size_t byte, const Stop& stop) { return byte < stop.end; });
    return static_cast<std::size_t>(holding - stops_.begin());
}

std::size_t LineEditor::start_before(std::size_t at) const noexcept
{
    const std::size_t index = index_of(at);
    return index == 0 ? 0 : start_of(index - (start_of(index) == at ? 1 : 0));
}

std::size_t LineEditor::start_after(std::size_t at) const noexcept
{
    const std::size_t index = index_of(at);
    return index < stops_.size() ? stops_[index].end : text_.size();
}

// The bytes at the end of `text` that begin a UTF-8 sequence which the next
// read completes: they wait for it.
std::size_t LineEditor::cut_short_at_end(std::string_view text) const noexcept
{
    if (charset_ != Charset::utf8) {
        return 0;
    }
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if (!is_continuation(byte)) {
            return sequence_length(byte) > back ? back : 0;
        }
    }
    return 0;
}

LineEditor::State LineEditor::take(std::span<const unsigned char> keys, Bytes& screen)
{
    for (std::size_t i = 0; i < keys.size() && state_ == State::editing;) {
        if (parsing_ == Parsing::text && is_printable(keys[i])) {
            // A run of text, typed or pasted without brackets, goes in at once.
            std::size_t end = i;
            while (end < keys.size() && is_printable(keys[end])) {
                ++end;
            }
            insert_text({reinterpret_cast<const char*>(keys.data() + i), end - i}, screen);
            i = end;
            continue;
        }
        if (parsing_ == Parsing::text) {
            put_held(screen); // a key cut the sequence short: it stays as it came
        }
        step(keys[i++], screen);
    }
    if (state_ == State::editing && !pasted_.empty()) {
        insert_text(pasted_.view(), screen); // a long paste shows as it arrives
        pasted_.clear();
    }
    return state_;
}

void LineEditor::step(unsigned char byte, Bytes& screen)
{
    switch (parsing_) {
    case Parsing::text:
        if (byte == escape) {
            parsing_ = Parsing::escape;
        } else {
            control(byte, screen);
        }
        break;
    case Parsing::escape:
        parsing_ = Parsing::text;
        if (byte == '[') {
            parsing_ = Parsing::csi;
            sequence_.clear();
        } else if (byte == 'O') {
            parsing_ = Parsing::ss3;
        } else if (byte == 'b') { // Alt-B, Alt-F
            move_cursor(word_start_before(cursor_), screen);
        } else if (byte == 'f') {
            move_cursor(word_end_after(cursor_), screen);
        } else if (byte == escape) {
            parsing_ = Parsing::escape;
        }
        break;
    case Parsing::csi:
        if (byte >= 0x20 && byte <= 0x3F) {
            if (sequence_.size() < longest_sequence) {
                sequence_.append(1, static_cast<char>(byte));
            }
        } else if (byte >= 0x40 && byte <= 0x7E) {
            parsing_ = Parsing::text;
            escape_sequence(byte, screen);
        } else {
            // No sequence after all: a control is a key of its own, or ESC
            // starts another sequence.
            parsing_ = byte == escape ? Parsing::escape : Parsing::text;
            if (byte < 0x20 && byte != escape) {
                control(byte, screen);
            }
        }
        break;
    case Parsing::ss3:
        parsing_ = Parsing::text;
        sequence_.assign(byte == 'c' || byte == 'd' ? "5" : ""); // rxvt's Ctrl-→ and Ctrl-←
        escape_sequence(byte == 'c' ? 'C' : byte == 'd' ? 'D' : byte, screen);
        break;
    case Parsing::paste:
    case Parsing::paste_escape:
        paste(byte, screen);
        break;
    }
}

void LineEditor::control(unsigned char byte, Bytes& screen)
{
    switch (byte) {
    case 0x01: // Ctrl-A
        move_cursor(0, screen);
        break;
    case 0x02: // Ctrl-B
        move_cursor(start_before(cursor_), screen);
        break;
    case 0x04: // Ctrl-D
        if (text_.empty()) {
            state_ = State::ended;
        } else {
            erase(cursor_, start_after(cursor_), screen);
        }
        break;
    case 0x05: // Ctrl-E
        move_cursor(text_.size(), screen);
        break;
    case 0x06: // Ctrl-F
        move_cursor(start_after(cursor_), screen);
        break;
    case 0x08: // Ctrl-H, as some terminals send Backspace
    case 0x7F:
        erase(start_before(cursor_), cursor_, screen);
        break;
    case '\t':
        insert("\t", screen);
        break;
    case '\n':
    case '\r':
        enter(screen);
        break;
    case 0x0B: // Ctrl-K
        erase(cursor_, text_.size(), screen);
        break;
    case 0x15: // Ctrl-U
        erase(0, cursor_, screen);
        break;
    case 0x17: // Ctrl-W
        erase(word_start_before(cursor_), cursor_, screen);
        break;
    default:
        break; // a key that does nothing here
    }
}

void LineEditor::escape_sequence(unsigned char final_byte, Bytes& screen)
{
    const bool by_word = moves_by_word(sequence_.view());
    switch (final_byte) {
    case 'C':
        move_cursor(by_word ? word_end_after(cursor_) : start_after(cursor_), screen);
        break;
    case 'D':
        move_cursor(by_word ? word_start_before(cursor_) : start_before(cursor_), screen);
        break;
    case 'H':
        move_cursor(0, screen);
        break;
    case 'F':
        move_cursor(text_.size(), screen);
        break;
    case '~':
        switch (first_number(sequence_.view())) {
        case 1:
        case 7:
            move_cursor(0, screen);
            break;
        case 4:
        case 8:
            move_cursor(text_.size(), screen);
            break;
        case 3:
            erase(cursor_, start_after(cursor_), screen);
            break;
        case 200:
            parsing_ = Parsing::paste;
            break;
        default:
            break;
        }
        break;
    default:
        break; // ↑ ↓ and the rest: nothing
    }
}

// Inside a bracketed paste everything is text up to the sequence that ends
// it, but for controls other than tabs, which no key of the paste stands for.
void LineEditor::paste(unsigned char byte, Bytes& screen)
{
    if (parsing_ == Parsing::paste_escape) {
        sequence_.append(1, static_cast<char>(byte));
        if (sequence_.view() == paste_end) {
            parsing_ = Parsing::text;
            insert_text(pasted_.view(), screen);
            pasted_.clear();
            put_held(screen);
            return;
        }
        if (paste_end.starts_with(sequence_.view())) {
            return;
        }
        // Not the end: the ESC goes, the bytes after it that began the end's
        // sequence are text, and this one is pasted as any other.
        pasted_.append(part(sequence_.view(), 1, sequence_.size() - 1));
        parsing_ = Parsing::paste;
    }
    if (byte == escape) {
        parsing_ = Parsing::paste_escape;
        sequence_.assign("\x1b");
    } else if (byte == '\r' || byte == '\n') {
        insert_text(pasted_.view(), screen); // the first line is the line; the rest is not read
        pasted_.clear();
        put_held(screen);
        enter(screen);
    } else if (is_printable(byte) || byte == '\t') {
        pasted_.append(1, static_cast<char>(byte));
    }
}

bool LineEditor::in_sequence() const noexcept
{
    return parsing_ == Parsing::escape || parsing_ == Parsing::csi || parsing_ == Parsing::ss3;
}

void LineEditor::sequence_timed_out() noexcept
{
    if (in_sequence()) {
        parsing_ = Parsing::text;
    }
}

void LineEditor::insert_text(std::string_view bytes, Bytes& screen)
{
    Bytes text(held_.view());
    text.append(bytes);
    const std::size_t held = cut_short_at_end(text.view());
    held_.assign(part(text.view(), text.size() - held, text.size()));
    insert(part(text.view(), 0, text.size() - held), screen);
}

// A sequence cut short for good goes in as the bytes it is: one U+FFFD, as
// the count takes it.
void LineEditor::put_held(Bytes& screen)
{
    if (!held_.empty()) {
        const Bytes held(held_.view());
        held_.clear();
        insert(held.view(), screen);
    }
}

void LineEditor::insert(std::string_view bytes, Bytes& screen)
{
    if (bytes.empty()) {
        return;
    }
    // What is typed may join the character before the cursor, as an accent
    // joins its letter: that one is laid out and drawn again too.
    const std::size_t redraw_from = start_before(cursor_);
    forget_from(cursor_);
    text_.insert(cursor_, bytes);
    lay_out_all();
    const std::size_t typed_end = std::min(cursor_ + bytes.size(), text_.size());
    cursor_ = start_of(index_of(typed_end)) == typed_end ? typed_end : start_after(typed_end);
    draw_from(redraw_from, screen);
}

void LineEditor::erase(std::size_t from, std::size_t to, Bytes& screen)
{
    if (from >= to) {
        return;
    }
    forget_from(from);
    text_.erase(from, to);
    lay_out_all();
    // What is left may join across the gap: the cursor stays at a start.
    cursor_ = start_of(index_of(from));
    draw_from(cursor_, screen);
}

void LineEditor::move_cursor(std::size_t to, Bytes& screen)
{
    cursor_ = to;
    go_to(cursor_place(to), screen);
}

void LineEditor::enter(Bytes& screen)
{
    state_ = State::entered;
    const Place end = place_after(text_.size());
    if (end.column == columns_) {
        go_to({end.row + 1, 0}, screen); // the line filled its row: the next one is there
    } else {
        go_to(end, screen);
        screen.append("\r\n");
    }
}

bool LineEditor::is_space(std::size_t at) const noexcept
{
    return at < text_.size() && (text_[at] == ' ' || text_[at] == '\t');
}

// Words are what stands between spaces, in any script: the start of the
// word before `at`, or of the one it is in, and the end of the next one.
std::size_t LineEditor::word_start_before(std::size_t at) const noexcept
{
    std::size_t index = index_of(at);
    while (index > 0 && is_space(start_of(index - 1))) {
        --index;
    }
    while (index > 0 && !is_space(start_of(index - 1))) {
        --index;
    }
    return start_of(index);
}

std::size_t LineEditor::word_end_after(std::size_t at) const noexcept
{
    std::size_t index = index_of(at);
    while (index < stops_.size() && is_space(start_of(index))) {
        ++index;
    }
    while (index < stops_.size() && !is_space(start_of(index))) {
        ++index;
    }
    return start_of(index);
}

// The screen: places are counted in rows from the one where the prompt ends.

LineEditor::Place LineEditor::origin() const noexcept
{
    // A prompt that fills its row leaves the cursor past the row's end.
    return {0, prompt_columns_ == 0 ? 0 : (prompt_columns_ - 1) % columns_ + 1};
}

LineEditor::Span LineEditor::lay_out(Place from, std::size_t at, unsigned columns) const noexcept
{
    const bool tab = text_[at] == '\t';
    unsigned width = tab ? 1 : columns;
    if (from.column + width > columns_) {
        from = {from.row + 1, 0}; // the terminal takes it to the next row whole
    }
    if (tab) {
        width = std::min(tab_stop - from.column % tab_stop, columns_ - from.column);
    }
    return {from, {from.row, from.column + width}};
}

LineEditor::Place LineEditor::place_after(std::size_t at) const noexcept
{
    const std::size_t index = index_of(at);
    return index == 0 ? origin() : stops_[index - 1].span.end;
}

LineEditor::Place LineEditor::cursor_place(std::size_t at) const noexcept
{
    const std::size_t index = index_of(at);
    if (index < stops_.size()) {
        return stops_[index].span.start;
    }
    const Place after = place_after(at);
    return after.column == columns_ ? Place{after.row + 1, 0} : after;
}

void LineEditor::go_to(Place place, Bytes& screen)
{
    if (place == shown_) {
        return;
    }
    if (place.row < shown_.row) {
        move(screen, shown_.row - place.row, 'A');
    } else if (place.row > shown_.row) {
        move(screen, place.row - shown_.row, 'B');
    }
    screen.append("\r");
    if (place.column > 0) {
        move(screen, place.column, 'C');
    }
    shown_ = place;
}

// Draws the line from `at`, where a character starts, to its end, clears
// what was shown past it, and puts the cursor back.
void LineEditor::draw_from(std::size_t at, Bytes& screen)
{
    Place place = place_after(at);
    // Past a row's end the terminal's cursor can be only where it was left,
    // before it wraps; anywhere else the next row starts.
    if (place.column == columns_ && place != shown_) {
        place = {place.row + 1, 0};
    }
    go_to(place, screen);
    screen.append("\x1b[J");
    for (std::size_t index = index_of(at); index < stops_.size(); ++index) {
        const std::size_t start = start_of(index);
        const Span& span = stops_[index].span;
        if (text_[start] == '\t') {
            screen.append(span.end.column - span.start.column, ' '); // wraps as laid out
        } else {
            screen.append(part(text_.view(), start, stops_[index].end));
        }
        place = span.end;
    }
    if (place.column == columns_) {
        screen.append("\r\n"); // so that the cursor can stand after the last character
        place = {place.row + 1, 0};
    }
    shown_ = place;
    go_to(cursor_place(cursor_), screen);
}

void LineEditor::resize(unsigned columns, Bytes& screen)
{
    columns_ = std::max(columns, 2U);
    stops_.cut_to(0);
    lay_out_all();
    // The terminal has rewrapped the prompt's row and the line as one: the
    // cursor is where the new width puts it.
    shown_ = cursor_place(cursor_);
    draw_from(0, screen);
}

void LineEditor::redraw(Bytes& screen)
{
    screen.append("\r");
    screen.append(prompt_.view());
    shown_ = origin();
    draw_from(0, screen);
}
