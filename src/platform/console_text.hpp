#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// What a Windows console hands over as it is typed, UTF-16 read by read,
// turned into the UTF-8 that the tool counts. A surrogate pair split between
// two reads is joined; a lone surrogate is no character and becomes U+FFFD,
// as a console shows it. Ctrl-Z ends the input where it stands, as the C
// run-time's text mode takes it.
class ConsoleText {
public:
    // Room in `out` that a read of `units` needs: three bytes a unit, and
    // three more for a high surrogate held from the read before that stays alone.
    static constexpr std::size_t room_for(std::size_t units) { return 3 * units + 3; }
    // The most units whose bytes fit in `room`.
    static constexpr std::size_t units_for(std::size_t room) { return room / 3 - 1; }

    // Converts the next read into `out`, which has room_for(units.size())
    // bytes, and returns how many bytes it wrote. A high surrogate at the
    // end of the read waits for the next.
    std::size_t take(std::span<const char16_t> units, std::span<unsigned char> out) noexcept;

    // True once Ctrl-Z or an empty read has ended the input; what take()
    // wrote last then includes a high surrogate that waited in vain.
    [[nodiscard]] bool ended() const noexcept { return ended_; }

private:
    char16_t held_high_ = 0;
    bool ended_ = false;
};

// The next piece of UTF-8 text that a console's writer sends as one: a line
// feed alone (which goes as CR LF, as the C run-time's text mode writes it),
// or the text up to the next line feed, at most `most` bytes and never cut
// inside a character.
std::string_view next_console_piece(std::string_view text, std::size_t most) noexcept;
