#include "message.hpp"

#include <algorithm>
#include <charconv>

void Rendered::append(std::string_view text) noexcept
{
    const std::size_t size = std::min(text.size(), bytes_.size() - size_);
    std::copy_n(text.data(), size, bytes_.data() + size_);
    size_ += size;
}

Rendered render(std::string_view message, const Letters& letters, std::uint64_t count)
{
    static constexpr std::string_view count_field = "%u";
    Rendered rendered;
    while (!message.empty()) {
        if (message.starts_with(count_field)) {
            std::array<char, 20> digits{};
            auto* const end = std::to_chars(digits.begin(), digits.end(), count).ptr;
            rendered.append({digits.data(), static_cast<std::size_t>(end - digits.data())});
            message.remove_prefix(count_field.size());
            continue;
        }
        const char byte = message.front();
        if (byte == cp850_a_umlaut) {
            rendered.append(letters.a_umlaut.view());
        } else if (byte == cp850_o_umlaut) {
            rendered.append(letters.o_umlaut.view());
        } else {
            rendered.append({&byte, 1});
        }
        message.remove_prefix(1);
    }
    return rendered;
}
