#include "editor/line_editor.hpp"

LineEditor::LineEditor(Charset charset, std::string_view prompt, TerminalSize size,
                       SignalKeys signals) noexcept
    : keys_(charset, signals), line_(charset), screen_(charset, prompt, size)
{
}

LineEditor::State LineEditor::take(std::span<const unsigned char> keys, Bytes& screen) noexcept
{
    keys_.feed(keys);
    Key key;
    while (state_ == State::editing && keys_.next(key)) {
        if (key.kind == Key::Kind::position) {
            show(screen); // what changed so far, for the screen to draw once answered
            screen_.answer(key.row, key.column, line_, screen);
        } else {
            act_on(key);
        }
    }
    show(screen);
    if (state_ == State::entered) {
        screen_.finish(line_, screen);
    }
    const State state = state_;
    if (state_ == State::signalled) {
        state_ = State::editing;
    }
    return state;
}

void LineEditor::act_on(const Key& key) noexcept
{
    switch (key.kind) {
    case Key::Kind::text:
        line_.insert(key.text);
        break;
    case Key::Kind::paste:
        paste(key.text);
        break;
    case Key::Kind::key:
        press(key.code);
        break;
    case Key::Kind::signal:
        // The terminal drops what was typed after a signal character.
        signal_ = key.signal;
        state_ = State::signalled;
        keys_.drop_rest();
        break;
    case Key::Kind::position:
        break;
    }
}

void LineEditor::press(unsigned code) noexcept
{
    const std::size_t cursor = line_.cursor();
    switch (code & ~key::shift) { // Shift changes none of them
    case key::left:
    case key::control('b'):
        line_.move_to(line_.start_before(cursor));
        break;
    case key::right:
    case key::control('f'):
        line_.move_to(line_.start_after(cursor));
        break;
    case key::left | key::ctrl:
    case key::left | key::alt:
    case 'b' | key::alt:
        line_.move_to(line_.word_start_before(cursor));
        break;
    case key::right | key::ctrl:
    case key::right | key::alt:
    case 'f' | key::alt:
        line_.move_to(line_.word_end_after(cursor));
        break;
    case key::home:
    case key::control('a'):
        line_.move_to(0);
        break;
    case key::end:
    case key::control('e'):
        line_.move_to(line_.text().size());
        break;
    case key::backspace:
    case key::control('h'):
        line_.erase(line_.start_before(cursor), cursor);
        break;
    case key::delete_key:
        line_.erase(cursor, line_.start_after(cursor));
        break;
    case key::control('u'):
        line_.erase(0, cursor);
        break;
    case key::control('k'):
        line_.erase(cursor, line_.text().size());
        break;
    case key::control('w'):
        line_.erase(line_.word_start_before(cursor), cursor);
        break;
    case key::control('d'):
        if (line_.text().empty()) {
            state_ = State::ended;
        } else {
            line_.erase(cursor, line_.start_after(cursor));
        }
        break;
    case '\r':
    case '\n':
        state_ = State::entered;
        break;
    case '\t':
        line_.insert("\t");
        break;
    default:
        break; // a key that does nothing here
    }
}

// A paste's first line is the line; what follows its line end is not read.
void LineEditor::paste(std::string_view bytes) noexcept
{
    const std::size_t line_end = bytes.find_first_of("\r\n");
    line_.insert(bytes.substr(0, line_end));
    if (line_end != std::string_view::npos) {
        state_ = State::entered;
    }
}

void LineEditor::show(Bytes& screen) noexcept
{
    screen_.show(line_, line_.take_unchanged(), screen);
}

void LineEditor::sequence_timed_out(Bytes& screen) noexcept
{
    Key key;
    if (keys_.timed_out(key)) {
        act_on(key);
        show(screen);
    }
}

void LineEditor::answers_timed_out(Bytes& screen) noexcept
{
    show(screen);
    screen_.answers_timed_out(line_, screen);
}

void LineEditor::resize(TerminalSize size, Bytes& screen) noexcept
{
    (void)line_.take_unchanged(); // all of it is drawn anew
    screen_.resize(size, line_, screen);
}

void LineEditor::redraw(TerminalSize size, Bytes& screen) noexcept
{
    (void)line_.take_unchanged();
    screen_.redraw(size, line_, screen);
}
