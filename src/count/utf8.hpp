#pragma once

#include "encoding.hpp"

#include <cstddef>

// The shape of UTF-8 by its bytes, for the decoder and the block counter,
// and the decoder.

constexpr bool is_continuation(unsigned byte)
{
    return (byte & 0xC0U) == 0x80U;
}

// How many bytes the sequence that `lead` starts has, by that byte alone: 1
// for ASCII, 2 to 4, or 0 for a byte that starts no sequence (a continuation
// byte, C0 and C1, which only overlong forms start, and F5 to FF, past
// U+10FFFF).
constexpr std::size_t sequence_length(unsigned lead)
{
    if (lead < 0x80U) {
        return 1;
    }
    if (lead < 0xC2U || lead > 0xF4U) {
        return 0;
    }
    if (lead < 0xE0U) {
        return 2;
    }
    return lead < 0xF0U ? 3 : 4;
}

struct Decoded {
    std::size_t size; // 0: the sequence runs past the bytes there are
    char32_t code_point;
};

// The code point that starts at p[0], from the `available` bytes there. Bytes
// that begin no valid sequence are one U+FFFD for each maximal subpart, as
// the Unicode Standard replaces them (3.9): the lead and the continuation
// bytes that still fit a valid sequence, or the one byte where none fits (an
// overlong form, a surrogate, a code point past U+10FFFF, a lone
// continuation byte).
[[gnu::always_inline]] inline Decoded decode(const unsigned char* p, std::size_t available) noexcept
{
    const unsigned lead = p[0];
    if (lead < 0x80U) {
        return {1, lead};
    }
    constexpr Decoded cut_off{0, 0};
    const auto invalid = [](std::size_t subpart) {
        return Decoded{subpart, replacement_character};
    };
    const std::size_t size = sequence_length(lead);
    if (size == 0) {
        return invalid(1);
    }
    // The limits of the second byte rule out overlong forms (E0, F0),
    // surrogates (ED) and code points past U+10FFFF (F4).
    const unsigned low = lead == 0xE0U ? 0xA0U : lead == 0xF0U ? 0x90U : 0x80U;
    const unsigned high = lead == 0xEDU ? 0x9FU : lead == 0xF4U ? 0x8FU : 0xBFU;
    if (available < 2) {
        return cut_off;
    }
    const unsigned b1 = p[1];
    if (b1 < low || b1 > high) {
        return invalid(1);
    }
    if (size == 2) {
        return {2, ((lead & 0x1FU) << 6U) | (b1 & 0x3FU)};
    }
    if (available < 3) {
        return cut_off;
    }
    const unsigned b2 = p[2];
    if (!is_continuation(b2)) {
        return invalid(2);
    }
    if (size == 3) {
        return {3, ((lead & 0x0FU) << 12U) | ((b1 & 0x3FU) << 6U) | (b2 & 0x3FU)};
    }
    if (available < 4) {
        return cut_off;
    }
    const unsigned b3 = p[3];
    if (!is_continuation(b3)) {
        return invalid(3);
    }
    return {4,
            ((lead & 0x07U) << 18U) | ((b1 & 0x3FU) << 12U) | ((b2 & 0x3FU) << 6U) | (b3 & 0x3FU)};
}
