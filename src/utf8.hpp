#pragma once

#include <cstddef>

// The shape of UTF-8 by its bytes, for the decoder and the block counter.

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
