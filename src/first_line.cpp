#include "first_line.hpp"

#include <array>
#include <cstring>

namespace {

const unsigned char* find(std::span<const unsigned char> bytes, unsigned char byte) noexcept
{
    return bytes.empty()
               ? nullptr
               : static_cast<const unsigned char*>(std::memchr(bytes.data(), byte, bytes.size()));
}

constexpr std::array<unsigned char, 1> carriage_return{'\r'};

} // namespace

bool FirstLine::add(std::span<const unsigned char> block) noexcept
{
    if (ended_) {
        return true;
    }
    const unsigned char* line_feed = find(block, '\n');
    ended_ = line_feed != nullptr;
    bytes_ += ended_ ? static_cast<std::size_t>(line_feed - block.data()) : block.size();
    if (!cut_) {
        count(ended_ ? block.first(static_cast<std::size_t>(line_feed - block.data())) : block,
              ended_);
    }
    return ended_;
}

void FirstLine::count(std::span<const unsigned char> bytes, bool line_feed_follows) noexcept
{
    if (cr_held_) {
        cr_held_ = false;
        if (!(line_feed_follows && bytes.empty())) {
            counter_.add(carriage_return);
        }
    }
    if (const unsigned char* zero = find(bytes, '\0')) {
        cut_ = true;
        counter_.add(bytes.first(static_cast<std::size_t>(zero - bytes.data())));
        return;
    }
    if (drop_cr_ && !bytes.empty() && bytes.back() == '\r') {
        // Whether this one goes depends on the next byte, which may be in the next block.
        bytes = bytes.first(bytes.size() - 1);
        cr_held_ = !line_feed_follows;
    }
    counter_.add(bytes);
}

std::uint64_t FirstLine::length(bool cut_short) noexcept
{
    if (cr_held_) {
        // The input ended after it: it is part of the line.
        counter_.add(carriage_return);
    }
    return counter_.total(cut_short);
}
