#include "editor/key_decoder.hpp"

#include "count/utf8.hpp"

#include <algorithm>
#include <charconv>

namespace {

constexpr unsigned char escape_byte = 0x1B;
// The cursor keys in the order of their final bytes: A B C D, a b c d.
constexpr std::array<unsigned, 4> arrows{key::up, key::down, key::right, key::left};
constexpr std::string_view paste_end = "\x1b[201~";

constexpr bool is_printable(unsigned char byte)
{
    return byte >= 0x20 && byte != 0x7F;
}

std::string_view view_of(const unsigned char* bytes, std::size_t size)
{
    return {reinterpret_cast<const char*>(bytes), size};
}

Key text_key(Key::Kind kind, std::string_view text)
{
    Key key;
    key.kind = kind;
    key.text = text;
    return key;
}

Key signal_key(Signal signal)
{
    Key key;
    key.kind = Key::Kind::signal;
    key.signal = signal;
    return key;
}

Key code_key(unsigned code)
{
    Key key;
    key.code = code;
    return key;
}

} // namespace

bool KeyDecoder::next(Key& key) noexcept
{
    // Each step takes a byte, or leaves it for the state it moves to.
    while (at_ < input_.size()) {
        const unsigned char byte = input_[at_];
        bool made = false;
        switch (state_) {
        case State::ground:
            made = ground(byte, key);
            break;
        case State::escape:
        case State::alt_utf8:
            made = escape(byte, key);
            break;
        case State::csi:
        case State::ss3:
        case State::console:
            made = sequence(byte, key);
            break;
        case State::paste:
        case State::paste_end:
            made = paste(byte, key);
            break;
        }
        if (made) {
            return true;
        }
    }
    return false;
}

void KeyDecoder::drop_rest() noexcept
{
    at_ = input_.size();
}

bool KeyDecoder::in_sequence() const noexcept
{
    switch (state_) {
    case State::ground:
        return held_size_ > 0;
    case State::paste:
    case State::paste_end:
        return false; // a paste goes on however long its bytes pause
    default:
        return true;
    }
}

bool KeyDecoder::timed_out(Key& key) noexcept
{
    const State was = state_;
    state_ = State::ground;
    switch (was) {
    case State::ground:
        if (held_size_ == 0) {
            return false;
        }
        key = text_key(Key::Kind::text, view_of(held_.data(), held_size_));
        held_size_ = 0;
        return true;
    case State::escape:
        key = code_key(key::escape | (alt_ ? key::alt : 0));
        return true;
    case State::alt_utf8:
        key = code_key(key::letter | key::alt);
        key.text = view_of(held_.data(), held_size_);
        held_size_ = 0;
        return true;
    case State::paste:
    case State::paste_end:
        state_ = was;
        return false;
    default:
        key = code_key(key::other); // a sequence cut short
        return true;
    }
}

bool KeyDecoder::is_signal(unsigned char byte, Signal& signal) const noexcept
{
    const int value = byte;
    if (value == signals_.interrupt) {
        signal = Signal::interrupt;
    } else if (value == signals_.quit) {
        signal = Signal::quit;
    } else if (value == signals_.suspend) {
        signal = Signal::suspend;
    } else {
        return false;
    }
    return true;
}

bool KeyDecoder::ground(unsigned char byte, Key& key) noexcept
{
    if (held_size_ > 0) {
        return held_text(byte, key);
    }
    Signal signal{};
    if (is_signal(byte, signal)) {
        ++at_;
        key = signal_key(signal);
        return true;
    }
    if (byte == escape_byte) {
        ++at_;
        state_ = State::escape;
        alt_ = false;
        return false;
    }
    if (!is_printable(byte)) {
        ++at_;
        key = code_key(byte);
        return true;
    }
    return text_run(key);
}

// A run of printable bytes; where the input ends inside a UTF-8 sequence,
// the sequence's start waits for the rest.
bool KeyDecoder::text_run(Key& key) noexcept
{
    const std::size_t start = at_;
    std::size_t end = start;
    Signal signal{};
    while (end < input_.size() && is_printable(input_[end]) && !is_signal(input_[end], signal)) {
        ++end;
    }
    std::size_t text_end = end;
    if (charset_ == Charset::utf8 && end == input_.size()) {
        for (std::size_t back = 1; back <= 3 && back <= end - start; ++back) {
            const unsigned char byte = input_[end - back];
            if (!is_continuation(byte)) {
                if (sequence_length(byte) > back) {
                    text_end = end - back;
                }
                break;
            }
        }
    }
    held_size_ = end - text_end;
    std::copy(input_.begin() + static_cast<std::ptrdiff_t>(text_end),
              input_.begin() + static_cast<std::ptrdiff_t>(end), held_.begin());
    at_ = end;
    if (text_end == start) {
        return false;
    }
    key = text_key(Key::Kind::text, view_of(input_.data() + start, text_end - start));
    return true;
}

