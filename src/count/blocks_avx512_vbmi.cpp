// The block counter for 64 byte lanes, whose classes are looked up in the
// lanes by the byte permutes of AVX-512 VBMI. This file alone is compiled for
// them, and its one outside name is count_blocks_avx512_vbmi.

#include "count/grapheme_table.hpp"
#include "count/lanes_avx512.hpp"

namespace {

struct VbmiLanes : Avx512Lanes {
    // Sixty-four entries, looked up by the low six bits of each index byte.
    static Vector permute(Vector table, Vector index)
    {
        // (The two-table permute, given the table twice: GCC 12 warns of the
        // one-table one's undefined start value.)
        return _mm512_permutex2var_epi8(table, index, table);
    }

    // The class of each code point of two or three bytes, at its lead: its
    // row of 64 (block_rows, 1024 entries in eight parts of 128, one permute
    // each, chosen among by the bits of the part's number) and, in the rows
    // that hold several classes, its place in the row. A block of text holds
    // few of those rows, found one at a time from their first lane.
    // The three pairs of rows of mixed classes looked up last, and their
    // classes: a script's text mostly keeps to one or two (Chinese to its
    // punctuation's, U+3000 and U+FF00), emoji text to three (the joiner's,
    // the keycap's and VS16's).
    struct Pair {
        unsigned kind = grapheme_table::first_mixed_row;
        Vector low = load(grapheme_table::block_pair_classes[0].data());
        Vector high = load(&grapheme_table::block_pair_classes[0][64]);
    };
    struct Remembered {
        Pair last;
        Pair before;
        Pair earlier;
    };

    static blocks::Classes classes(Remembered& remembered, const unsigned char* p, Vector b0,
                                   Vector b1, Vector b2, Mask two, Mask three)
    {
        using namespace grapheme_table;
        // Of three bytes, the row is the low half of the lead and six bits
        // of the second, its part the lead's bits 1 to 3; of two, it is the
        // low five bits of the lead, in part 0.
        const Vector row_in_part = _mm512_mask_blend_epi8(
            three, _mm512_and_si512(b0, splat(0x1F)),
            _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(b0, splat(0x01)), 6),
                            _mm512_and_si512(b1, splat(0x3F))));
        const auto in_part = [row_in_part](std::size_t at) {
            return _mm512_permutex2var_epi8(load(&block_rows[at * 128]), row_in_part,
                                            load(&block_rows[at * 128 + 64]));
        };
        // Most blocks keep to one part for their code points of three
        // bytes (a script's letters, or punctuation): two permutes with
        // part 0's. Else all eight, chosen among by the bits of the part.
        const Vector part = _mm512_and_si512(_mm512_srli_epi16(b0, 1), splat(0x07));
        const unsigned first_part = three != 0 ? (p[__builtin_ctzll(three)] >> 1U) & 0x07U : 0;
        Vector kinds;
        if (_mm512_mask_cmpeq_epi8_mask(three, part, splat(first_part)) == three) {
            kinds = _mm512_mask_blend_epi8(three, in_part(0), in_part(first_part));
        } else {
            const auto part_bit = [three, b0](unsigned bit) {
                return _mm512_mask_test_epi8_mask(three, b0, splat(2U << bit));
            };
            const Mask bit0 = part_bit(0);
            const Mask bit1 = part_bit(1);
            const Vector low =
                _mm512_mask_blend_epi8(bit1, _mm512_mask_blend_epi8(bit0, in_part(0), in_part(1)),
                                       _mm512_mask_blend_epi8(bit0, in_part(2), in_part(3)));
            const Vector high =
                _mm512_mask_blend_epi8(bit1, _mm512_mask_blend_epi8(bit0, in_part(4), in_part(5)),
                                       _mm512_mask_blend_epi8(bit0, in_part(6), in_part(7)));
            kinds = _mm512_mask_blend_epi8(part_bit(2), low, high);
        }
        const Mask multi = two | three;
        Vector classes = kinds;
        Mask mixed = _mm512_mask_cmpge_epu8_mask(multi, kinds, splat(first_mixed_row));
        if (mixed != 0) {
            // The place in the pair of rows: the row's last bit, and the
            // six of the last byte.
            const Vector row = _mm512_mask_blend_epi8(three, b0, b1);
            const Vector last = _mm512_mask_blend_epi8(three, b1, b2);
            const Vector place =
                _mm512_or_si512(_mm512_and_si512(_mm512_slli_epi16(row, 6), splat(0x40)),
                                _mm512_and_si512(last, splat(0x3F)));
            // The remembered pairs first, with no look-up; then each other
            // pair, found from its first lane.
            const auto take = [&](const Pair& pair) {
                const Mask same = _mm512_mask_cmpeq_epi8_mask(mixed, kinds, splat(pair.kind));
                classes = _mm512_mask_mov_epi8(
                    classes, same, _mm512_permutex2var_epi8(pair.low, place, pair.high));
                mixed &= ~same;
            };
            take(remembered.last);
            take(remembered.before);
            take(remembered.earlier);
            while (mixed != 0) {
                const unsigned char* c = p + __builtin_ctzll(mixed);
                const unsigned kind =
                    block_rows[c[0] >= 0xE0U ? ((c[0] & 0x0FU) << 6U) | (c[1] & 0x3FU)
                                             : c[0] & 0x1FU];
                const auto& classes_of_pair = block_pair_classes[kind - first_mixed_row];
                remembered.earlier = remembered.before;
                remembered.before = remembered.last;
                remembered.last = {kind, load(classes_of_pair.data()), load(&classes_of_pair[64])};
                take(remembered.last);
            }
        }
        const auto of = [classes, multi](BlockClass c) {
            return _mm512_mask_cmpeq_epi8_mask(multi, classes, splat(static_cast<unsigned>(c)));
        };
        return {of(BlockClass::consonant), of(BlockClass::extender), of(BlockClass::linker),
                of(BlockClass::mark),      of(BlockClass::control),  of(BlockClass::rules)};
    }
};

} // namespace

BlockRun count_blocks_avx512_vbmi(const unsigned char* p, const unsigned char* end) noexcept
{
    return blocks::count<VbmiLanes>(p, end);
}
