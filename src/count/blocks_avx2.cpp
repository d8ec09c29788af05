// The block counter for 32 byte lanes. This file alone is compiled for
// AVX2, and defines nothing else that the program could call by mistake on a
// processor without it: its one outside name is count_blocks_avx2.

#include "count/blocks_kernel.hpp"

#include <immintrin.h>

namespace {

struct Avx2Lanes {
    using Vector = __m256i;
    using Mask = __m256i; // all bits set in each lane where it holds
    static constexpr int width = 32;

    static Vector load(const unsigned char* p)
    {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    static Vector splat(unsigned byte) { return _mm256_set1_epi8(static_cast<char>(byte)); }

    static Mask is(Vector x, unsigned byte) { return _mm256_cmpeq_epi8(x, splat(byte)); }
    static Mask at_least(Vector x, unsigned low)
    {
        return _mm256_cmpeq_epi8(_mm256_max_epu8(x, splat(low)), x);
    }
    static Mask within(Vector x, unsigned low, unsigned high)
    {
        const Vector offset = _mm256_sub_epi8(x, splat(low));
        return _mm256_cmpeq_epi8(_mm256_min_epu8(offset, splat(high - low)), offset);
    }

    // 80 to BF: the signed bytes below C0.
    static Mask continuation(Vector x) { return _mm256_cmpgt_epi8(splat(0xC0), x); }
    // Sixteen entries, looked up by the low half of each index byte.
    static Vector table(const std::array<std::uint8_t, 16>& entries)
    {
        return _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(entries.data())));
    }
    static Vector lookup(Vector table, Vector index) { return _mm256_shuffle_epi8(table, index); }
    static Vector high_half(Vector x)
    {
        return _mm256_and_si256(_mm256_srli_epi16(x, 4), splat(0x0F));
    }
    static Vector low_half(Vector x) { return _mm256_and_si256(x, splat(0x0F)); }
    static Vector common_bits(Vector a, Vector b) { return _mm256_and_si256(a, b); }
    static Mask has_bits(Vector x, unsigned bits)
    {
        return _mm256_xor_si256(
            _mm256_cmpeq_epi8(_mm256_and_si256(x, splat(bits)), _mm256_setzero_si256()),
            _mm256_set1_epi8(-1));
    }
    static Mask none() { return _mm256_setzero_si256(); }
    static Mask both(Mask a, Mask b) { return _mm256_and_si256(a, b); }
    static Mask either(Mask a, Mask b) { return _mm256_or_si256(a, b); }
    static Mask but_not(Mask a, Mask b) { return _mm256_andnot_si256(b, a); }
    static bool any(Mask m) { return _mm256_testz_si256(m, m) == 0; }
    static std::uint64_t bits(Mask m)
    {
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(m));
    }
    static std::uint64_t count(std::uint64_t bits) { return __builtin_popcountll(bits); }

    // Counts the lanes of masks, a byte a lane, until taken (at most 255 each).
    class MarkSums {
    public:
        void add(Mask m) { lanes_ = _mm256_sub_epi8(lanes_, m); }
        std::uint64_t take()
        {
            const __m256i sums = _mm256_sad_epu8(lanes_, _mm256_setzero_si256());
            lanes_ = _mm256_setzero_si256();
            const __m128i halves =
                _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
            return static_cast<std::uint64_t>(_mm_cvtsi128_si64(halves)) +
                   static_cast<std::uint64_t>(_mm_extract_epi64(halves, 1));
        }

    private:
        __m256i lanes_ = _mm256_setzero_si256();
    };
};

} // namespace

BlockRun count_blocks_avx2(const unsigned char* p, const unsigned char* end) noexcept
{
    return blocks::count<Avx2Lanes>(p, end);
}
