#include "count/blocks.hpp"

#include <initializer_list>

#if defined(__SSE2__)
#include "count/blocks_kernel.hpp"
#include "count/lanes_sse2.hpp"
#endif

namespace {

#if defined(__SSE2__)

PlainRun count_sse2(const unsigned char* p, const unsigned char* begin,
                    const unsigned char* end) noexcept
{
    return plain_text::count<plain_text::Sse2Lanes>(p, begin, end);
}

#endif

PlainCounter widest() noexcept
{
    for (const BlockPath path : {BlockPath::avx512, BlockPath::avx2, BlockPath::sse2}) {
        if (const PlainCounter counter = plain_counter(path)) {
            return counter;
        }
    }
    return nullptr;
}

// Chosen on first use, not by an initialiser that calls a function: that
// would run before main in everything that links this, in no set order
// among files.
PlainCounter in_use = nullptr;
bool chosen = false;

} // namespace

#if defined(PITUUS_WIDE_BLOCKS)
PlainRun count_plain_text_avx2(const unsigned char* p, const unsigned char* begin,
                               const unsigned char* end) noexcept;
PlainRun count_plain_text_avx512(const unsigned char* p, const unsigned char* begin,
                                 const unsigned char* end) noexcept;
#endif

PlainCounter plain_counter(BlockPath path) noexcept
{
    switch (path) {
#if defined(__SSE2__)
    case BlockPath::sse2:
        return count_sse2;
#endif
#if defined(PITUUS_WIDE_BLOCKS)
    case BlockPath::avx2:
        return __builtin_cpu_supports("avx2") != 0 ? count_plain_text_avx2 : nullptr;
    case BlockPath::avx512:
        return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0
                   ? count_plain_text_avx512
                   : nullptr;
#endif
    default:
        return nullptr;
    }
}

PlainCounter plain_counter_in_use() noexcept
{
    if (!chosen) {
        in_use = widest();
        chosen = true;
    }
    return in_use;
}

void use_block_path(BlockPath path) noexcept
{
    in_use = plain_counter(path);
    chosen = true;
}
