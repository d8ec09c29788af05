#pragma once

// The block counter, written once for any width of block.
//
// Its idea: a block of n bytes holds n positions, and each position starts a
// character but those that are no start of one: the continuation bytes of a
// code point, and the code points that join the one before them (an accent,
// a skin tone, a joiner and what it joins, a flag's second half). So the
// count is one per position, less the positions that start no character,
// which the lanes mark and add up a block at a time (Lanes::MarkSums); where
// a block holds what only the rules can judge, the count stops there.
//
// `Lanes` is a
// set of byte-lane operations of one width (16 lanes with SSE2, 32 with
// AVX2, 64 with AVX-512), defined in the file that compiles the counter for
// that width. Its comparisons give a Mask of the lanes where they hold.
// Everything here is a template, so that each file's counter is its own:
// code compiled for a wider set must never stand in for what runs without it.

#include "count/blocks.hpp"
#include "count/utf8.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace blocks {

// The rows by the two halves of their third byte, for a look-up of each
// half: a byte is in a group of rows where the entries of both its halves
// have the group's bit. The rows of pictographs make a group for each high
// half they start with.
struct RowTables {
    static constexpr unsigned pictographs = 0x07; // high halves 8, 9 and A
    static constexpr unsigned skin_tones = 0x08;
    static constexpr unsigned regional_indicators = 0x10;
    std::array<std::uint8_t, 16> by_high{};
    std::array<std::uint8_t, 16> by_low{};
};

constexpr RowTables row_tables()
{
    RowTables tables;
    const auto add = [&tables](ByteRange rows, unsigned bit) {
        tables.by_high.at(rows.first >> 4U) |= static_cast<std::uint8_t>(bit);
        for (unsigned row = rows.first; row <= rows.last; ++row) {
            tables.by_low.at(row & 0x0FU) |= static_cast<std::uint8_t>(bit);
        }
    };
    for (const ByteRange rows : pictograph_rows) {
        add(rows, 1U << ((rows.first >> 4U) - 8U));
    }
    add({skin_tone_row, skin_tone_row}, RowTables::skin_tones);
    add({regional_indicator_row, regional_indicator_row}, RowTables::regional_indicators);
    return tables;
}

static_assert(std::ranges::all_of(pictograph_rows,
                                  [](ByteRange rows) {
                                      return rows.first >> 4U == rows.last >> 4U &&
                                             rows.first >= 0x80 && rows.last <= 0xAF;
                                  }),
              "a group of pictograph rows spans two high halves, or is no third byte");

template <class Lanes> struct Text {
    using Vector = typename Lanes::Vector;
    using Mask = typename Lanes::Mask;

    // The bytes that start `back` bytes before p. Nothing before `begin` is
    // read: there NULs stand in, which begin no sequence and join nothing.
    static Vector load_before(const unsigned char* p, const unsigned char* begin,
                              std::ptrdiff_t back)
    {
        if (p - begin >= back) {
            return Lanes::load(p - back);
        }
        unsigned char window[Lanes::width] = {}; // NOLINT(modernize-avoid-c-arrays)
        const std::ptrdiff_t known = p - begin;
        std::memcpy(window + back - known, p - known,
                    static_cast<std::size_t>(Lanes::width - (back - known)));
        return Lanes::load(window);
    }

    // A code point of U+1F000 to U+1FFFF, where most emoji are: F0 9F xx yy.
    static Mask emoji_plane(Vector b0, Vector b1, Vector b2, Vector b3)
    {
        return Lanes::both(Lanes::both(Lanes::is(b0, 0xF0), Lanes::is(b1, 0x9F)),
                           Lanes::both(Lanes::continuation(b2), Lanes::continuation(b3)));
    }

    // Of those, the rows that the blocks tell apart by the third byte.
    struct Rows {
        Mask pictographs;
        Mask skin_tone_row;
        Mask regional_indicators;
    };

    static Rows rows(Vector b2)
    {
        if constexpr (requires { Lanes::lookup(b2, b2); }) {
            constexpr RowTables tables = row_tables();
            const Vector groups = Lanes::common_bits(
                Lanes::lookup(Lanes::table(tables.by_high), Lanes::high_half(b2)),
                Lanes::lookup(Lanes::table(tables.by_low), Lanes::low_half(b2)));
            return {Lanes::has_bits(groups, RowTables::pictographs),
                    Lanes::has_bits(groups, RowTables::skin_tones),
                    Lanes::has_bits(groups, RowTables::regional_indicators)};
        } else {
            Mask pictographs = Lanes::none();
            for (const ByteRange row : pictograph_rows) {
                pictographs = Lanes::either(pictographs, Lanes::within(b2, row.first, row.last));
            }
            return {pictographs, Lanes::is(b2, skin_tone_row),
                    Lanes::is(b2, regional_indicator_row)};
        }
    }

    static Mask three_bytes(Vector b0, Vector b1, Vector b2, unsigned x0, unsigned x1, unsigned x2)
    {
        return Lanes::both(Lanes::both(Lanes::is(b0, x0), Lanes::is(b1, x1)), Lanes::is(b2, x2));
    }

    // The punctuation of three bytes that joins nothing: E2 80 90 to A7
    // (U+2010 to U+2027: dashes, quotes, the bullet, the ellipsis), E2 80 B0
    // to BB (U+2030 to U+203B: per mille, primes, single guillemets) and E2
    // 82 A0 to BF (U+20A0 to U+20BF: the euro and the other currency signs).
    static Mask punctuation(Vector b0, Vector b1, Vector b2)
    {
        const Mask general =
            Lanes::both(Lanes::is(b1, 0x80), Lanes::either(Lanes::within(b2, 0x90, 0xA7),
                                                           Lanes::within(b2, 0xB0, 0xBB)));
        const Mask currency = Lanes::both(Lanes::is(b1, 0x82), Lanes::within(b2, 0xA0, 0xBF));
        return Lanes::both(Lanes::is(b0, 0xE2), Lanes::either(general, currency));
    }
};

