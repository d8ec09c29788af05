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
#include <optional>

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

// The same groups by the third byte alone, for a permute of 64 entries by
// its low six bits: a bit for the pictographs, the skin tones and the
// regional indicators.
struct RowGroups {
    static constexpr unsigned pictographs = 0x01;
    static constexpr unsigned skin_tones = 0x02;
    static constexpr unsigned regional_indicators = 0x04;
};

constexpr std::array<std::uint8_t, 64> row_groups()
{
    std::array<std::uint8_t, 64> groups{};
    for (const ByteRange rows : pictograph_rows) {
        for (unsigned row = rows.first; row <= rows.last; ++row) {
            groups.at(row & 0x3FU) |= RowGroups::pictographs;
        }
    }
    groups.at(skin_tone_row & 0x3FU) |= RowGroups::skin_tones;
    groups.at(regional_indicator_row & 0x3FU) |= RowGroups::regional_indicators;
    return groups;
}

static_assert(std::ranges::all_of(pictograph_rows,
                                  [](ByteRange rows) {
                                      return rows.first >> 4U == rows.last >> 4U &&
                                             rows.first >= 0x80 && rows.last <= 0xAF;
                                  }),
              "a group of pictograph rows spans two high halves, or is no third byte");

// The code points of two and three bytes in a block, a bit a lane at their
// leads, by their BlockClass (but `other`).
struct Classes {
    std::uint64_t consonants = 0;
    std::uint64_t extenders = 0;
    std::uint64_t linkers = 0;
    std::uint64_t marks = 0;
    std::uint64_t controls = 0;
    std::uint64_t rules = 0;
};

