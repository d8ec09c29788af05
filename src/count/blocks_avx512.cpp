// The block counter for 64 byte lanes. This file alone is compiled for
// AVX-512 (its byte and word instructions), and defines nothing else that
// the program could call by mistake on a processor without them: its one
// outside name is count_blocks_avx512. It looks the classes of code points
// up one at a time.

#include "count/lanes_avx512.hpp"

BlockRun count_blocks_avx512(const unsigned char* p, const unsigned char* end) noexcept
{
    return blocks::count<Avx512Lanes>(p, end);
}
