#pragma once

#include "grapheme.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Counts the user-perceived characters (grapheme clusters) of UTF-8 text that
// arrives in blocks of any size. A byte that begins no valid sequence stands
// for U+FFFD, as a terminal draws it: one character, which marks after it join.
class ClusterCounter {
public:
    void add(std::span<const unsigned char> bytes) noexcept;

    // The count of everything added, a code point cut off at the end included
    // (as a U+FFFD a byte), unless the text was cut short there.
    [[nodiscard]] std::uint64_t total(bool cut_short = false) const noexcept;

private:
    // Counts the code points that start in [p, end) and returns where the
    // first one that runs past `end` starts (`end` if none does).
    const unsigned char* count_from(const unsigned char* p, const unsigned char* begin,
                                    const unsigned char* end) noexcept;
    void hold(const unsigned char* p, const unsigned char* end) noexcept;

    ClusterRules rules_;
    std::uint64_t count_ = 0;
    // The first bytes of a code point that the next block completes.
    std::array<unsigned char, 3> held_{};
    std::size_t held_size_ = 0;
};
