#include "editor/typed_line.hpp"

#include <algorithm>
#include <span>

std::size_t TypedLine::index_of(std::size_t at) const noexcept
{
    const auto* holding = std::upper_bound(
        characters_.begin(), characters_.end(), at,
        [](std::size_t byte, const ClusterExtent& character) { return byte < character.end; });
    return static_cast<std::size_t>(holding - characters_.begin());
}

std::size_t TypedLine::take_unchanged() noexcept
{
    const std::size_t unchanged = unchanged_;
    unchanged_ = characters_.size();
    return unchanged;
}

ClusterExtent TypedLine::character_at(std::size_t at) const noexcept
{
    if (charset_ == Charset::utf8) {
        const std::string_view text = text_.view();
        return cluster_at({reinterpret_cast<const unsigned char*>(text.data()), text.size()}, at);
    }
    return {at + 1, 1};
}

void TypedLine::find_characters_from(std::size_t at) noexcept
{
    // The character that ends at `at` may take in what comes there now; and
    // where that was the start of a letter cut short, which what comes
    // completes, the letter may join the character before it.
    const auto* first = std::lower_bound(
        characters_.begin(), characters_.end(), at,
        [](const ClusterExtent& character, std::size_t byte) { return character.end < byte; });
    const auto ending_there = static_cast<std::size_t>(first - characters_.begin());
    const std::size_t kept = ending_there > 0 ? ending_there - 1 : 0;
    characters_.cut_to(kept);
    unchanged_ = std::min(unchanged_, kept);
    for (std::size_t p = start_of(kept); p < text_.size();) {
        const ClusterExtent character = character_at(p);
        if (!characters_.push(character)) {
            text_.erase(p, text_.size()); // no memory for more: the line ends here
            break;
        }
        p = character.end;
    }
}

void TypedLine::insert(std::string_view bytes) noexcept
{
    if (bytes.empty()) {
        return;
    }
    const std::size_t at = cursor_;
    text_.insert(at, bytes);
    find_characters_from(at);
    // Where what was typed ends inside a character, it joined the one after.
    const std::size_t typed_end = std::min(at + bytes.size(), text_.size());
    cursor_ = start_of(index_of(typed_end)) == typed_end ? typed_end : start_after(typed_end);
}

void TypedLine::erase(std::size_t from, std::size_t to) noexcept
{
    if (from >= to) {
        return;
    }
    text_.erase(from, to);
    find_characters_from(from);
    // What is left may join across the gap: the cursor stays where one starts.
    cursor_ = start_of(index_of(from));
}

std::size_t TypedLine::start_before(std::size_t at) const noexcept
{
    const std::size_t index = index_of(at);
    return index == 0 ? 0 : start_of(index - (start_of(index) == at ? 1 : 0));
}

std::size_t TypedLine::start_after(std::size_t at) const noexcept
{
    const std::size_t index = index_of(at);
    return index < characters() ? characters_[index].end : text_.size();
}

bool TypedLine::is_space(std::size_t index) const noexcept
{
    const unsigned char first = text_[start_of(index)];
    return first == ' ' || first == '\t';
}

std::size_t TypedLine::word_start_before(std::size_t at) const noexcept
{
    std::size_t index = index_of(at);
    while (index > 0 && is_space(index - 1)) {
        --index;
    }
    while (index > 0 && !is_space(index - 1)) {
        --index;
    }
    return start_of(index);
}

std::size_t TypedLine::word_end_after(std::size_t at) const noexcept
{
    std::size_t index = index_of(at);
    while (index < characters() && is_space(index)) {
        ++index;
    }
    while (index < characters() && !is_space(index)) {
        ++index;
    }
    return start_of(index);
}