// The bytes after a held start of a letter: they complete it, or it was cut
// short, and goes as the bytes it is.
bool KeyDecoder::held_text(unsigned char byte, Key& key) noexcept
{
    const bool continues = is_continuation(byte) && held_size_ < sequence_length(held_[0]);
    if (continues) {
        held_[held_size_++] = byte;
        ++at_;
        if (held_size_ < sequence_length(held_[0])) {
            return false;
        }
    }
    key = text_key(Key::Kind::text, view_of(held_.data(), held_size_));
    held_size_ = 0;
    return true;
}

bool KeyDecoder::escape(unsigned char byte, Key& key) noexcept
{
    Signal signal{};
    if (is_signal(byte, signal)) {
        ++at_;
        state_ = State::ground;
        held_size_ = 0;
        key = signal_key(signal);
        return true;
    }
    if (state_ == State::alt_utf8) {
        // Alt and a letter of several bytes is one key, cut short or whole.
        const bool continues = is_continuation(byte) && held_size_ < sequence_length(held_[0]);
        if (continues) {
            held_[held_size_++] = byte;
            ++at_;
            if (held_size_ < sequence_length(held_[0])) {
                return false;
            }
        }
        key = code_key(key::letter | key::alt);
        key.text = view_of(held_.data(), held_size_);
        held_size_ = 0;
        state_ = State::ground;
        return true;
    }
    ++at_;
    parameter_size_ = 0;
    overlong_ = false;
    intermediate_ = false;
    if (byte == '[') {
        state_ = State::csi;
        return false;
    }
    if (byte == 'O') {
        state_ = State::ss3;
        return false;
    }
    if (byte == escape_byte) {
        alt_ = true;
        return false;
    }
    if (charset_ == Charset::utf8 && sequence_length(byte) > 1) {
        held_[0] = byte;
        held_size_ = 1;
        state_ = State::alt_utf8;
        return false;
    }
    state_ = State::ground;
    if (byte < 0x80) {
        key = code_key(byte | key::alt);
    } else {
        key = code_key(key::letter | key::alt);
        key.text = view_of(&input_[at_ - 1], 1);
    }
    return true;
}

bool KeyDecoder::sequence(unsigned char byte, Key& key) noexcept
{
    Signal signal{};
    if (is_signal(byte, signal)) {
        ++at_;
        state_ = State::ground;
        key = signal_key(signal);
        return true;
    }
    if (state_ == State::console) {
        ++at_;
        state_ = State::ground;
        key = code_key(key::other);
        return true;
    }
    if (byte < 0x20 || byte >= 0x80) {
        // Cut short by another key (ESC too), which is taken as it is.
        state_ = State::ground;
        return false;
    }
    ++at_;
    if (byte >= 0x30 && byte <= 0x3F) {
        if (parameter_size_ < parameters_.size()) {
            parameters_[parameter_size_++] = static_cast<char>(byte);
        } else {
            overlong_ = true;
        }
        return false;
    }
    const bool rxvt_shift = byte == '$' && state_ == State::csi && !intermediate_;
    if (byte <= 0x2F && !rxvt_shift) {
        intermediate_ = true;
        return false;
    }
    key = code_key(key::other);
    if (state_ == State::csi) {
        finish_csi(byte, key);
    } else {
        finish_ss3(byte, key);
    }
    // A paste's start, and the Linux console's F1 to F5, go on.
    return state_ == State::ground;
}

// The modifiers that a sequence's parameter gives, and an ESC before it.
unsigned KeyDecoder::modifiers(unsigned parameter) const noexcept
{
    const unsigned modifier = parameter - 1;
    unsigned flags = alt_ ? key::alt : 0;
    flags |= (modifier & 1U) != 0 ? key::shift : 0;
    flags |= (modifier & 10U) != 0 ? key::alt : 0; // Alt, or Meta
    flags |= (modifier & 4U) != 0 ? key::ctrl : 0;
    return flags;
}

