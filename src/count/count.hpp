#pragma once

// src/count: the counting engine. A line's characters in the terminal's code
// set (here); in UTF-8, the grapheme clusters of Unicode 17.0 (clusters.hpp)
// by the break rules (grapheme.hpp) and their generated table
// (grapheme_table.hpp, made by grapheme_table.mjs), a block of bytes at a
// time where the blocks can tell the clusters apart (blocks.hpp).

#include "count/clusters.hpp"
#include "count/held.hpp"
#include "encoding.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// Counts the characters of a text that arrives in blocks of any size. A
// character split between two blocks is counted once: the bytes whose meaning
// depends on what follows are held back until the next block, or until total().
class CharCounter {
public:
    explicit CharCounter(Charset charset) noexcept : charset_(charset) {}

    void add(std::span<const unsigned char> bytes) noexcept;

    // The count of everything added, the held-back bytes included unless the
    // text was cut short, when they are part of a character the cut left
    // unfinished.
    [[nodiscard]] std::uint64_t total(bool cut_short = false) const noexcept;

private:
    void add_multibyte(std::span<const unsigned char> bytes) noexcept;
    // Counts the characters that start in bytes[at, until) and returns where
    // the next one starts; nullopt once one runs past the end of `bytes`,
    // whose rest is then held for the next block.
    std::optional<std::size_t> count_multibyte(std::span<const unsigned char> bytes, std::size_t at,
                                               std::size_t until) noexcept;

    Charset charset_;
    ClusterCounter clusters_; // for UTF-8
    std::uint64_t count_ = 0;
    HeldBytes held_;
};

// The number of characters in a whole text.
std::uint64_t count_chars(std::span<const unsigned char> bytes, Charset charset) noexcept;
