#pragma once

// The block counter: UTF-8 whose clusters can be told apart without
// following the rules code point by code point, counted a block of bytes at
// a time, as wide a block as the processor takes. The blocks take every code
// point below U+10000 but the few whose joins depend on more than the code
// points right before them (Prepend, Hangul jamo, the joiner of emoji
// sequences): by a class of each, from a table of its row of 64 code points
// (BlockClass), they tell what starts a character, what joins the one
// before (a mark, but after a control), and the consonants that a conjunct
// joins by the look-back of GB9c. Above U+FFFF they take the common emoji
// sequences (skin tones, families joined by zero-width joiners, flags,
// keycaps), judged by the code points before them that their rules look at.

#include "count/grapheme_table.hpp"
#include "count/utf8.hpp"

#include <array>
#include <cstddef>
#include <cstdint>

// Code points from U+0300 on start with a byte from CC on; the line feed is
// the one below that which joins anything (a CR before it). Blocks without
// such bytes need no classes.
inline constexpr unsigned first_lead_from_accents = 0xCCU;

// What the blocks tell code points of two and three bytes apart by, as
// grapheme_table.mjs numbers them.
enum class BlockClass : std::uint8_t {
    other,     // starts a character
    consonant, // starts one, but after a linker in a conjunct (GB9c)
    extender,  // joins the code point before, but a control, and keeps a conjunct open
    linker,    // ... and links the consonants of a conjunct (a virama)
    mark,      // ... and ends a conjunct (SpacingMark, ZWNJ)
    control,   // a character of its own, which nothing joins
    rules,     // for the rules: Prepend, Hangul jamo, the joiner, CR and LF
};

// The class of a code point from U+0080 to U+FFFF, by its row of 64 (the
// lead and second byte of three, or the lead of two) and its place there
// (the last byte).
constexpr BlockClass block_class(unsigned row, unsigned place)
{
    using namespace grapheme_table;
    const unsigned kind = block_rows[row];
    return static_cast<BlockClass>(
        kind < first_mixed_row
            ? kind
            : block_pair_classes[kind - first_mixed_row][((row & 1U) << 6U) | (place & 0x3FU)]);
}

constexpr BlockClass block_class(char32_t code_point)
{
    return block_class(code_point >> 6U, code_point & 0x3FU);
}

// True if the blocks may count from p on, up to `end`, when the rules' last
// code point lets no other of these join it: p starts with a code point that
// starts a character whatever comes before (but a linker), and that the
// blocks take.
inline bool blocks_may_start(const unsigned char* p, const unsigned char* end) noexcept
{
    if (*p < 0x80U) {
        return *p != '\n';
    }
    if (*p >= 0xF0U) {
        return false;
    }
    const Decoded decoded = decode(p, static_cast<std::size_t>(end - p));
    if (decoded.size == 0 || decoded.code_point == replacement_character) {
        return false;
    }
    const BlockClass start = block_class(decoded.code_point);
    return start == BlockClass::other || start == BlockClass::consonant ||
           start == BlockClass::control;
}

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

// Counts what the blocks take from p, where blocks_may_start, reading no
// byte before p or from `end` on.
using BlockCounter = BlockRun (*)(const unsigned char* p, const unsigned char* end) noexcept;

// The widths of block that a processor may have.
enum class BlockPath : std::uint8_t {
    none,        // code point by code point, by the rules
    sse2,        // 16 bytes, on every x86-64 processor
    avx2,        // 32 bytes
    avx512,      // 64 bytes (AVX-512 with its byte and word instructions)
    avx512_vbmi, // 64 bytes, their classes looked up by the byte permutes of VBMI
};

// The counter of a path, or nullptr where this program or this processor
// lacks the path (and for none).
BlockCounter block_counter(BlockPath path) noexcept;

// The path that counting takes: the widest that the processor has, unless
// use_block_path chose another (as the tests do, to check each).
BlockCounter block_counter_in_use() noexcept;
void use_block_path(BlockPath path) noexcept;
