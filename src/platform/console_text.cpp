#include "platform/console_text.hpp"

#include "encoding.hpp"

#include <algorithm>

namespace {

constexpr char16_t ctrl_z = 0x1A;

constexpr bool is_high_surrogate(char32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

constexpr bool is_low_surrogate(char32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

std::size_t put_utf8(char32_t c, unsigned char* out) noexcept
{
    if (c < 0x80) {
        out[0] = static_cast<unsigned char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
    out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 4;
}

} // namespace

std::size_t ConsoleText::take(std::span<const char16_t> units,
                              std::span<unsigned char> out) noexcept
{
    if (ended_) {
        return 0;
    }
    const auto end = std::ranges::find(units, ctrl_z);
    ended_ = units.empty() || end != units.end();
    std::size_t written = 0;
    for (const char16_t unit : units.first(static_cast<std::size_t>(end - units.begin()))) {
        if (held_high_ != 0) {
            const char32_t high = held_high_;
            held_high_ = 0;
            if (is_low_surrogate(unit)) {
                const char32_t c = 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00);
                written += put_utf8(c, out.data() + written);
                continue;
            }
            written += put_utf8(replacement_character, out.data() + written);
        }
        if (is_high_surrogate(unit)) {
            held_high_ = unit;
        } else {
            written += put_utf8(is_low_surrogate(unit) ? replacement_character : unit,
                                out.data() + written);
        }
    }
    if (ended_ && held_high_ != 0) {
        held_high_ = 0;
        written += put_utf8(replacement_character, out.data() + written);
    }
    return written;
}

std::string_view next_console_piece(std::string_view text, std::size_t most) noexcept
{
    if (text.starts_with('\n')) {
        return text.substr(0, 1);
    }
    const std::string_view line = text.substr(0, text.find('\n'));
    if (line.size() <= most) {
        return line;
    }
    std::size_t cut = most;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0U) == 0x80U) {
        --cut; // a continuation byte: its character starts further back
    }
    return line.substr(0, cut > 0 ? cut : most);
}
