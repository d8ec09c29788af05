#pragma once

// Sixty-four byte lanes for the block counter, with AVX-512's byte and word
// instructions. Included only by the files compiled for them, each of which
// gets a copy of its own, unseen by the linker: a copy compiled for more
// (VBMI) must never stand in for the other.

#include "count/blocks_kernel.hpp"

#include <immintrin.h>

// NOLINTBEGIN(misc-anonymous-namespace-in-header,cert-dcl59-cpp,google-build-namespaces)
namespace {

struct Avx512Lanes {
    using Vector = __m512i;
    using Mask = __mmask64; // a bit a lane
    static constexpr int width = 64;

    static Vector load(const unsigned char* p) { return _mm512_loadu_si512(p); }
    static Vector splat(unsigned byte) { return _mm512_set1_epi8(static_cast<char>(byte)); }

    static Mask is(Vector x, unsigned byte) { return _mm512_cmpeq_epi8_mask(x, splat(byte)); }
    static Mask at_least(Vector x, unsigned low) { return _mm512_cmpge_epu8_mask(x, splat(low)); }
    static Mask within(Vector x, unsigned low, unsigned high)
    {
        return _mm512_cmple_epu8_mask(_mm512_sub_epi8(x, splat(low)), splat(high - low));
    }

    // 80 to BF: the signed bytes below C0.
    static Mask continuation(Vector x) { return _mm512_cmplt_epi8_mask(x, splat(0xC0)); }
    // Sixteen entries, looked up by the low half of each index byte.
    static Vector table(const std::array<std::uint8_t, 16>& entries)
    {
        const auto word = [&entries](std::size_t at) {
            return static_cast<int>(entries.at(at) | (entries.at(at + 1) << 8U) |
                                    (entries.at(at + 2) << 16U) | (entries.at(at + 3) << 24U));
        };
        return _mm512_set4_epi32(word(12), word(8), word(4), word(0));
    }
    static Vector lookup(Vector table, Vector index) { return _mm512_shuffle_epi8(table, index); }
    static Vector high_half(Vector x)
    {
        return _mm512_and_si512(_mm512_srli_epi16(x, 4), splat(0x0F));
    }
    static Vector low_half(Vector x) { return _mm512_and_si512(x, splat(0x0F)); }
    static Vector common_bits(Vector a, Vector b) { return _mm512_and_si512(a, b); }
    static Mask has_bits(Vector x, unsigned bits) { return _mm512_test_epi8_mask(x, splat(bits)); }
    static Mask none() { return 0; }
    static Mask both(Mask a, Mask b) { return a & b; }
    static Mask either(Mask a, Mask b) { return a | b; }
    static Mask but_not(Mask a, Mask b) { return a & ~b; }
    static bool any(Mask m) { return m != 0; }
    static std::uint64_t bits(Mask m) { return m; }
    static std::uint64_t count(std::uint64_t bits) { return __builtin_popcountll(bits); }

    // Counts the lanes of masks, a byte a lane, until taken (at most 255 each).
    class MarkSums {
    public:
        void add(Mask m) { lanes_ = _mm512_mask_sub_epi8(lanes_, m, lanes_, _mm512_set1_epi8(-1)); }
        std::uint64_t take()
        {
            alignas(64) std::uint64_t sums[8]; // NOLINT(modernize-avoid-c-arrays)
            _mm512_store_si512(sums, _mm512_sad_epu8(lanes_, _mm512_setzero_si512()));
            lanes_ = _mm512_setzero_si512();
            std::uint64_t sum = 0;
            for (const std::uint64_t part : sums) {
                sum += part;
            }
            return sum;
        }

    private:
        __m512i lanes_ = _mm512_setzero_si512();
    };
};

} // namespace
// NOLINTEND(misc-anonymous-namespace-in-header,cert-dcl59-cpp,google-build-namespaces)
