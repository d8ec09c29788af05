#pragma once

// What a terminal sends, as keys: the one place where its bytes are read.
//
// What it takes, by xterm's control sequences (and rxvt's and the Linux
// console's where they differ); M is the modifier parameter, 1 plus Shift 1,
// Alt 2, Ctrl 4 and Meta 8 (taken as Alt):
//
//   text            printable bytes; a UTF-8 sequence split between reads
//                   is held until it is whole
//   C0, DEL         a control key of its own: Ctrl-A is 0x01, Enter CR or
//                   LF, Backspace DEL or BS
//   intr quit susp  the terminal's signal characters (stty -a): signals
//   ESC key         Alt and that key: a letter of any length, a control, or
//                   ESC and a sequence (ESC ESC [ D is Alt-←)
//   CSI [1;M] A-D   ↑ ↓ → ←;  H F  Home End
//   CSI N [;M] ~    1 7 Home, 3 Delete, 4 8 End, 200 a paste's start;
//                   the rest (Insert, Page Up/Down, F5-F12) do nothing
//   CSI N ^ $ @     rxvt's Ctrl, Shift, Ctrl-Shift of the same
//   CSI a-d         rxvt's Shift-arrows
//   CSI [ A-E       the Linux console's F1 to F5
//   CSI R ; C R     a cursor position report, row R and column C from 1
//   SS3 [M] A-D H F ESC O: the same cursor keys, also with a modifier
//                   (ESC O 5 D is Ctrl-←); a-d rxvt's Ctrl-arrows; M the
//                   keypad's Enter; P-S F1 to F4
//   CSI 200 ~ text CSI 201 ~   a bracketed paste: whatever lies between is
//                   text, signal characters and escapes included
//
// Any other sequence is a key that does nothing; an ESC with nothing after
// it in time is the Escape key.

#include "encoding.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace key {

// A key's code: a control character is its byte (ctrl('a') is 0x01), a
// printable ASCII key after Alt is its byte too, and the rest have names.
// The modifiers are flags above.
inline constexpr unsigned shift = 0x1000;
inline constexpr unsigned alt = 0x2000;
inline constexpr unsigned ctrl = 0x4000;

enum : unsigned {
    escape = 0x1B,
    backspace = 0x7F,
    letter = 0x100, // a letter outside ASCII, after Alt: its bytes in `text`
    up,
    down,
    right,
    left,
    home,
    end,
    delete_key,
    other, // a key that nothing is bound to: Insert, Page Up, F1, ...
};

constexpr unsigned control(char letter)
{
    return static_cast<unsigned>(letter) & 0x1FU;
}

} // namespace key

enum class Signal : std::uint8_t { interrupt, quit, suspend };

struct Key {
    enum class Kind : std::uint8_t {
        text,     // typed: `text`
        paste,    // a piece of a paste: `text`, whatever it holds
        key,      // `code`
        signal,   // `signal`
        position, // the cursor stands at `row`, `column`, from 1
    };
    Kind kind = Kind::key;
    unsigned code = 0;
    std::string_view text;
    Signal signal = Signal::interrupt;
    unsigned row = 0;
    unsigned column = 0;
};

// The terminal's signal characters, -1 where one is disabled.
struct SignalKeys {
    int interrupt = -1;
    int quit = -1;
    int suspend = -1;
};

class KeyDecoder {
public:
    KeyDecoder(Charset charset, SignalKeys signals) noexcept : charset_(charset), signals_(signals)
    {
    }

    // The next bytes the terminal sent; they must stay as they are while
    // next() takes keys from them.
    void feed(std::span<const unsigned char> bytes) noexcept
    {
        input_ = bytes;
        at_ = 0;
    }

    // The next whole key of what was fed; false once it is all taken. A key
    // may still be open at the end, for the next bytes to complete.
    bool next(Key& key) noexcept;

    // The rest of what was fed is not taken: the terminal drops what follows
    // a signal character too.
    void drop_rest() noexcept;

    // True while what was fed ends in a key that more bytes may complete:
    // a function key's sequence on its way, or the Escape key alone.
    [[nodiscard]] bool in_sequence() const noexcept;

    // Nothing more came in time: what the open key was, if any.
    bool timed_out(Key& key) noexcept;

private:
    enum class State : std::uint8_t {
        ground,
        escape,   // after ESC
        csi,      // after ESC [
        ss3,      // after ESC O
        console,  // after ESC [ [: one more byte
        alt_utf8, // after ESC and the start of a UTF-8 letter
        paste,
        paste_end, // in a paste, after a start of CSI 201 ~
    };

    bool ground(unsigned char byte, Key& key) noexcept;
    bool escape(unsigned char byte, Key& key) noexcept;
    bool sequence(unsigned char byte, Key& key) noexcept;
    bool paste(unsigned char byte, Key& key) noexcept;
    bool text_run(Key& key) noexcept;
    bool held_text(unsigned char byte, Key& key) noexcept;
    void finish_csi(unsigned char final_byte, Key& key) noexcept;
    void finish_ss3(unsigned char final_byte, Key& key) noexcept;
    [[nodiscard]] bool is_signal(unsigned char byte, Signal& signal) const noexcept;
    [[nodiscard]] unsigned modifiers(unsigned parameter) const noexcept;
    [[nodiscard]] unsigned parameter(std::size_t index, unsigned otherwise) const noexcept;

    Charset charset_;
    SignalKeys signals_;
    std::span<const unsigned char> input_;
    std::size_t at_ = 0;
    State state_ = State::ground;
    bool alt_ = false; // ESC ESC: the sequence after it is with Alt

    // A sequence's parameters, up to the longest kept.
    static constexpr std::size_t longest_parameters = 16;
    std::array<char, longest_parameters> parameters_{};
    std::size_t parameter_size_ = 0;
    bool overlong_ = false;
    bool intermediate_ = false;

    // The start of a UTF-8 letter that the next bytes complete.
    std::array<unsigned char, 4> held_{};
    std::size_t held_size_ = 0;
    std::size_t paste_end_matched_ = 0;
};
