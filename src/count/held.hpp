#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstring>
#include <span>

// The first bytes of a character that a block's end cut off, held until the
// next block completes it.
class HeldBytes {
public:
    // The held bytes followed by the first bytes of the next block: enough of
    // it to settle what the held bytes begin.
    struct Joined {
        std::array<unsigned char, std::size_t{2} * MB_LEN_MAX> bytes{};
        std::size_t size = 0;

        [[nodiscard]] std::span<const unsigned char> view() const { return {bytes.data(), size}; }
    };

    void hold(std::span<const unsigned char> bytes) noexcept
    {
        std::memmove(bytes_.data(), bytes.data(), bytes.size());
        size_ = bytes.size();
    }

    void clear() noexcept { size_ = 0; }

    [[nodiscard]] std::size_t size() const noexcept { return size_; }
    [[nodiscard]] std::span<const unsigned char> view() const { return {bytes_.data(), size_}; }

    // The held bytes and up to `lookahead` bytes of `next` after them.
    [[nodiscard]] Joined joined_with(std::span<const unsigned char> next,
                                     std::size_t lookahead) const noexcept
    {
        Joined joined;
        const std::size_t taken = std::min(next.size(), lookahead);
        std::memcpy(joined.bytes.data(), bytes_.data(), size_);
        if (taken > 0) {
            std::memcpy(joined.bytes.data() + size_, next.data(), taken);
        }
        joined.size = size_ + taken;
        return joined;
    }

private:
    std::array<unsigned char, MB_LEN_MAX> bytes_{};
    std::size_t size_ = 0;
};