template <class Lanes> struct Text {
    using Vector = typename Lanes::Vector;
    using Mask = typename Lanes::Mask;

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
        if constexpr (requires { Lanes::permute(b2, b2); }) {
            static constexpr std::array<std::uint8_t, 64> groups_by_row = row_groups();
            const Vector groups = Lanes::permute(Lanes::load(groups_by_row.data()), b2);
            return {Lanes::has_bits(groups, RowGroups::pictographs),
                    Lanes::has_bits(groups, RowGroups::skin_tones),
                    Lanes::has_bits(groups, RowGroups::regional_indicators)};
        } else if constexpr (requires { Lanes::lookup(b2, b2); }) {
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

    // A block of the Latin scripts, told by its bytes without a look-up:
    // text below U+0300 (its controls U+0080 to U+009F and the soft hyphen),
    // the accents U+0300 to U+036F, typeset punctuation, what emoji are
    // written with (the joiner, VS16, the keycap) and code points of four
    // bytes, which the judge takes apart. Its code points of two and three
    // bytes and their classes, as the judge wants them, but the controls,
    // which the judge looks for only where one may be near; else none. Those
    // of three bytes are all whole: they match whole byte strings.
    struct Latin {
        std::uint64_t two = 0;
        std::uint64_t three = 0;
        Classes classes;
    };

    // `accents` and `punctuation` are the block's, as accents() and
    // punctuation() give them, the accents whole.
    static std::optional<Latin> latin(Vector b0, Vector b1, Vector b2, Mask accents,
                                      Mask punctuation)
    {
        const Mask joiners = three_bytes(b0, b1, b2, 0xE2, 0x80, 0x8D);
        const Mask emoji_marks = Lanes::either(three_bytes(b0, b1, b2, 0xEF, 0xB8, 0x8F),
                                               three_bytes(b0, b1, b2, 0xE2, 0x83, 0xA3));
        const Mask three = Lanes::either(Lanes::either(punctuation, joiners), emoji_marks);
        if (Lanes::any(
                Lanes::but_not(Lanes::within(b0, 0xCC, 0xEF), Lanes::either(accents, three)))) {
            return std::nullopt;
        }
        Latin latin;
        latin.two =
            Lanes::bits(Lanes::both(Lanes::within(b0, 0xC2, 0xDF), Lanes::continuation(b1)));
        latin.three = Lanes::bits(three);
        latin.classes.extenders = Lanes::bits(Lanes::either(accents, emoji_marks));
        latin.classes.rules = Lanes::bits(joiners);
        return latin;
    }

    // The accents U+0300 to U+036F, by their leads: CC or CD, but not CD B0
    // to BF (U+0370 on). Their second bytes are for the caller to check.
    static Mask accents(Vector b0, Vector b1)
    {
        return Lanes::either(Lanes::is(b0, 0xCC),
                             Lanes::but_not(Lanes::is(b0, 0xCD), Lanes::at_least(b1, 0xB0)));
    }

    static Mask ascii_controls(Vector b0)
    {
        return Lanes::either(Lanes::within(b0, 0x00, 0x1F), Lanes::is(b0, 0x7F));
    }

    // U+0080 to U+009F and the soft hyphen U+00AD.
    static Mask c1_controls(Vector b0, Vector b1)
    {
        return Lanes::both(Lanes::is(b0, 0xC2),
                           Lanes::either(Lanes::within(b1, 0x80, 0x9F), Lanes::is(b1, 0xAD)));
    }

    // The punctuation of three bytes that prose is typeset with, which
    // starts a character and is no control: E2 80 90 to A7 (U+2010 to
    // U+2027: dashes, quotes, the bullet, the ellipsis), E2 80 B0 to BB
    // (U+2030 to U+203B: per mille, primes, single guillemets) and E2 82 A0
    // to BF (U+20A0 to U+20BF: the euro and the other currency signs). A
    // block of text below U+0300 and these needs no classes either.
    static Mask punctuation(Vector b0, Vector b1, Vector b2)
    {
        const Mask general =
            Lanes::both(Lanes::is(b1, 0x80), Lanes::either(Lanes::within(b2, 0x90, 0xA7),
                                                           Lanes::within(b2, 0xB0, 0xBB)));
        const Mask currency = Lanes::both(Lanes::is(b1, 0x82), Lanes::within(b2, 0xA0, 0xBF));
        return Lanes::both(Lanes::is(b0, 0xE2), Lanes::either(general, currency));
    }
};

// The classes looked up a code point at a time, where the lanes cannot.
inline Classes classes_of_each(const unsigned char* p, std::uint64_t leads) noexcept
{
    std::array<std::uint64_t, 8> by_class{};
    for (; leads != 0; leads &= leads - 1) {
        const auto lane = static_cast<unsigned>(__builtin_ctzll(leads));
        const unsigned char* c = p + lane;
        const bool three = c[0] >= 0xE0U;
        const unsigned row = three ? ((c[0] & 0x0FU) << 6U) | (c[1] & 0x3FU) : c[0] & 0x1FU;
        by_class[static_cast<unsigned>(block_class(row, three ? c[2] : c[1]))] |= std::uint64_t{1}
                                                                                  << lane;
    }
    const auto of = [&by_class](BlockClass c) { return by_class[static_cast<unsigned>(c)]; };
    return {of(BlockClass::consonant), of(BlockClass::extender), of(BlockClass::linker),
            of(BlockClass::mark),      of(BlockClass::control),  of(BlockClass::rules)};
}

// What a judged block leaves for the next, a bit a lane at the leads, for
// the rules that look back at the code points before.
struct Behind {
    std::uint64_t ascii_controls = 0;
    std::uint64_t two_byte_controls = 0;
    std::uint64_t three_byte_controls = 0;
    std::uint64_t consonants = 0;         // of three bytes, as all that the blocks take are
    std::uint64_t in_conjuncts = 0;       // extenders and linkers of three bytes
    std::uint64_t linkers = 0;            // of three bytes
    std::uint64_t two_byte_extenders = 0; // and skin tones: conjuncts the look-back leaves alone
    std::uint64_t skin_tones = 0;
    std::uint64_t emoji_plane = 0;
    std::uint64_t flags = 0;
    std::uint64_t pictographs = 0; // surely pictographic
    std::uint64_t joiners = 0;
};

// What a width's look-up of classes keeps from one block to the next, where
// it keeps anything (Lanes::Remembered).
struct NothingRemembered {};
template <class Lanes> struct RememberedOf {
    using type = NothingRemembered;
};
template <class Lanes>
requires requires
{
    typename Lanes::Remembered;
}
struct RememberedOf<Lanes> {
    using type = typename Lanes::Remembered;
};

// After a block of code points below U+0300 alone, which no class but a
// control's looks back at: whether a control of two bytes ends it, or starts
// in its last lane (ASCII ones, too, stand before the next block).
template <class Lanes> Behind behind_plain_block(const unsigned char* p) noexcept
{
    constexpr int last = Lanes::width - 1;
    const auto two_byte_control = [](unsigned lead, unsigned second) {
        return lead >= 0xC2U && lead <= 0xDFU && is_continuation(second) &&
               block_class(lead & 0x1FU, second) == BlockClass::control;
    };
    Behind behind;
    const unsigned byte = p[-1];
    if (byte < 0x20U || byte == 0x7FU) {
        behind.ascii_controls = std::uint64_t{1} << last;
    } else if (two_byte_control(byte, p[0])) {
        behind.two_byte_controls = std::uint64_t{1} << last;
    } else if (two_byte_control(p[-2], byte)) {
        behind.two_byte_controls = std::uint64_t{1} << (last - 1);
    }
    return behind;
}

// The bits of a class `lanes` lanes before each lane of a block of `width`
// lanes, those of the block before included. Bits past the block's lanes are
// left in: each is only ever taken together with a class of the block's own.
template <int width>
std::uint64_t back(const Behind& now, const Behind& before, std::uint64_t Behind::*lanes_of,
                   int lanes) noexcept
{
    return (now.*lanes_of << lanes) | (before.*lanes_of >> (width - lanes));
}

// The lanes whose code point before is a control, of one, two or three
// bytes: GB9 joins an extender or a mark to anything but a control.
template <int width> std::uint64_t after_control(const Behind& now, const Behind& before) noexcept
{
    return back<width>(now, before, &Behind::ascii_controls, 1) |
           back<width>(now, before, &Behind::two_byte_controls, 2) |
           back<width>(now, before, &Behind::three_byte_controls, 3);
}

// Whether a code point of a block may follow a control. It may not where
// the block holds no byte below 20, no 7F and no C2 (the lead of U+0080 to
// U+00BF), and the block before no control, as in most text: then the count
// needs no look-back for GB9's exception.
template <class Lanes>
bool near_controls(typename Lanes::Vector b0, typename Lanes::Mask ascii_controls,
                   const Behind& before) noexcept
{
    return Lanes::any(Lanes::either(ascii_controls, Lanes::is(b0, 0xC2))) ||
           (before.ascii_controls | before.two_byte_controls | before.three_byte_controls) != 0;
}

// Takes a block of decomposed Latin text, where all beyond text below U+0300
// and typeset punctuation is `accents` (U+0300 to U+036F, whole): each joins
// the code point before it (GB9), so the block needs no classes, unless one
// follows a control. Then it is left, and false returned; else its accents
// are added to `not_characters`, and `behind` left for the next block.
template <class Lanes>
[[gnu::always_inline]] inline bool
take_accented(typename Lanes::Vector b0, typename Lanes::Vector b1, typename Lanes::Mask accents,
              std::uint64_t& not_characters, Behind& behind) noexcept
{
    using T = Text<Lanes>;
    Behind now;
    now.two_byte_extenders = Lanes::bits(accents);
    const typename Lanes::Mask ascii_controls = T::ascii_controls(b0);
    if (near_controls<Lanes>(b0, ascii_controls, behind)) {
        now.ascii_controls = Lanes::bits(ascii_controls);
        now.two_byte_controls = Lanes::bits(T::c1_controls(b0, b1));
        if ((now.two_byte_extenders & after_control<Lanes::width>(now, behind)) != 0) {
            return false;
        }
    }
    behind = now;
    not_characters += Lanes::count(now.two_byte_extenders);
    return true;
}

// How many code points of three bytes a conjunct's look-back follows at most
// from a consonant (a linker and extenders): past that, the rules judge.
inline constexpr int conjunct_look_back = 4;

// Judges one block by the code points of two and three bytes in it and
// their classes: as judge() says. `by_bytes` says they are a Latin block's,
// which holds no consonant and no linker: its count, compiled apart, skips
// the conjunct's look-back. `controls` is false where neither this block
// nor the one before holds a control, as in most text: then nothing follows
// one, and that count, compiled apart too, skips GB9's look-back. `bad_three`
// are the leads of three bytes that are no code point of three bytes.
template <class Lanes, bool by_bytes, bool controls = true>
[[gnu::always_inline]] inline int
judge_classes(const unsigned char* p, typename Lanes::Vector b0, typename Lanes::Vector b1,
              typename Lanes::Vector b2, std::uint64_t two, std::uint64_t three,
              std::uint64_t bad_three, std::uint64_t ascii_controls, const Classes& classes,
              std::uint64_t& not_characters, Behind& behind) noexcept
{
    using T = Text<Lanes>;
    using Vector = typename Lanes::Vector;
    using Mask = typename Lanes::Mask;
    constexpr int width = Lanes::width;
    const std::uint64_t multi = two | three;
    const Behind before = behind;
    behind = {};
    if constexpr (controls) {
        behind.ascii_controls = ascii_controls;
        behind.two_byte_controls = classes.controls & two;
        behind.three_byte_controls = classes.controls & three;
    }
    behind.consonants = classes.consonants & three;
    behind.linkers = classes.linkers & three;
    behind.in_conjuncts = (classes.extenders | classes.linkers) & three;
    behind.two_byte_extenders = (classes.extenders | classes.linkers) & two;
    const auto back = [&before, &now = behind](std::uint64_t Behind::*lanes_of, int lanes) {
        return blocks::back<width>(now, before, lanes_of, lanes);
    };
    const std::uint64_t after_control =
        controls ? blocks::after_control<width>(behind, before) : std::uint64_t{0};
    std::uint64_t rules =
        classes.rules | Lanes::bits(Lanes::either(Lanes::is(b0, '\n'), Lanes::at_least(b0, 0xF0))) |
        bad_three;
    std::uint64_t tails = Lanes::count(two) + 2 * Lanes::count(three);
    std::uint64_t joins =
        (classes.extenders | classes.linkers | classes.marks) & multi & ~after_control;
    std::uint64_t four_tails = 0;
    if (rules != 0) {
        // Emoji, a bit a lane: each class by its own bytes, and what their
        // rules look at before them by the bits of the lanes before.
        const Vector b3 = Lanes::load(p + 3);
        const Vector b4 = Lanes::load(p + 4);
        const Mask four = T::emoji_plane(b0, b1, b2, b3);
        const typename T::Rows rows = T::rows(b2);
        // Past U+1F3FA the skin tones, from U+1F1E6 the regional indicators.
        const Mask skin_tones =
            Lanes::both(rows.skin_tone_row, Lanes::at_least(b3, first_skin_tone));
        behind.emoji_plane = Lanes::bits(four);
        behind.flags = Lanes::bits(
            Lanes::both(four, Lanes::both(rows.regional_indicators,
                                          Lanes::at_least(b3, first_regional_indicator))));
        behind.pictographs = Lanes::bits(Lanes::both(four, rows.pictographs));
        behind.joiners = Lanes::bits(T::three_bytes(b0, b1, b2, 0xE2, 0x80, 0x8D));
        behind.skin_tones = Lanes::bits(Lanes::both(four, skin_tones));
        // A joiner is taken here only before a code point of the emoji plane,
        // which the block then judges too: before anything else (a © or a ®
        // of two bytes, which would join it) the rules take it.
        const std::uint64_t joiners =
            behind.joiners & Lanes::bits(Lanes::both(Lanes::is(b3, 0xF0), Lanes::is(b4, 0x9F))) &
            ~after_control;
        const std::uint64_t before_zwj = back(&Behind::joiners, 3);
        // GB11: a pictograph joins a joiner that follows a pictograph.
        const std::uint64_t pictograph = behind.emoji_plane & ~behind.skin_tones & ~behind.flags;
        const std::uint64_t joined_pictograph =
            behind.pictographs & before_zwj & back(&Behind::pictographs, 7);
        const std::uint64_t lone_pictograph = pictograph & ~before_zwj;
        // GB12, GB13: a flag's second half joins its first, found by the one
        // before that being no regional indicator.
        const std::uint64_t flag_before = back(&Behind::flags, 4);
        const std::uint64_t first_half = behind.flags & ~flag_before;
        const std::uint64_t second_half = behind.flags & flag_before & ~back(&Behind::flags, 8);
        const std::uint64_t four_joins =
            (behind.skin_tones & ~after_control) | joined_pictograph | second_half;
        four_tails = four_joins | lone_pictograph | first_half;
        joins |= four_joins | joiners;
        rules &= ~(four_tails | joiners);
    }
    // GB9c: a consonant joins a conjunct whose linker comes after its
    // consonant, extenders aside: followed back over code points of three
    // bytes, the consonant's class, an extender's or a linker's each three
    // lanes before the last, for as long as any consonant's chain goes on.
    // Where an extender of two or four bytes stands among them, or they go
    // on longer, the rules judge.
    if (!by_bytes && behind.consonants != 0) {
        std::uint64_t chain = behind.consonants;
        std::uint64_t linked = 0;
        std::uint64_t joined = 0;
        std::uint64_t unsure = 0;
        for (int back_to = 3;; back_to += 3) {
            unsure |= chain & (back(&Behind::two_byte_extenders, back_to - 1) |
                               back(&Behind::skin_tones, back_to + 1));
            joined |= chain & linked & back(&Behind::consonants, back_to);
            linked |= back(&Behind::linkers, back_to);
            chain &= back(&Behind::in_conjuncts, back_to);
            if (chain == 0 || back_to == 3 * conjunct_look_back) {
                break;
            }
        }
        joins |= joined;
        rules |= (unsure | chain) & ~joined;
    }
    if (rules == 0) {
        not_characters += tails + Lanes::count(joins) + 3 * Lanes::count(four_tails);
        return -1;
    }
    // Only the positions before it count here.
    const int lane = __builtin_ctzll(rules);
    const std::uint64_t earlier = (std::uint64_t{1} << lane) - 1;
    not_characters += Lanes::count(two & earlier) + 2 * Lanes::count(three & earlier) +
                      Lanes::count(joins & earlier) + 3 * Lanes::count(four_tails & earlier);
    return lane;
}

// Judges one block whose bytes the quick test cannot: a lead from CC on or a
// line feed. Adds the positions that are no character (the second to fourth
// bytes of sequences, and the code points that join the one before them) to
// `not_characters`, and returns the lane where a code point that needs the
// rules starts, if any (-1): then only the positions before it are added.
// `accents` and `punctuation` are the block's, which the caller found.
template <class Lanes>
[[gnu::always_inline]] inline int
judge(const unsigned char* p, typename Lanes::Vector b0, typename Lanes::Vector b1,
      typename Lanes::Mask accents, typename Lanes::Mask punctuation, std::uint64_t& not_characters,
      Behind& behind, typename RememberedOf<Lanes>::type& remembered) noexcept
{
    using T = Text<Lanes>;
    using Vector = typename Lanes::Vector;
    using Mask = typename Lanes::Mask;
    const Vector b2 = Lanes::load(p + 2);
    const Mask ascii_controls = T::ascii_controls(b0);
    if (auto latin = T::latin(b0, b1, b2, accents, punctuation)) {
        if (!near_controls<Lanes>(b0, ascii_controls, behind)) {
            return judge_classes<Lanes, true, false>(p, b0, b1, b2, latin->two, latin->three, 0, 0,
                                                     latin->classes, not_characters, behind);
        }
        latin->classes.controls = Lanes::bits(T::c1_controls(b0, b1));
        return judge_classes<Lanes, true>(p, b0, b1, b2, latin->two, latin->three, 0,
                                          Lanes::bits(ascii_controls), latin->classes,
                                          not_characters, behind);
    }
    const Mask second = Lanes::continuation(b1);
    const Mask two_bytes = Lanes::both(Lanes::within(b0, 0xC2, 0xDF), second);
    // Three bytes, well formed: no overlong form (E0 80 to 9F) and no
    // surrogate (ED A0 to BF).
    const Mask three_lead = Lanes::within(b0, 0xE0, 0xEF);
    const Mask three_bytes = Lanes::but_not(
        Lanes::both(Lanes::both(three_lead, second), Lanes::continuation(b2)),
        Lanes::either(Lanes::both(Lanes::is(b0, 0xE0), Lanes::within(b1, 0x80, 0x9F)),
                      Lanes::both(Lanes::is(b0, 0xED), Lanes::within(b1, 0xA0, 0xBF))));
    const std::uint64_t two = Lanes::bits(two_bytes);
    const std::uint64_t three = Lanes::bits(three_bytes);
    Classes classes;
    if constexpr (requires { Lanes::classes(remembered, p, b0, b1, b2, two_bytes, three_bytes); }) {
        classes = Lanes::classes(remembered, p, b0, b1, b2, two_bytes, three_bytes);
    } else {
        classes = classes_of_each(p, two | three);
    }
    return judge_classes<Lanes, false>(p, b0, b1, b2, two, three, Lanes::bits(three_lead) & ~three,
                                       Lanes::bits(ascii_controls), classes, not_characters,
                                       behind);
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

template <class Lanes> BlockRun count(const unsigned char* p, const unsigned char* end) noexcept
{
    using T = Text<Lanes>;
    using Mask = typename Lanes::Mask;
    constexpr std::ptrdiff_t block = Lanes::width;
    // Each round adds at most 1 to a lane of the counter for each of its two
    // blocks (the tail of a code point of two bytes), so 127 rounds fit in a
    // byte.
    constexpr int rounds_per_sum = 127;

    const unsigned char* const start = p;
    std::uint64_t counted = 0; // one per position, less what the counters hold
    typename Lanes::MarkSums not_characters;
    std::uint64_t more = 0;
    Behind behind;
    typename RememberedOf<Lanes>::type remembered{};
    bool after_plain = false;
    int rounds = 0;
    // Nothing from CC on and no line feed: only code points below U+0300, of
    // one or two bytes, which never join, and where a lead from C2 on is one
    // of two bytes.
    const auto beyond_plain = [](typename Lanes::Vector x) {
        return Lanes::either(Lanes::at_least(x, first_lead_from_accents), Lanes::is(x, '\n'));
    };
    const auto two_byte_tails = [](typename Lanes::Vector x, const unsigned char* at) {
        return Lanes::both(Lanes::at_least(x, 0xC2), Lanes::continuation(Lanes::load(at + 1)));
    };
    // Two blocks a round, each judged with the four bytes after it (the
    // rest of a sequence, and what follows a joiner).
    while (end - p >= 2 * block + 4) {
        const typename Lanes::Vector a = Lanes::load(p);
        const typename Lanes::Vector b = Lanes::load(p + block);
        if (!Lanes::any(Lanes::either(beyond_plain(a), beyond_plain(b)))) {
            not_characters.add(two_byte_tails(a, p));
            not_characters.add(two_byte_tails(b, p + block));
            after_plain = true;
        } else {
            for (const std::ptrdiff_t at : {std::ptrdiff_t{0}, block}) {
                const unsigned char* q = p + at;
                const typename Lanes::Vector b0 = Lanes::load(q);
                const Mask punctuation = T::punctuation(b0, Lanes::load(q + 1), Lanes::load(q + 2));
                if (!Lanes::any(Lanes::but_not(beyond_plain(b0), punctuation))) {
                    not_characters.add(Lanes::but_not(two_byte_tails(b0, q), punctuation));
                    more += 2 * Lanes::count(Lanes::bits(punctuation));
                    after_plain = true;
                    continue;
                }
                if (after_plain) {
                    behind = behind_plain_block<Lanes>(q);
                    after_plain = false;
                }
                const typename Lanes::Vector b1 = Lanes::load(q + 1);
                const Mask accents = Lanes::both(T::accents(b0, b1), Lanes::continuation(b1));
                if (!Lanes::any(
                        Lanes::but_not(beyond_plain(b0), Lanes::either(punctuation, accents))) &&
                    take_accented<Lanes>(b0, b1, accents, more, behind)) {
                    not_characters.add(Lanes::but_not(two_byte_tails(b0, q), punctuation));
                    more += 2 * Lanes::count(Lanes::bits(punctuation));
                    continue;
                }
                const int rules_at =
                    judge<Lanes>(q, b0, b1, accents, punctuation, more, behind, remembered);
                if (rules_at >= 0) {
                    counted += static_cast<std::uint64_t>(at + rules_at);
                    return {q + rules_at, counted - not_characters.take() - more};
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
