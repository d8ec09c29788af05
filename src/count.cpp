#include "count.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// UTF-8 is counted without decoding: every byte counts one, less the
// continuation bytes that a valid sequence takes. Whether a valid sequence
// starts at a byte depends on that byte and the three after it only, so each
// position can be judged on its own, and a whole block at a time.

namespace {

// A sequence that starts at a byte ends at most this many bytes later.
constexpr std::size_t utf8_lookahead = 3;

constexpr unsigned is_continuation(unsigned byte)
{
    return unsigned((byte & 0xC0U) == 0x80U);
}

// The continuation bytes of the valid UTF-8 sequence that starts at p[0], or 0
// if none does. Reads p[0] to p[3]. The limits on the second byte rule out
// overlong forms, surrogates and code points past U+10FFFF.
unsigned sequence_tail(const unsigned char* p) noexcept
{
    const unsigned b0 = p[0];
    const unsigned b1 = p[1];
    const unsigned c1 = is_continuation(b1);
    const unsigned c12 = c1 & is_continuation(p[2]);
    const unsigned c123 = c12 & is_continuation(p[3]);
    const unsigned two = unsigned(b0 >= 0xC2U && b0 <= 0xDFU) & c1;
    const unsigned three = unsigned((b0 & 0xF0U) == 0xE0U) & c12 &
                           unsigned(!(b0 == 0xE0U && b1 < 0xA0U)) &
                           unsigned(!(b0 == 0xEDU && b1 > 0x9FU));
    const unsigned four = unsigned(b0 >= 0xF0U && b0 <= 0xF4U) & c123 &
                          unsigned(!(b0 == 0xF0U && b1 < 0x90U)) &
                          unsigned(!(b0 == 0xF4U && b1 > 0x8FU));
    return two + 2 * three + 3 * four;
}

std::uint64_t tails_scalar(const unsigned char* p, std::size_t positions) noexcept
{
    std::uint64_t tails = 0;
    for (std::size_t i = 0; i < positions; ++i) {
        tails += sequence_tail(p + i);
    }
    return tails;
}

#if defined(__SSE2__)

// The same judgement as sequence_tail, sixteen positions at once.
std::uint64_t tails_sse2(const unsigned char* p, std::size_t positions) noexcept
{
    const auto splat = [](unsigned byte) { return _mm_set1_epi8(static_cast<char>(byte)); };
    const auto at_least = [](__m128i x, __m128i k) {
        return _mm_cmpeq_epi8(_mm_max_epu8(x, k), x);
    };
    const auto at_most = [](__m128i x, __m128i k) { return _mm_cmpeq_epi8(_mm_min_epu8(x, k), x); };
    const auto load = [](const unsigned char* at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    };
    const __m128i top2 = splat(0xC0);
    const __m128i cont = splat(0x80);
    const __m128i zero = _mm_setzero_si128();

    // Each position adds at most 3 to its byte lane, so 85 rounds fit a lane.
    constexpr std::size_t rounds_per_sum = 85;
    std::uint64_t tails = 0;
    std::size_t i = 0;
    while (positions - i >= 16) {
        const std::size_t rounds = std::min((positions - i) / 16, rounds_per_sum);
        __m128i lanes = zero;
        for (std::size_t round = 0; round < rounds; ++round, i += 16) {
            const __m128i b0 = load(p + i);
            if (_mm_movemask_epi8(b0) == 0) {
                continue; // all ASCII
            }
            const __m128i b1 = load(p + i + 1);
            const __m128i c1 = _mm_cmpeq_epi8(_mm_and_si128(b1, top2), cont);
            const __m128i two = _mm_and_si128(
                _mm_and_si128(at_least(b0, splat(0xC2)), at_most(b0, splat(0xDF))), c1);
            // The masks are -1 where true: subtracting adds one.
            lanes = _mm_sub_epi8(lanes, two);
            if (_mm_movemask_epi8(at_least(b0, splat(0xE0))) == 0) {
                continue; // no three- or four-byte sequence starts here, as in most text
            }
            const __m128i c12 =
                _mm_and_si128(c1, _mm_cmpeq_epi8(_mm_and_si128(load(p + i + 2), top2), cont));
            const __m128i c123 =
                _mm_and_si128(c12, _mm_cmpeq_epi8(_mm_and_si128(load(p + i + 3), top2), cont));

            const __m128i bad3 = _mm_or_si128(
                _mm_andnot_si128(at_least(b1, splat(0xA0)), _mm_cmpeq_epi8(b0, splat(0xE0))),
                _mm_andnot_si128(at_most(b1, splat(0x9F)), _mm_cmpeq_epi8(b0, splat(0xED))));
            const __m128i lead3 = _mm_cmpeq_epi8(_mm_and_si128(b0, splat(0xF0)), splat(0xE0));
            const __m128i three = _mm_andnot_si128(bad3, _mm_and_si128(lead3, c12));

            const __m128i bad4 = _mm_or_si128(
                _mm_andnot_si128(at_least(b1, splat(0x90)), _mm_cmpeq_epi8(b0, splat(0xF0))),
                _mm_andnot_si128(at_most(b1, splat(0x8F)), _mm_cmpeq_epi8(b0, splat(0xF4))));
            const __m128i lead4 =
                _mm_and_si128(at_least(b0, splat(0xF0)), at_most(b0, splat(0xF4)));
            const __m128i four = _mm_andnot_si128(bad4, _mm_and_si128(lead4, c123));

            lanes = _mm_sub_epi8(lanes, _mm_add_epi8(three, three));
            lanes = _mm_sub_epi8(lanes, _mm_add_epi8(four, _mm_add_epi8(four, four)));
        }
        const __m128i sums = _mm_sad_epu8(lanes, zero);
        tails += static_cast<std::uint64_t>(_mm_cvtsi128_si32(sums)) +
                 static_cast<std::uint64_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
    }
    return tails + tails_scalar(p + i, positions - i);
}

#endif

// The continuation bytes taken by the sequences starting at p[0] to
// p[positions - 1]. Reads up to p[positions + 2].
std::uint64_t tails_in(const unsigned char* p, std::size_t positions) noexcept
{
#if defined(__SSE2__)
    return tails_sse2(p, positions);
#else
    return tails_scalar(p, positions);
#endif
}

// Characters counted at the positions of a short text that nothing follows.
std::uint64_t utf8_count_to_end(const unsigned char* p, std::size_t size) noexcept
{
    std::uint64_t count = 0;
    for (std::size_t i = 0; i < size; ++i) {
        // Zero bytes past the end are no continuation bytes, so a sequence cut
        // short by the end is no valid sequence.
        std::array<unsigned char, utf8_lookahead + 1> padded{};
        std::memcpy(padded.data(), p + i, std::min(padded.size(), size - i));
        count += 1;
        count -= sequence_tail(padded.data());
    }
    return count;
}

// The bytes of the character at p[0], judged by the C library; 0 when it may
// go on past the bytes we have. An undecodable byte is a character of its own.
std::size_t multibyte_char_size(const unsigned char* p, std::size_t size, bool at_end) noexcept
{
    std::mbstate_t state{};
    const std::size_t result =
        std::mbrtowc(nullptr, reinterpret_cast<const char*>(p), size, &state);
    if (result == static_cast<std::size_t>(-2)) {
        return at_end || size >= static_cast<std::size_t>(MB_CUR_MAX) ? 1 : 0;
    }
    if (result == static_cast<std::size_t>(-1) || result == 0) {
        return 1;
    }
    return result;
}

} // namespace

