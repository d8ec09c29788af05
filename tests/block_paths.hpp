#pragma once

// Counting through each width of block that this processor has: the tests
// choose the path themselves, so that each is checked wherever it runs.

#include "count/blocks.hpp"

#include <cstddef>
#include <string>
#include <vector>

// The paths this processor runs: code point by code point, and each width.
inline std::vector<BlockPath> block_paths()
{
    std::vector<BlockPath> paths{BlockPath::none};
    for (const BlockPath path :
         {BlockPath::sse2, BlockPath::avx2, BlockPath::avx512, BlockPath::avx512_vbmi}) {
        if (block_counter(path) != nullptr) {
            paths.push_back(path);
        }
    }
    return paths;
}

inline std::string name_of(BlockPath path)
{
    switch (path) {
    case BlockPath::sse2:
        return "SSE2";
    case BlockPath::avx2:
        return "AVX2";
    case BlockPath::avx512:
        return "AVX-512";
    case BlockPath::avx512_vbmi:
        return "AVX-512 VBMI";
    default:
        return "no blocks";
    }
}

// The bytes a block of the path holds.
inline std::size_t width_of(BlockPath path)
{
    switch (path) {
    case BlockPath::sse2:
        return 16;
    case BlockPath::avx2:
        return 32;
    case BlockPath::avx512:
    case BlockPath::avx512_vbmi:
        return 64;
    default:
        return 1;
    }
}

// The path that counters made while it lives take; then the widest again.
class BlockPathInUse {
public:
    explicit BlockPathInUse(BlockPath path) { use_block_path(path); }
    BlockPathInUse(const BlockPathInUse&) = delete;
    BlockPathInUse& operator=(const BlockPathInUse&) = delete;
    ~BlockPathInUse() { use_block_path(block_paths().back()); }
};

// Where a text goes in a long line so that the blocks of every width meet
// it at each lane of a block's start and end, and across two blocks.
inline std::vector<std::size_t> offsets_in_blocks()
{
    std::vector<std::size_t> offsets;
    for (std::size_t offset = 0; offset <= 2 * 64 + 8; ++offset) {
        offsets.push_back(offset);
    }
    return offsets;
}
