#include "count/count.hpp"

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
    if (held_.size() > 0) {
        const HeldBytes::Joined joined = held_.joined_with(bytes, MB_LEN_MAX);
        const std::size_t held = held_.size();
        const std::optional<std::size_t> next = count_multibyte(joined.view(), 0, held);
        if (!next) {
            return;
        }
        at = *next - held;
        held_.clear();
    }
    count_multibyte(bytes, at, bytes.size());
}

std::optional<std::size_t> CharCounter::count_multibyte(std::span<const unsigned char> bytes,
                                                        std::size_t at, std::size_t until) noexcept
{
    while (at < until) {
        const std::size_t size = multibyte_char_size(bytes.data() + at, bytes.size() - at, false);
        if (size == 0) {
            held_.hold(bytes.subspan(at));
            return std::nullopt;
        }
        ++count_;
        at += size;
    }
    return at;
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
    const std::span<const unsigned char> held = held_.view();
    for (std::size_t at = 0; at < held.size(); ++count) {
        at += multibyte_char_size(held.data() + at, held.size() - at, true);
    }
    return count;
}

std::uint64_t count_chars(std::span<const unsigned char> bytes, Charset charset) noexcept
{
    CharCounter counter(charset);
    counter.add(bytes);
    return counter.total();
}
