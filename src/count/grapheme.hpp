#pragma once

#include "count/grapheme_table.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

// What a person sees as one character is an extended grapheme cluster of
// Unicode Standard Annex #29: a letter and the accents on it, an emoji and
// its skin tone, a family joined by zero-width joiners, a flag of two
// regional indicators, a Hangul syllable of jamo, an Indic conjunct of
// consonants joined by a virama. Whether two code points belong to one
// cluster depends on their grapheme break properties, and for emoji, flags
// and conjuncts on a few code points before them.

// The grapheme break property, with Extended_Pictographic (which no code
// point with another break property has) as a value of its own, and Other
// and Extend parted as the conjunct rule (GB9c) parts them.
enum class Break : std::uint8_t {
    other,
    cr,
    lf,
    control,
    extend,
    zwj,
    regional_indicator,
    prepend,
    spacing_mark,
    l, // Hangul jamo: leading consonant
    v, // vowel
    t, // trailing consonant
    lv,
    lvt,
    extended_pictographic,
    consonant,               // an Other that a conjunct joins (Indic_Conjunct_Break=Consonant)
    linker,                  // an Extend that links consonants: a virama (InCB=Linker)
    extend_outside_conjunct, // an Extend that ends a conjunct (InCB=None): U+200C ZWNJ
};

constexpr Break break_property(char32_t code_point) noexcept
{
    using namespace grapheme_table;
    const unsigned block = stage1[code_point >> block_bits];
    return static_cast<Break>(stage2[block * block_size + (code_point & (block_size - 1))]);
}

// The columns that a code point takes on a terminal, 0 to 2, and whether
// terminals agree on them: for emoji, East Asian Ambiguous characters and
// code points not yet assigned, each draws them by its own tables.
struct Columns {
    unsigned count;
    bool sure;
};

constexpr Columns columns_of(char32_t c) noexcept
{
    const auto& ranges = grapheme_table::column_ranges;
    const auto* after =
        std::upper_bound(ranges.begin(), ranges.end(), c,
                         [](char32_t code_point, const grapheme_table::ColumnRange& range) {
                             return code_point < range.first;
                         });
    if (after == ranges.begin() || c > (after - 1)->last) {
        return {1, true};
    }
    return {(after - 1)->columns, (after - 1)->sure};
}

// True if `property` is one of `properties`.
constexpr bool is_one_of(Break property, auto... properties)
{
    return ((property == properties) || ...);
}

// Grapheme_Cluster_Break=Extend, whatever its part in conjuncts.
constexpr bool is_extend(Break property)
{
    return is_one_of(property, Break::extend, Break::linker, Break::extend_outside_conjunct);
}

namespace grapheme_rules {

// Rules GB3 to GB9b, GB999: whether `next` joins `last` by the two alone.
constexpr bool joins(Break last, Break next)
{
    using enum Break;
    if (last == cr && next == lf) {
        return true; // GB3
    }
    if (is_one_of(last, cr, lf, control) || is_one_of(next, cr, lf, control)) {
        return false; // GB4, GB5
    }
    return (last == l && is_one_of(next, l, v, lv, lvt)) ||         // GB6
           (is_one_of(last, lv, v) && is_one_of(next, v, t)) ||     // GB7
           (is_one_of(last, lvt, t) && next == t) ||                // GB8
           is_extend(next) || is_one_of(next, zwj, spacing_mark) || // GB9, GB9a
           last == prepend;                                         // GB9b
}

// How far the text ends in a conjunct: Consonant [Extend Linker]*, where
// Extend is InCB=Extend (a ZWJ among them).
enum class Conjunct : std::uint8_t {
    none,
    open,   // a consonant and its extenders, no linker yet
    linked, // ... with a linker among them: the next consonant joins (GB9c)
};

// What the rules need to know of the text so far.
struct Context {
    Break last = Break::control;         // the start of the text breaks as a control does
    bool pictographic_run = false;       // the text ends in Extended_Pictographic Extend*
    bool zwj_after_pictographic = false; // ... Extended_Pictographic Extend* ZWJ
    bool flag_half_open = false;         // an odd number of regional indicators ends it
    Conjunct conjunct = Conjunct::none;