// What a judged block leaves for the next: where its emoji classes were,
// a bit a lane, for the rules that look back at the code points before.
struct EmojiLanes {
    std::uint64_t emoji_plane = 0;
    std::uint64_t flags = 0;
    std::uint64_t pictographs = 0; // surely pictographic
    std::uint64_t joiners = 0;
    std::uint64_t vs16 = 0;
};

// Judges one block whose bytes the quick test cannot: a lead from CC on or a
// line feed. Adds the positions that are no character (the second to fourth
// bytes of sequences, and the code points that join the one before) to
// `not_characters` and `more_not_characters`, and returns the lane where a
// code point that needs the rules starts, if any (-1): then only the
// positions before it are added.
template <class Lanes>
[[gnu::always_inline]] inline int
judge(const unsigned char* p, const unsigned char* begin, typename Lanes::MarkSums& not_characters,
      std::uint64_t& more_not_characters, EmojiLanes& emoji) noexcept
{
    using T = Text<Lanes>;
    using Vector = typename Lanes::Vector;
    using Mask = typename Lanes::Mask;
    const Vector b0 = Lanes::load(p);
    const Vector b1 = Lanes::load(p + 1);
    const Vector b2 = Lanes::load(p + 2);
    const Mask second = Lanes::continuation(b1);
    const Mask one_tail = Lanes::both(Lanes::within(b0, 0xC2, 0xDF), second);
    const Mask punctuation = T::punctuation(b0, b1, b2);
    Mask needs_rules = Lanes::but_not(
        Lanes::either(Lanes::at_least(b0, first_lead_from_accents), Lanes::is(b0, '\n')),
        punctuation);
    // After a printable ASCII character, or a code point of U+00C0 to U+037F
    // (a letter or another accent), a mark joins: GB9.
    const auto after_letter = [&] {
        const Vector m1 = T::load_before(p, begin, 1);
        const Vector m2 = T::load_before(p, begin, 2);
        return Lanes::either(Lanes::within(m1, 0x20, 0x7E),
                             Lanes::both(Lanes::continuation(m1), Lanes::within(m2, 0xC3, 0xCD)));
    };
    Mask accents = Lanes::none();
    const Mask accent_lead = Lanes::within(b0, 0xCC, 0xCD);
    const bool has_accents = Lanes::any(accent_lead);
    if (has_accents) {
        // An accent U+0300 to U+036F: CC or CD and a second byte, but not
        // CD B0 to BF (U+0370 on).
        const Mask past_accents = Lanes::both(Lanes::is(b0, 0xCD), Lanes::at_least(b1, 0xB0));
        accents = Lanes::both(Lanes::but_not(Lanes::both(accent_lead, second), past_accents),
                              after_letter());
        needs_rules = Lanes::but_not(needs_rules, accents);
    }
    // Emoji, a bit a lane: each class by its own bytes, and what their rules
    // look at before them by the bits of the lanes before, the last block's
    // included.
    std::uint64_t rules = Lanes::bits(needs_rules);
    std::uint64_t three_tails = 0;
    std::uint64_t three_joins = 0;
    std::uint64_t four_joins = 0;
    const EmojiLanes before = emoji;
    emoji = {};
    if (rules != 0) {
        const Vector b3 = Lanes::load(p + 3);
        const Vector b4 = Lanes::load(p + 4);
        const Mask four = T::emoji_plane(b0, b1, b2, b3);
        const Mask zwj = T::three_bytes(b0, b1, b2, 0xE2, 0x80, 0x8D);
        const Mask vs16 = T::three_bytes(b0, b1, b2, 0xEF, 0xB8, 0x8F);
        const typename T::Rows rows = T::rows(b2);
        // Past U+1F3FA the skin tones, from U+1F1E6 the regional indicators.
        const Mask skin_tones =
            Lanes::both(rows.skin_tone_row, Lanes::at_least(b3, first_skin_tone));
        emoji.emoji_plane = Lanes::bits(four);
        emoji.flags = Lanes::bits(
            Lanes::both(four, Lanes::both(rows.regional_indicators,
                                          Lanes::at_least(b3, first_regional_indicator))));
        emoji.pictographs = Lanes::bits(Lanes::both(four, rows.pictographs));
        emoji.joiners = Lanes::bits(zwj);
        emoji.vs16 = Lanes::bits(vs16);
        const std::uint64_t skin = Lanes::bits(Lanes::both(four, skin_tones));
        // A joiner is taken here only before a code point of the emoji plane,
        // which the block then judges too: before anything else (a © or a ®
        // of two bytes, which would join it) the rules take it.
        const std::uint64_t marks = Lanes::bits(
            Lanes::either(Lanes::either(vs16, T::three_bytes(b0, b1, b2, 0xE2, 0x83, 0xA3)),
                          Lanes::both(zwj, Lanes::both(Lanes::is(b3, 0xF0), Lanes::is(b4, 0x9F)))));
        // Bits past the block's lanes are left in: each is only ever taken
        // together with a class of this block's own lanes.
        constexpr int width = Lanes::width;
        const auto back = [](std::uint64_t now, std::uint64_t last_block, int lanes) {
            return (now << lanes) | (last_block >> (width - lanes));
        };
        const std::uint64_t before_four = back(emoji.emoji_plane, before.emoji_plane, 4);
        const std::uint64_t before_zwj = back(emoji.joiners, before.joiners, 3);
        // The code point before: four bytes of the emoji plane, a joiner,
        // VS16, or one of those an accent joins: no control. GB9: an Extend
        // or a ZWJ joins what comes before, but a control.
        const std::uint64_t no_control_before = Lanes::bits(after_letter()) | before_four |
                                                before_zwj | back(emoji.vs16, before.vs16, 3);
        // GB11: a pictograph joins a joiner that follows a pictograph.
        const std::uint64_t pictograph = emoji.emoji_plane & ~skin & ~emoji.flags;
        const std::uint64_t joined_pictograph =
            emoji.pictographs & before_zwj & back(emoji.pictographs, before.pictographs, 7);
        const std::uint64_t lone_pictograph = pictograph & ~before_zwj;
        // GB12, GB13: a flag's second half joins its first, found by the one
        // before that being no regional indicator.
        const std::uint64_t flag_before = back(emoji.flags, before.flags, 4);
        const std::uint64_t first_half = emoji.flags & ~flag_before;
        const std::uint64_t second_half =
            emoji.flags & flag_before & ~back(emoji.flags, before.flags, 8);
        four_joins = (skin & no_control_before) | joined_pictograph | second_half;
        three_tails = four_joins | lone_pictograph | first_half;
        three_joins = marks & no_control_before;
        rules &= ~(three_tails | three_joins);
    }
    if (rules == 0) {
        not_characters.add(one_tail);
        not_characters.add(punctuation);
        not_characters.add(punctuation);
        if (has_accents) {
            not_characters.add(accents);
        }
        more_not_characters += 3 * Lanes::count(three_tails) + 3 * Lanes::count(three_joins) +
                               Lanes::count(four_joins);
        return -1;
    }
    // Only the positions before it count here.
    const int lane = __builtin_ctzll(rules);
    const std::uint64_t earlier = (std::uint64_t{1} << lane) - 1;
    more_not_characters +=
        Lanes::count(Lanes::bits(one_tail) & earlier) +
        2 * Lanes::count(Lanes::bits(punctuation) & earlier) +
        Lanes::count(Lanes::bits(accents) & earlier) + 3 * Lanes::count(three_tails & earlier) +
        3 * Lanes::count(three_joins & earlier) + Lanes::count(four_joins & earlier);
    return lane;
}

