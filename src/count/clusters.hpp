#pragma once

#include "count/blocks.hpp"
#include "count/grapheme.hpp"
#include "count/held.hpp"

#include <cstddef>
#include <cstdint>
#include <span>

// Counts the user-perceived characters (grapheme clusters) of UTF-8 text that
// arrives in blocks of any size. Ill-formed UTF-8 stands for U+FFFD, one for
// each maximal subpart (the longest start of a valid sequence, or a byte that
// starts none), as decoders replace it: one character, which marks after it join.
class ClusterCounter {
public:
    void add(std::span<const unsigned char> bytes) noexcept;

    // The count of everything added, a code point cut off at the end included
    // (as one U+FFFD), unless the text was cut short there.
    [[nodiscard]] std::uint64_t total(bool cut_short = false) const noexcept;

private:
    BlockCounter blocks_ = block_counter_in_use();
    ClusterRules rules_;
    std::uint64_t count_ = 0;
    HeldBytes held_;
};

// One cluster of a text that is edited: where it ends, and how many columns
// it takes on a terminal. That is as many as its code points take, as
// terminals draw them, but that an emoji joined to one before it by a ZWJ
// takes none: the sequence shows as one emoji. Not `sure` where terminals
// differ on a code point of it: only the terminal itself can tell.
struct ClusterExtent {
    std::size_t end;
    unsigned columns;
    bool sure = true;
};

// The cluster that starts at `at`, where one starts, in the whole of `text`.
ClusterExtent cluster_at(std::span<const unsigned char> text, std::size_t at) noexcept;
