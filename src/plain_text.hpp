#pragma once

#include <cstdint>

// Plain text is UTF-8 whose clusters can be told apart without following
// the rules code point by code point: code points below U+0300 (ASCII,
// Latin-1 and Latin Extended, all of Finnish), which never join one another;
// the accents U+0300 to U+036F of decomposed text after a letter, which
// they join; common punctuation (quotes, dashes, the ellipsis, currency
// signs), which joins nothing; and the common emoji sequences (skin tones,
// families joined by zero-width joiners, flags, keycaps), judged by the
// code points before them that their rules look at. It is counted a block
// of bytes at a time, as wide a block as the processor takes.

// Code points from U+0300 on start with a byte from CC on; the line feed is
// the one below that which joins anything (a CR before it). Plain text stops
// at such bytes, and starts at no other.
inline constexpr unsigned first_lead_from_accents = 0xCCU;

struct PlainRun {
    // Where a code point that needs the rules starts, a line feed, or where
    // too few bytes are left for a block. Never inside a code point.
    const unsigned char* stop;
    std::uint64_t characters; // in [start, stop)
};

// Counts the plain text from p, which starts with a plain code point that is
// no accent, reading no byte before `begin` or from `end` on.
using PlainCounter = PlainRun (*)(const unsigned char* p, const unsigned char* begin,
                                  const unsigned char* end) noexcept;

// The widths of block that a processor may have.
enum class BlockPath : std::uint8_t {
    none,   // code point by code point, by the rules
    sse2,   // 16 bytes, on every x86-64 processor
    avx2,   // 32 bytes
    avx512, // 64 bytes (AVX-512 with its byte and word instructions)
};

// The counter of a path, or nullptr where this program or this processor
// lacks the path (and for none).
PlainCounter plain_counter(BlockPath path) noexcept;

// The path that counting takes: the widest that the processor has, unless
// use_block_path chose another (as the tests do, to check each).
PlainCounter plain_counter_in_use() noexcept;
void use_block_path(BlockPath path) noexcept;
