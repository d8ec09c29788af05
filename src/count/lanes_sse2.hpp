#pragma once

// Sixteen byte lanes for the block counter, which every x86-64
// processor has. Never included where code is compiled for a wider set.

#include <cstdint>
#include <emmintrin.h>

namespace blocks {

struct Sse2Lanes {
    using Vector = __m128i;
    using Mask = __m128i; // all bits set in each lane where it holds
    static constexpr int width = 16;

    static Vector load(const unsigned char* p)
    {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }
    static Vector splat(unsigned byte) { return _mm_set1_epi8(static_cast<char>(byte)); }

    static Mask is(Vector x, unsigned byte) { return _mm_cmpeq_epi8(x, splat(byte)); }
    static Mask at_least(Vector x, unsigned low)
    {
        return _mm_cmpeq_epi8(_mm_max_epu8(x, splat(low)), x);
    }
    static Mask within(Vector x, unsigned low, unsigned high)
    {
        const Vector offset = _mm_sub_epi8(x, splat(low));
        return _mm_cmpeq_epi8(_mm_min_epu8(offset, splat(high - low)), offset);
    }

    // 80 to BF: the signed bytes below C0.
    static Mask continuation(Vector x) { return _mm_cmpgt_epi8(splat(0xC0), x); }
    static Mask none() { return _mm_setzero_si128(); }
    static Mask both(Mask a, Mask b) { return _mm_and_si128(a, b); }
    static Mask either(Mask a, Mask b) { return _mm_or_si128(a, b); }
    static Mask but_not(Mask a, Mask b) { return _mm_andnot_si128(b, a); }
    static bool any(Mask m) { return _mm_movemask_epi8(m) != 0; }
    static int first(Mask m) { return __builtin_ctz(static_cast<unsigned>(_mm_movemask_epi8(m))); }
    static std::uint64_t bits(Mask m) { return static_cast<std::uint32_t>(_mm_movemask_epi8(m)); }
    // The bits set of a lane's sixteen, without the instruction that the
    // oldest processors lack.
    static std::uint64_t count(std::uint64_t bits)
    {
        auto x = static_cast<std::uint32_t>(bits);
        x -= (x >> 1U) & 0x5555U;
        x = (x & 0x3333U) + ((x >> 2U) & 0x3333U);
        x = (x + (x >> 4U)) & 0x0F0FU;
        return (x + (x >> 8U)) & 0x1FU;
    }

    // Counts the lanes of masks, a byte a lane, until taken (at most 255 each).
    class MarkSums {
    public:
        void add(Mask m) { lanes_ = _mm_sub_epi8(lanes_, m); }
        std::uint64_t take()
        {
            const __m128i sums = _mm_sad_epu8(lanes_, _mm_setzero_si128());
            lanes_ = _mm_setzero_si128();
            return static_cast<std::uint64_t>(_mm_cvtsi128_si32(sums)) +
                   static_cast<std::uint64_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
        }

    private:
        __m128i lanes_ = _mm_setzero_si128();
    };
};

} // namespace blocks