void CharCounter::add(std::span<const unsigned char> bytes) noexcept
{
    switch (charset_) {
    case Charset::single_byte:
        count_ += bytes.size();
        break;
    case Charset::utf8:
        add_utf8(bytes);
        break;
    case Charset::multibyte:
        add_multibyte(bytes);
        break;
    }
}

void CharCounter::add_utf8(std::span<const unsigned char> bytes) noexcept
{
    if (held_size_ > 0) {
        // Judge the held positions with what this block adds after them.
        const Joined joined = join_held(bytes, utf8_lookahead);
        std::size_t judged = 0;
        while (judged < held_size_ && judged + utf8_lookahead < joined.size) {
            count_ += 1;
            count_ -= sequence_tail(joined.bytes.data() + judged);
            ++judged;
        }
        if (judged < held_size_) {
            // Too short a block to settle them: all of it waits for the next.
            hold(joined.view().subspan(judged));
            return;
        }
        held_size_ = 0;
    }
    if (bytes.size() > utf8_lookahead) {
        const std::size_t positions = bytes.size() - utf8_lookahead;
        count_ += positions - tails_in(bytes.data(), positions);
    }
    hold(bytes.last(std::min(bytes.size(), utf8_lookahead)));
}

void CharCounter::add_multibyte(std::span<const unsigned char> bytes) noexcept
{
    std::size_t at = 0;
    if (held_size_ > 0) {
        const Joined joined = join_held(bytes, MB_LEN_MAX);
        const std::optional<std::size_t> next = count_multibyte(joined.view(), 0, held_size_);
        if (!next) {
            return;
        }
        at = *next - held_size_;
        held_size_ = 0;
    }
    count_multibyte(bytes, at, bytes.size());
}

std::optional<std::size_t> CharCounter::count_multibyte(std::span<const unsigned char> bytes,
                                                        std::size_t at, std::size_t until) noexcept
{
    while (at < until) {
        const std::size_t size = multibyte_char_size(bytes.data() + at, bytes.size() - at, false);
        if (size == 0) {
            hold(bytes.subspan(at));
            return std::nullopt;
        }
        ++count_;
        at += size;
    }
    return at;
}

CharCounter::Joined CharCounter::join_held(std::span<const unsigned char> next,
                                           std::size_t lookahead) const noexcept
{
    Joined joined;
    const std::size_t taken = std::min(next.size(), lookahead);
    std::memcpy(joined.bytes.data(), held_.data(), held_size_);
    std::memcpy(joined.bytes.data() + held_size_, next.data(), taken);
    joined.size = held_size_ + taken;
    return joined;
}

void CharCounter::hold(std::span<const unsigned char> bytes) noexcept
{
    std::memmove(held_.data(), bytes.data(), bytes.size());
    held_size_ = bytes.size();
}

std::uint64_t CharCounter::total() const noexcept
{
    if (charset_ == Charset::utf8) {
        return count_ + utf8_count_to_end(held_.data(), held_size_);
    }
    std::uint64_t count = count_;
    for (std::size_t at = 0; at < held_size_; ++count) {
        at += multibyte_char_size(held_.data() + at, held_size_ - at, true);
    }
    return count;
}

std::uint64_t count_chars(std::span<const unsigned char> bytes, Charset charset) noexcept
{
    CharCounter counter(charset);
    counter.add(bytes);
    return counter.total();
}
