#include "clusters.hpp"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Most text never needs the rules: code points below U+0300 (ASCII, Latin-1
// and Latin Extended, all of Finnish) never join one another, so each is a
// character, and the accents U+0300 to U+036F of decomposed text join
// whatever letter they follow. That text is counted sixteen bytes at a time;
// the rules run only from a code point that may join otherwise (any other
// accent, a joiner, an emoji, a flag, a jamo, a line feed) up to the next
// plain stretch.

namespace {

constexpr char32_t replacement_character = 0xFFFD;
constexpr char32_t first_accent = 0x300;
constexpr char32_t last_accent = 0x36F;

constexpr bool holds_for(char32_t first, char32_t last, auto condition)
{
    for (char32_t c = first; c <= last; ++c) {
        if (!condition(break_property(c))) {
            return false;
        }
    }
    return true;
}

// What the plain path takes from the table without looking.
static_assert(holds_for(0, first_accent - 1,
                        [](Break b) {
                            return b == Break::other || b == Break::control || b == Break::cr ||
                                   b == Break::lf || b == Break::extended_pictographic;
                        }),
              "a code point below U+0300 may join its neighbour");
static_assert(holds_for(first_accent, last_accent, [](Break b) { return b == Break::extend; }),
              "an accent of U+0300 to U+036F is no Extend");
// The code points of two bytes led by C3 to CD: a letter or sign before an accent.
static_assert(holds_for(0xC0, 0x37F,
                        [](Break b) {
                            return b != Break::control && b != Break::cr && b != Break::lf;
                        }),
              "U+00C0 to U+037F hold a control");

constexpr bool is_continuation(unsigned byte)
{
    return (byte & 0xC0U) == 0x80U;
}

// Code points from U+0300 on start with a byte from CC on; the line feed is
// the one below that which joins anything (a CR before it). The plain path
// stops at such bytes, and starts at no other.
constexpr unsigned first_lead_from_accents = 0xCCU;

constexpr bool may_need_rules(unsigned byte)
{
    return byte >= first_lead_from_accents || byte == '\n';
}

// An accent U+0300 to U+036F: CC 80-BF or CD 80-AF.
constexpr bool is_accent(unsigned lead, unsigned next)
{
    return (lead == 0xCCU && is_continuation(next)) ||
           (lead == 0xCDU && next >= 0x80U && next <= 0xAFU);
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
    // The limits of the second byte rule out overlong forms, surrogates (ED)
    // and code points past U+10FFFF (F4).
    unsigned low = 0x80U;
    unsigned high = 0xBFU;
    std::size_t size = 0;
    if (lead >= 0xC2U && lead <= 0xDFU) {
        size = 2;
    } else if (lead >= 0xE0U && lead <= 0xEFU) {
        size = 3;
        low = lead == 0xE0U ? 0xA0U : low;
        high = lead == 0xEDU ? 0x9FU : high;
    } else if (lead >= 0xF0U && lead <= 0xF4U) {
        size = 4;
        low = lead == 0xF0U ? 0x90U : low;
        high = lead == 0xF4U ? 0x8FU : high;
    } else {
        return invalid(1);
    }
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

// The count so far and the rules' context, kept in registers while a block
// is counted: members of the counter would have to go to memory at every
// byte read, which may alias them.
struct Tally {
    ClusterRules rules;
    std::uint64_t count;

    void add(char32_t code_point) noexcept
    {
        count += rules.starts_cluster(break_property(code_point)) ? 1 : 0;
    }
};

#if defined(__SSE2__)

__m128i load(const unsigned char* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__m128i splat(unsigned byte)
{
    return _mm_set1_epi8(static_cast<char>(byte));
}

// Masks with all bits set in each byte lane where the condition holds.
__m128i at_least(__m128i x, unsigned low)
{
    return _mm_cmpeq_epi8(_mm_max_epu8(x, splat(low)), x);
}

__m128i within(__m128i x, unsigned low, unsigned high)
{
    return _mm_and_si128(at_least(x, low), _mm_cmpeq_epi8(_mm_min_epu8(x, splat(high)), x));
}

__m128i continuation(__m128i x)
{
    return _mm_cmpeq_epi8(_mm_and_si128(x, splat(0xC0)), splat(0x80));
}

unsigned lanes_set(__m128i mask)
{
    return static_cast<unsigned>(_mm_movemask_epi8(mask));
}

// The 16 bytes that start `back` bytes before p. Nothing before `begin` is
// read: there NULs stand in, which no accent joins.
__m128i load_before(const unsigned char* p, const unsigned char* begin, std::ptrdiff_t back)
{
    if (p - begin >= back) {
        return load(p - back);
    }
    std::array<unsigned char, 16> window{};
    const auto known = static_cast<std::size_t>(p - begin);
    std::memcpy(window.data() + back - known, p - known, 16 - (back - known));
    return load(window.data());
}

// Each round adds at most 2 to a byte lane (a sequence tail and an accent's
// join at one position), so 127 rounds fit.
constexpr int rounds_per_sum = 127;

std::uint64_t lane_sum(__m128i lanes)
{
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    return static_cast<std::uint64_t>(_mm_cvtsi128_si32(sums)) +
           static_cast<std::uint64_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}

// The rules go on from the plain text's last code point that is no accent
// (plain text starts with one): accents after it leave the rules where it
// did, as an Extend after a letter or an emoji joins what the letter would.
[[gnu::always_inline]] inline void settle_rules_after_plain(ClusterRules& rules,
                                                            const unsigned char* start,
                                                            const unsigned char* stop) noexcept
{
    const unsigned char* p = stop;
    while (p - start >= 2 && is_accent(p[-2], p[-1])) {
        p -= 2;
    }
    if (p == start) {
        return; // no text
    }
    char32_t last = p[-1] < 0x80U ? p[-1] : replacement_character;
    if (p - start >= 2 && p[-2] >= 0xC2U && p[-2] <= 0xDFU && is_continuation(p[-1])) {
        last = decode(p - 2, 2).code_point;
    }
    rules.restart_after(break_property(last));
}

// Counts the text from p on, block by block, while no rule but an accent's
// joins it, and returns where a code point that needs the rules starts (or
// where too few bytes are left for a block).
[[gnu::always_inline]] inline const unsigned char* count_plain(Tally& tally, const unsigned char* p,
                                                               const unsigned char* begin,
                                                               const unsigned char* end) noexcept
{
    // A block is judged with the byte after it (a sequence's second byte)
    // and the two before it (what an accent follows).
    constexpr std::ptrdiff_t block = 16;
    const unsigned char* const start = p;
    std::uint64_t counted = 0; // one per position, less the lanes' sum
    __m128i lanes = _mm_setzero_si128();
    int rounds = 0;
    bool stopped = false;
    while (end - p > block) {
        const __m128i b0 = load(p);
        const __m128i line_feed = _mm_cmpeq_epi8(b0, splat('\n'));
        if (lanes_set(_mm_or_si128(b0, line_feed)) == 0) {
            counted += block; // ASCII: a character a byte
            p += block;
            continue;
        }
        const __m128i b1 = load(p + 1);
        const __m128i second = continuation(b1);
        // The lead of a two-byte sequence: its second byte is no character.
        const __m128i tail = _mm_and_si128(within(b0, 0xC2, 0xDF), second);
        __m128i needs_rules = _mm_or_si128(at_least(b0, first_lead_from_accents), line_feed);
        __m128i joins = _mm_setzero_si128();
        if (lanes_set(needs_rules) != 0) {
            const __m128i m2 = load_before(p, begin, 2);
            const __m128i m1 = load_before(p, begin, 1);
            const __m128i accent =
                _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(b0, splat(0xCC)),
                                           _mm_and_si128(_mm_cmpeq_epi8(b0, splat(0xCD)),
                                                         within(b1, 0x80, 0xAF))),
                              second);
            // After a printable ASCII character, or a code point of U+00C0 to
            // U+037F (a letter or another accent), an accent joins: GB9.
            const __m128i printable =
                _mm_and_si128(_mm_cmpgt_epi8(m1, splat(0x1F)), _mm_cmpgt_epi8(splat(0x7F), m1));
            const __m128i after_letter =
                _mm_or_si128(printable, _mm_and_si128(continuation(m1), within(m2, 0xC3, 0xCD)));
            joins = _mm_and_si128(accent, after_letter);
            needs_rules = _mm_andnot_si128(joins, needs_rules);
            const unsigned rules_at = lanes_set(needs_rules);
            if (rules_at != 0) {
                // Only the positions before it count here.
                const int before_rules = std::countr_zero(rules_at);
                const __m128i earlier = _mm_cmpgt_epi8(
                    splat(static_cast<unsigned>(before_rules)),
                    _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
                lanes = _mm_sub_epi8(lanes, _mm_and_si128(tail, earlier));
                lanes = _mm_sub_epi8(lanes, _mm_and_si128(joins, earlier));
                counted += static_cast<unsigned>(before_rules);
                p += before_rules;
                stopped = true;
                break;
            }
        }
        // The masks are -1 where they hold: subtracting them adds one.
        lanes = _mm_sub_epi8(_mm_sub_epi8(lanes, tail), joins);
        counted += block;
        p += block;
        if (++rounds == rounds_per_sum) {
            counted -= lane_sum(lanes);
            lanes = _mm_setzero_si128();
            rounds = 0;
        }
    }
    counted -= lane_sum(lanes);
    if (!stopped && p > start && p[-1] >= 0xC2U && p[-1] <= 0xDFU && is_continuation(p[0])) {
        // The last block ended inside a two-byte code point: its second byte
        // is taken here, so that the rules go on at the start of the next.
        ++counted;
        ++p;
    }
    tally.count += counted;
    settle_rules_after_plain(tally.rules, start, p);
    return p;
}

#endif

// Counts the code points that start in [p, end) and returns where the first
// one that runs past `end` starts (`end` if none does). `begin` is the start
// of the block, before which nothing is read.
const unsigned char* count_code_points(Tally& tally, const unsigned char* p,
                                       const unsigned char* begin,
                                       const unsigned char* end) noexcept
{
    while (p < end) {
#if defined(__SSE2__)
        if (tally.rules.quiet() && !may_need_rules(*p)) {
            p = count_plain(tally, p, begin, end);
            if (p == end) {
                break;
            }
        }
#else
        (void)begin;
#endif
        const Decoded decoded = decode(p, static_cast<std::size_t>(end - p));
        if (decoded.size == 0) {
            break;
        }
        tally.add(decoded.code_point);
        p += decoded.size;
    }
    return p;
}

} // namespace

void ClusterCounter::add(std::span<const unsigned char> bytes) noexcept
{
    Tally tally{rules_, 0};
    const unsigned char* p = bytes.data();
    const unsigned char* const end = p + bytes.size();
    bool all_held = false;
    if (held_.size() > 0) {
        // Three more bytes complete any code point that starts in the held ones.
        const HeldBytes::Joined joined = held_.joined_with(bytes, 3);
        const std::size_t held = held_.size();
        std::size_t at = 0;
        while (at < held) {
            const Decoded decoded = decode(joined.bytes.data() + at, joined.size - at);
            if (decoded.size == 0) {
                break;
            }
            tally.add(decoded.code_point);
            at += decoded.size;
        }
        all_held = at < held;
        if (all_held) {
            held_.hold(joined.view().subspan(at)); // too short a block: all of it waits
        } else {
            p += at - held;
        }
    }
    if (!all_held) {
        const unsigned char* const cut_off = count_code_points(tally, p, bytes.data(), end);
        held_.hold({cut_off, end});
    }
    rules_ = tally.rules;
    count_ += tally.count;
}

std::uint64_t ClusterCounter::total(bool cut_short) const noexcept
{
    // What is held is the start of a code point that never came: one maximal
    // subpart, one U+FFFD.
    if (cut_short || held_.size() == 0) {
        return count_;
    }
    ClusterRules rules = rules_;
    return count_ + (rules.starts_cluster(Break::other) ? 1 : 0);
}