// The bytes from p on that belong to a code point whose lead, before p, the
// last block took whole: its second to fourth bytes, as far as they go past p.
template <class Lanes>
std::ptrdiff_t tail_beyond(const unsigned char* p, const unsigned char* start) noexcept
{
    for (std::ptrdiff_t back = 1; back <= 3 && back <= p - start; ++back) {
        const unsigned lead = p[-back];
        if (!is_continuation(lead)) {
            // A lead of two bytes counts its second only where that is a
            // continuation byte; one of three or four was taken only whole.
            auto size = static_cast<std::ptrdiff_t>(sequence_length(lead));
            if (size == 2 && !is_continuation(p[1 - back])) {
                size = 1;
            }
            return std::max<std::ptrdiff_t>(size - back, 0);
        }
    }
    return 0;
}

// A short run, as between the emoji of a chat message: it ends within the
// next two blocks at a lead from CC on (or a line feed) that is no accent,
// punctuation or emoji, which the full count judges. Its end and
// characters, or a null stop where the run goes on or ends at such a mark.
template <class Lanes>
[[gnu::always_inline]] inline BlockRun short_run(const unsigned char* p,
                                                 const unsigned char* end) noexcept
{
    using Vector = typename Lanes::Vector;
    using Mask = typename Lanes::Mask;
    constexpr int block = Lanes::width;
    if (end - p < 2 * block + 1) {
        return {};
    }
    typename Lanes::MarkSums not_characters;
    for (const int at : {0, block}) {
        const Vector b0 = Lanes::load(p + at);
        // Before the first lead from CC on, from C2 on is a lead of two bytes.
        const Mask tails =
            Lanes::both(Lanes::at_least(b0, 0xC2), Lanes::continuation(Lanes::load(p + at + 1)));
        const Mask high =
            Lanes::either(Lanes::at_least(b0, first_lead_from_accents), Lanes::is(b0, '\n'));
        if (!Lanes::any(high)) {
            not_characters.add(tails);
            continue;
        }
        const int lane = Lanes::first(high);
        const unsigned byte = p[at + lane];
        if (byte == 0xCC || byte == 0xCD || byte == 0xE2 || byte == 0xEF || byte == 0xF0) {
            break;
        }
        const std::uint64_t earlier = (std::uint64_t{1} << lane) - 1;
        return {p + at + lane, static_cast<std::uint64_t>(at + lane) - not_characters.take() -
                                   Lanes::count(Lanes::bits(tails) & earlier)};
    }
    return {};
}