    constexpr bool operator==(const Context&) const = default;
};

constexpr Conjunct conjunct_after(Conjunct before, Break next)
{
    using enum Break;
    if (next == consonant) {
        return Conjunct::open;
    }
    if (before == Conjunct::none || !is_one_of(next, extend, zwj, linker)) {
        return Conjunct::none;
    }
    return next == linker ? Conjunct::linked : before;
}

struct Step {
    bool joined;
    Context after;
};

// The next code point, of property `next`, after the text of `before`.
constexpr Step step(Context before, Break next)
{
    using enum Break;
    bool joined = joins(before.last, next);
    if (before.conjunct == Conjunct::linked && next == consonant) {
        joined = true; // GB9c
    }
    if (before.last == zwj && next == extended_pictographic) {
        joined = before.zwj_after_pictographic; // GB11
    }
    const bool closes_flag = before.last == regional_indicator && before.flag_half_open;
    if (before.last == regional_indicator && next == regional_indicator) {
        joined = closes_flag; // GB12, GB13
    }
    Context after;
    after.last = next;
    after.pictographic_run =
        next == extended_pictographic || (before.pictographic_run && is_extend(next));
    after.zwj_after_pictographic = next == zwj && before.pictographic_run;
    after.flag_half_open = next == regional_indicator && !closes_flag;
    after.conjunct = conjunct_after(before.conjunct, next);
    return {joined, after};
}

constexpr int property_count = static_cast<int>(Break::extend_outside_conjunct) + 1;
constexpr int most_contexts = 64;

// The contexts that a text can reach, numbered from the start of a text (0),
// and what each code point leads to: the next context's number, plus
// starts_flag where the code point starts a cluster.
constexpr std::uint8_t starts_flag = 0x80;

struct Automaton {
    std::array<Context, most_contexts> contexts{};
    int context_count = 1;
    std::array<std::array<std::uint8_t, property_count>, most_contexts> next{};
};

constexpr Automaton build_automaton()
{
    Automaton automaton;
    for (int from = 0; from < automaton.context_count; ++from) {
        for (int property = 0; property < property_count; ++property) {
            const Step s = step(automaton.contexts.at(from), static_cast<Break>(property));
            int to = 0;
            while (to < automaton.context_count && !(automaton.contexts.at(to) == s.after)) {
                ++to;
            }
            if (to == automaton.context_count) {
                automaton.contexts.at(automaton.context_count++) = s.after;
            }
            automaton.next.at(from).at(property) =
                static_cast<std::uint8_t>(to | (s.joined ? 0 : starts_flag));
        }
    }
    return automaton;
}

inline constexpr Automaton automaton = build_automaton();
static_assert(automaton.context_count < most_contexts, "more contexts than were made room for");

// The contexts after which a code point that starts a character wherever
// else it stands (a letter, a syllable, a consonant, a control) starts one
// here too: not after a Prepend, a joiner, a leading Hangul jamo (which joins
// the syllable after it), nor in a conjunct whose linker joins the consonant.
inline constexpr std::uint64_t quiet_contexts = [] {
    std::uint64_t quiet = 0;
    for (int i = 0; i < automaton.context_count; ++i) {
        const Context context = automaton.contexts.at(i);
        const Break last = context.last;
        if (!is_one_of(last, Break::prepend, Break::zwj, Break::l) &&
            context.conjunct != Conjunct::linked) {
            quiet |= std::uint64_t{1} << i;
        }
    }
    return quiet;
}();

} // namespace grapheme_rules

// Follows a text one code point at a time and says where its clusters start.
class ClusterRules {
public:
    // True if a new cluster starts at the next code point, whose property is
    // `next`.
    bool starts_cluster(Break next) noexcept
    {
        const std::uint8_t to =
            grapheme_rules::automaton.next[context_][static_cast<unsigned>(next)];
        context_ = to & ~grapheme_rules::starts_flag;
        return (to & grapheme_rules::starts_flag) != 0;
    }

    // As starts_cluster, for a code point that the caller knows starts a
    // cluster and is no accent, joiner or regional indicator.
    void restart_after(Break last) noexcept
    {
        context_ = grapheme_rules::automaton.next[0][static_cast<unsigned>(last)] &
                   ~grapheme_rules::starts_flag;
    }

    // True while a code point that starts a cluster after any other (but a
    // line feed's CR) starts one after the last one too.
    [[nodiscard]] bool quiet() const noexcept
    {
        return ((grapheme_rules::quiet_contexts >> context_) & 1U) != 0;
    }

private:
    std::uint8_t context_ = 0;
};
