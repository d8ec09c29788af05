#pragma once

// The block counter: UTF-8 whose clusters can be told apart without
// following the rules code point by code point, counted a block of bytes at
// a time, as wide a block as the processor takes. The blocks take code
// points below U+0300 (ASCII,
// Latin-1 and Latin Extended, all of Finnish), which never join one another;
// the accents U+0300 to U+036F of decomposed text after a letter, which
// they join; common punctuation (quotes, dashes, the ellipsis, currency
// signs), which joins nothing; and the common emoji sequences (skin tones,
// families joined by zero-width joiners, flags, keycaps), judged by the
// code points before them that their rules look at.

#include <array>
#include <cstdint>

// Code points from U+0300 on start with a byte from CC on; the line feed is
// the one below that which joins anything (a CR before it). The blocks stop
// at such bytes, and start at no other.
inline constexpr unsigned first_lead_from_accents = 0xCCU;

// The emoji plane, U+1F000 to U+1FFFF (F0 9F xx yy), in rows of 64 code
// points by the third byte, and the places in it that the blocks tell apart.
struct ByteRange {
    unsigned first;
    unsigned last;
};
// Rows of pictographs alone (Extended_Pictographic), where most emoji of ZWJ
// sequences are: U+1F340 to U+1F37F (plants, food), U+1F400 to U+1F4BF
// (animals, people, hearts), U+1F600 to U+1F63F (faces), U+1F680 to U+1F6BF
// (transport), U+1F980 to U+1F9FF and U+1FA80 to U+1FAFF (newer emoji).
// Rows that also hold other symbols go through the rules after a joiner.
inline constexpr std::array<ByteRange, 6> pictograph_rows{
    {{0x8D, 0x8D}, {0x90, 0x92}, {0x98, 0x98}, {0x9A, 0x9A}, {0xA6, 0xA7}, {0xAA, 0xAB}}};
// U+1F3C0 to U+1F3FF: the skin tones from U+1F3FB.
inline constexpr unsigned skin_tone_row = 0x8F;
inline constexpr unsigned first_skin_tone = 0xBB; // its fourth byte
// U+1F1C0 to U+1F1FF: the regional indicators from U+1F1E6.
inline constexpr unsigned regional_indicator_row = 0x87;
inline constexpr unsigned first_regional_indicator = 0xA6;

constexpr char32_t emoji_code_point(unsigned third_byte, unsigned fourth_byte)
{
    return 0x1F000U + ((third_byte & 0x3FU) << 6U) + (fourth_byte & 0x3FU);
}

struct BlockRun {
    // Where a code point that needs the rules starts, a line feed, or where
    // too few bytes are left for a block. Never inside a code point.
    const unsigned char* stop;
    std::uint64_t characters; // in [start, stop)
};

// Counts what the blocks take from p, which starts with a code point they take that is
// no accent, reading no byte before `begin` or from `end` on.
using BlockCounter = BlockRun (*)(const unsigned char* p, const unsigned char* begin,
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
BlockCounter block_counter(BlockPath path) noexcept;

// The path that counting takes: the widest that the processor has, unless
// use_block_path chose another (as the tests do, to check each).
BlockCounter block_counter_in_use() noexcept;
void use_block_path(BlockPath path) noexcept;
