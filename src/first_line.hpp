#pragma once

#include "count/count.hpp"
#include "encoding.hpp"

#include <cstdint>
#include <span>
#include <string_view>

// The first line of a text that arrives in blocks: its characters are counted
// up to the first line feed, a carriage return directly before that line feed
// is not part of the line, and a zero byte ends the count (but not the line).
class FirstLine {
public:
    // drop_cr_before_lf is false where the input stream already drops it, so
    // that a second carriage return is not dropped as well.
    FirstLine(Charset charset, bool drop_cr_before_lf) noexcept
        : counter_(charset), drop_cr_(drop_cr_before_lf)
    {
    }

    // Takes the next block; true once the line has ended, after which further
    // blocks are not looked at.
    bool add(std::span<const unsigned char> block) noexcept;

    // The characters of the line, once the last block has been added (asked
    // once).
    // cut_short: the line was cut off in the middle, so that bytes which
    // begin a character the cut left unfinished are no character.
    [[nodiscard]] std::uint64_t length(bool cut_short = false) noexcept;

    // The bytes before the line feed, carriage returns and zeros included.
    [[nodiscard]] std::uint64_t bytes() const noexcept { return bytes_; }

    [[nodiscard]] bool ended() const noexcept { return ended_; }

private:
    void count(std::span<const unsigned char> bytes, bool line_feed_follows) noexcept;

    CharCounter counter_;
    bool drop_cr_;
    bool ended_ = false;   // the line feed has been seen
    bool cut_ = false;     // a zero byte has been seen: nothing more counts
    bool cr_held_ = false; // a block ended in a carriage return
    std::uint64_t bytes_ = 0;
};
