#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// How the user's terminal encodes text: how its characters are counted, and
// how it spells the two letters outside ASCII that our messages use.
enum class Charset : unsigned char {
    single_byte, // one byte is one character
    utf8,        // what a person sees as one: grapheme clusters (clusters.hpp)
    multibyte,   // the C library's decoder; an undecodable byte counts one
};

// What stands in for bytes that are no UTF-8, and for a lone surrogate of
// UTF-16: U+FFFD.
inline constexpr char32_t replacement_character = 0xFFFD;

// The bytes of one letter in the terminal's encoding.
struct Spelling {
    std::array<char, 4> bytes{};
    std::size_t size = 0;

    [[nodiscard]] std::string_view view() const { return {bytes.data(), size}; }
};

// How a stream spells the two letters outside ASCII that the messages use.
struct Letters {
    Spelling a_umlaut; // ä
    Spelling o_umlaut; // ö
};

// The messages are written in the console code page 850, where ä is 0x84 and
// ö is 0x94; a terminal that uses that code page gets them byte for byte.
inline constexpr char cp850_a_umlaut = '\x84';
inline constexpr char cp850_o_umlaut = '\x94';

constexpr Spelling single_byte_spelling(char byte)
{
    Spelling spelling;
    spelling.bytes[0] = byte;
    spelling.size = 1;
    return spelling;
}

// The console of the tool's original platform: code page 850 (or 437, the
// same for these letters).
constexpr Letters code_page_850_letters()
{
    return {single_byte_spelling(cp850_a_umlaut), single_byte_spelling(cp850_o_umlaut)};
}

// A terminal that takes UTF-8.
constexpr Letters utf8_letters()
{
    Letters letters;
    letters.a_umlaut.bytes = {'\xC3', '\xA4'};
    letters.a_umlaut.size = 2;
    letters.o_umlaut.bytes = {'\xC3', '\xB6'};
    letters.o_umlaut.size = 2;
    return letters;
}