template <class Lanes>
BlockRun count(const unsigned char* p, const unsigned char* begin,
               const unsigned char* end) noexcept
{
    using Vector = typename Lanes::Vector;
    using Mask = typename Lanes::Mask;
    constexpr std::ptrdiff_t block = Lanes::width;
    // Each round adds at most 2 to a lane of the counter for each of its two
    // blocks (the tails of a punctuation mark, or an accent's tail and join),
    // so 63 rounds fit in a byte.
    constexpr int rounds_per_sum = 63;

    const unsigned char* const start = p;
    std::uint64_t counted = 0; // one per position, less what the counters hold
    typename Lanes::MarkSums not_characters;
    std::uint64_t more = 0;
    EmojiLanes emoji;
    int rounds = 0;
    // Two blocks a round, each judged with the four bytes after it (the
    // rest of a sequence, and what follows a joiner) and, where marks and
    // emoji may be, the bytes before it that their rules look at.
    while (end - p >= 2 * block + 4) {
        const Vector a = Lanes::load(p);
        const Vector b = Lanes::load(p + block);
        // Nothing from CC on and no line feed: only code points below
        // U+0300, of one or two bytes.
        const Mask quick_a =
            Lanes::either(Lanes::at_least(a, first_lead_from_accents), Lanes::is(a, '\n'));
        const Mask quick_b =
            Lanes::either(Lanes::at_least(b, first_lead_from_accents), Lanes::is(b, '\n'));
        if (!Lanes::any(Lanes::either(quick_a, quick_b))) {
            // From C2 on is a lead of two bytes here.
            not_characters.add(
                Lanes::both(Lanes::at_least(a, 0xC2), Lanes::continuation(Lanes::load(p + 1))));
            not_characters.add(Lanes::both(Lanes::at_least(b, 0xC2),
                                           Lanes::continuation(Lanes::load(p + block + 1))));
            emoji = {};
        } else {
            for (const std::ptrdiff_t at : {std::ptrdiff_t{0}, block}) {
                const int rules_at = judge<Lanes>(p + at, begin, not_characters, more, emoji);
                if (rules_at >= 0) {
                    counted += static_cast<std::uint64_t>(at + rules_at);
                    return {p + at + rules_at, counted - not_characters.take() - more};
                }
            }
        }
        counted += 2 * block;
        p += 2 * block;
        if (++rounds == rounds_per_sum) {
            counted -= not_characters.take();
            rounds = 0;
        }
    }
    counted -= not_characters.take() + more;
    // The last block may have ended inside a code point that it took: the
    // rest is taken here, so that the rules go on at the start of the next.
    const std::ptrdiff_t rest = tail_beyond<Lanes>(p, start);
    return {p + rest, counted + static_cast<std::uint64_t>(rest)};
}

} // namespace blocks
