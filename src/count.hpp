#pragma once

#include "encoding.hpp"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>

// Counts the characters of a text that arrives in blocks of any size. A
// character split between two blocks is counted once: the bytes whose meaning
// depends on what follows are held back until the next block, or until total().
class CharCounter {
  public:
    explicit CharCounter(Charset charset) noexcept : charset_(charset) {}

    void add(std::span<const unsigned char> bytes) noexcept;

    // The count of everything added, the held-back bytes included.
    [[nodiscard]] std::uint64_t total() const noexcept;

  private:
    void add_utf8(std::span<const unsigned char> bytes) noexcept;
    void add_multibyte(std::span<const unsigned char> bytes) noexcept;
    void hold(std::span<const unsigned char> bytes) noexcept;

    Charset charset_;
    std::uint64_t count_ = 0;
    std::array<unsigned char, MB_LEN_MAX> held_{};
    std::size_t held_size_ = 0;
};

// The number of characters in a whole text.
std::uint64_t count_chars(std::span<const unsigned char> bytes, Charset charset) noexcept;
