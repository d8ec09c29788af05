#include "count.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

// The bytes of the character at p[0], judged by the C library; 0 when it may
// go on past the bytes we have. An undecodable byte is a character of its own.
std::size_t multibyte_char_size(const unsigned char* p, std::size_t size, bool at_end) noexcept
{
    std::mbstate_t state{};
    const std::size_t result =
        std::mbrtowc(nullptr, reinterpret_cast<const char*>(p), size, &state);
    if (result == static_cast<std::size_t>(-2)) {
        return at_end || size >= static_cast<std::size_t>(MB_CUR_MAX) ? 1 : 0;
    }
    if (result == static_cast<std::size_t>(-1) || result == 0) {
        return 1;
    }
    return result;
}

} // namespace

void CharCounter::add(std::span<const unsigned char> bytes) noexcept
{
    switch (charset_) {
    case Charset::single_byte:
        count_ += bytes.size();
        break;
    case Charset::utf8:
        clusters_.add(bytes);
        break;
    case Charset::multibyte:
        add_multibyte(bytes);
        break;
    }
}

void CharCounter::add_multibyte(std::span<const unsigned char> bytes) noexcept
{
    std::size_t at = 0;
    if (held_size_ > 0) {
        const Joined joined = join_held(bytes, MB_LEN_MAX);
        const std::optional<std::size_t> next = count_multibyte(joined.view(), 0, held_size_);
        if (!next) {
            return;
        }
        at = *next - held_size_;
        held_size_ = 0;
    }
    count_multibyte(bytes, at, bytes.size());
}

std::optional<std::size_t> CharCounter::count_multibyte(std::span<const unsigned char> bytes,
                                                        std::size_t at, std::size_t until) noexcept
{
    while (at < until) {
        const std::size_t size = multibyte_char_size(bytes.data() + at, bytes.size() - at, false);
        if (size == 0) {
            hold(bytes.subspan(at));
            return std::nullopt;
        }
        ++count_;
        at += size;
    }
    return at;
}

CharCounter::Joined CharCounter::join_held(std::span<const unsigned char> next,
                                           std::size_t lookahead) const noexcept
{
    Joined joined;
    const std::size_t taken = std::min(next.size(), lookahead);
    std::memcpy(joined.bytes.data(), held_.data(), held_size_);
    std::memcpy(joined.bytes.data() + held_size_, next.data(), taken);
    joined.size = held_size_ + taken;
    return joined;
}

void CharCounter::hold(std::span<const unsigned char> bytes) noexcept
{
    std::memmove(held_.data(), bytes.data(), bytes.size());
    held_size_ = bytes.size();
}

std::uint64_t CharCounter::total(bool cut_short) const noexcept
{
    if (charset_ == Charset::utf8) {
        return clusters_.total(cut_short);
    }
    std::uint64_t count = count_;
    if (cut_short) {
        return count;
    }
    for (std::size_t at = 0; at < held_size_; ++count) {
        at += multibyte_char_size(held_.data() + at, held_size_ - at, true);
    }
    return count;
}

std::uint64_t count_chars(std::span<const unsigned char> bytes, Charset charset) noexcept
{
    CharCounter counter(charset);
    counter.add(bytes);
    return counter.total();
}
