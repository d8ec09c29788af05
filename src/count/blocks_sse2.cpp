#include "count/blocks.hpp"
#include "count/grapheme.hpp"

#include <algorithm>
#include <initializer_list>

#if defined(__SSE2__)
#include "count/blocks_kernel.hpp"
#include "count/lanes_sse2.hpp"
#endif

namespace {

// What the blocks take from the table without looking: checked here, with
// the table, whenever they are built.

constexpr bool holds_for(char32_t first, char32_t last, auto condition)
{
    for (char32_t c = first; c <= last; ++c) {
        if (!condition(break_property(c))) {
            return false;
        }
    }
    return true;
}

// Blocks of code points below U+0300 alone need no classes.
static_assert(holds_for(0, 0x2FF,
                        [](Break b) {
                            return is_one_of(b, Break::other, Break::control, Break::cr, Break::lf,
                                             Break::extended_pictographic);
                        }),
              "a code point below U+0300 may join its neighbour");
// The emoji plane: but for the skin tones and the flag halves, a code point
// there starts a cluster of its own (but after a joiner), and in the rows
// taken as pictographs it is one.
constexpr bool other_or_pictograph(Break b)
{
    return is_one_of(b, Break::other, Break::extended_pictographic);
}
constexpr char32_t first_skin_tone_code_point = emoji_code_point(skin_tone_row, first_skin_tone);
constexpr char32_t first_flag_half =
    emoji_code_point(regional_indicator_row, first_regional_indicator);
static_assert(holds_for(0x1F000, first_flag_half - 1, other_or_pictograph) &&
                  holds_for(emoji_code_point(regional_indicator_row, 0xBF) + 1,
                            first_skin_tone_code_point - 1, other_or_pictograph) &&
                  holds_for(emoji_code_point(skin_tone_row, 0xBF) + 1, 0x1FFFF,
                            other_or_pictograph),
              "the emoji plane holds a code point that joins");
// A skin tone is an extender, in conjuncts too, which the look-back of a
// conjunct takes it for.
static_assert(holds_for(first_skin_tone_code_point, emoji_code_point(skin_tone_row, 0xBF),
                        [](Break b) { return b == Break::extend; }),
              "a skin tone is no Extend");
static_assert(holds_for(first_flag_half, emoji_code_point(regional_indicator_row, 0xBF),
                        [](Break b) { return b == Break::regional_indicator; }),
              "a flag half is no regional indicator");
static_assert(std::ranges::all_of(pictograph_rows,
                                  [](ByteRange rows) {
                                      return holds_for(emoji_code_point(rows.first, 0x80),
                                                       emoji_code_point(rows.last, 0xBF),
                                                       [](Break b) {
                                                           return b == Break::extended_pictographic;
                                                       });
                                  }),
              "a row taken as pictographs holds something else");
static_assert(break_property(0x200D) == Break::zwj && block_class(0x200D) == BlockClass::rules,
              "the joiner is not what the blocks take it for");
// What the blocks of the Latin scripts tell by their bytes alone.
constexpr bool of_class(char32_t first, char32_t last, BlockClass wanted)
{
    for (char32_t c = first; c <= last; ++c) {
        if (block_class(c) != wanted) {
            return false;
        }
    }
    return true;
}
static_assert(of_class(0x80, 0x9F, BlockClass::control) &&
                  of_class(0xAD, 0xAD, BlockClass::control) &&
                  of_class(0xA0, 0xAC, BlockClass::other) &&
                  of_class(0xAE, 0x2FF, BlockClass::other) &&
                  of_class(0x300, 0x36F, BlockClass::extender) &&
                  of_class(0xFE0F, 0xFE0F, BlockClass::extender) &&
                  of_class(0x20E3, 0x20E3, BlockClass::extender) &&
                  of_class(0x2010, 0x2027, BlockClass::other) &&
                  of_class(0x2030, 0x203B, BlockClass::other) &&
                  of_class(0x20A0, 0x20BF, BlockClass::other),
              "a code point of the Latin scripts' blocks is not of the class they take it for");

#if defined(__SSE2__)

BlockRun count_sse2(const unsigned char* p, const unsigned char* end) noexcept
{
    return blocks::count<blocks::Sse2Lanes>(p, end);
}

#endif

#if defined(PITUUS_WIDE_BLOCKS)
bool avx512() noexcept
{
    return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0;
}
#endif

BlockCounter widest() noexcept
{
    for (const BlockPath path :
         {BlockPath::avx512_vbmi, BlockPath::avx512, BlockPath::avx2, BlockPath::sse2}) {
        if (const BlockCounter counter = block_counter(path)) {
            return counter;
        }
    }
    return nullptr;
}

// Chosen on first use, not by an initialiser that calls a function: that
// would run before main in everything that links this, in no set order
// among files.
BlockCounter in_use = nullptr;
bool chosen = false;

} // namespace

#if defined(PITUUS_WIDE_BLOCKS)
BlockRun count_blocks_avx2(const unsigned char* p, const unsigned char* end) noexcept;
BlockRun count_blocks_avx512(const unsigned char* p, const unsigned char* end) noexcept;
BlockRun count_blocks_avx512_vbmi(const unsigned char* p, const unsigned char* end) noexcept;
#endif

BlockCounter block_counter(BlockPath path) noexcept
{
    switch (path) {
#if defined(__SSE2__)
    case BlockPath::sse2:
        return count_sse2;
#endif
#if defined(PITUUS_WIDE_BLOCKS)
    case BlockPath::avx2:
        return __builtin_cpu_supports("avx2") != 0 ? count_blocks_avx2 : nullptr;
    case BlockPath::avx512:
        return avx512() ? count_blocks_avx512 : nullptr;
    case BlockPath::avx512_vbmi:
        return avx512() && __builtin_cpu_supports("avx512vbmi") != 0 ? count_blocks_avx512_vbmi
                                                                     : nullptr;
#endif
    default:
        return nullptr;
    }
}

BlockCounter block_counter_in_use() noexcept
{
    if (!chosen) {
        in_use = widest();
        chosen = true;
    }
    return in_use;
}

void use_block_path(BlockPath path) noexcept
{
    in_use = block_counter(path);
    chosen = true;
}