// The number at `index` of the parameters, split by semicolons.
unsigned KeyDecoder::parameter(std::size_t index, unsigned otherwise) const noexcept
{
    const std::string_view all(parameters_.data(), parameter_size_);
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i) {
        start = all.find(';', start);
        if (start == std::string_view::npos) {
            return otherwise;
        }
        ++start;
    }
    unsigned number = 0;
    const char* end = all.data() + all.size();
    const auto [stop, error] = std::from_chars(all.data() + start, end, number);
    return error == std::errc{} ? number : otherwise;
}

void KeyDecoder::finish_csi(unsigned char final_byte, Key& key) noexcept
{
    state_ = State::ground;
    const std::string_view all(parameters_.data(), parameter_size_);
    if (overlong_ || intermediate_ ||
        all.find_first_not_of("0123456789;") != std::string_view::npos) {
        return; // private sequences: a mouse's, a terminal's answer of another kind
    }
    const unsigned number = parameter(0, 1);
    const unsigned modifiers = this->modifiers(parameter(1, 1));
    switch (final_byte) {
    case 'A':
    case 'B':
    case 'C':
    case 'D':
        key.code = arrows[final_byte - 'A'] | modifiers;
        break;
    case 'H':
        key.code = key::home | modifiers;
        break;
    case 'F':
        key.code = key::end | modifiers;
        break;
    case 'a':
    case 'b':
    case 'c':
    case 'd':
        key.code = arrows[final_byte - 'a'] | key::shift;
        break;
    case '~':
    case '^':
    case '$':
    case '@': {
        const unsigned rxvt = final_byte == '^'   ? key::ctrl
                              : final_byte == '$' ? key::shift
                              : final_byte == '@' ? key::ctrl | key::shift
                                                  : 0;
        if (number == 1 || number == 7) {
            key.code = key::home | modifiers | rxvt;
        } else if (number == 4 || number == 8) {
            key.code = key::end | modifiers | rxvt;
        } else if (number == 3) {
            key.code = key::delete_key | modifiers | rxvt;
        } else if (number == 200 && final_byte == '~') {
            state_ = State::paste;
            paste_end_matched_ = 0;
        }
        break;
    }
    case 'R':
        if (all.find(';') != std::string_view::npos) {
            key.kind = Key::Kind::position;
            key.row = number;
            key.column = parameter(1, 1);
        }
        break;
    case '[':
        if (all.empty()) {
            state_ = State::console;
        }
        break;
    default:
        break;
    }
}

void KeyDecoder::finish_ss3(unsigned char final_byte, Key& key) noexcept
{
    state_ = State::ground;
    // The modifier is the last parameter: ESC O 5 D, or ESC O 1 ; 5 D.
    const std::string_view all(parameters_.data(), parameter_size_);
    const unsigned modifiers =
        this->modifiers(parameter(all.find(';') == std::string_view::npos ? 0 : 1, 1));
    switch (final_byte) {
    case 'A':
    case 'B':
    case 'C':
    case 'D':
        key.code = arrows[final_byte - 'A'] | modifiers;
        break;
    case 'H':
        key.code = key::home | modifiers;
        break;
    case 'F':
        key.code = key::end | modifiers;
        break;
    case 'a':
    case 'b':
    case 'c':
    case 'd':
        key.code = arrows[final_byte - 'a'] | key::ctrl;
        break;
    case 'M':
        key.code = '\r';
        break;
    default:
        break;
    }
}

bool KeyDecoder::paste(unsigned char byte, Key& key) noexcept
{
    if (state_ == State::paste_end) {
        if (byte == static_cast<unsigned char>(paste_end[paste_end_matched_])) {
            ++at_;
            if (++paste_end_matched_ == paste_end.size()) {
                state_ = State::ground;
            }
            return false;
        }
        // Not the end after all: what seemed its start was pasted.
        key = text_key(Key::Kind::paste, paste_end.substr(0, paste_end_matched_));
        state_ = State::paste;
        return true;
    }
    if (byte == escape_byte) {
        ++at_;
        state_ = State::paste_end;
        paste_end_matched_ = 1;
        return false;
    }
    const std::size_t start = at_;
    while (at_ < input_.size() && input_[at_] != escape_byte) {
        ++at_;
    }
    key = text_key(Key::Kind::paste, view_of(input_.data() + start, at_ - start));
    return true;
}
