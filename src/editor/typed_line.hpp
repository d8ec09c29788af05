#pragma once

#include "bytes.hpp"
#include "count/clusters.hpp"
#include "encoding.hpp"

#include <cstddef>
#include <string_view>

// The line as it is typed: its bytes, its characters (what a person sees as
// one: a grapheme cluster in UTF-8, a byte in a single-byte code set), and
// the cursor, which stands where a character starts, or at the end. Edits
// go by whole characters.
class TypedLine {
public:
    explicit TypedLine(Charset charset) noexcept : charset_(charset) {}

    [[nodiscard]] std::string_view text() const noexcept { return text_.view(); }
    [[nodiscard]] std::size_t cursor() const noexcept { return cursor_; }

    // The characters, in order: where each ends, and the columns that the
    // table gives it.
    [[nodiscard]] std::size_t characters() const noexcept { return characters_.size(); }
    [[nodiscard]] const ClusterExtent& character(std::size_t index) const noexcept
    {
        return characters_[index];
    }
    [[nodiscard]] std::size_t start_of(std::size_t index) const noexcept
    {
        return index == 0 ? 0 : characters_[index - 1].end;
    }
    // The character that starts at or holds byte `at`; characters() at the end.
    [[nodiscard]] std::size_t index_of(std::size_t at) const noexcept;

    // How many characters at the start stand as they stood at the last call.
    std::size_t take_unchanged() noexcept;

    // What is typed goes in at the cursor, which moves past it; it may join
    // the character before it, as an accent joins its letter.
    void insert(std::string_view bytes) noexcept;
    // Takes out the bytes [from, to), which lie where characters start; the
    // cursor goes there.
    void erase(std::size_t from, std::size_t to) noexcept;
    void move_to(std::size_t at) noexcept { cursor_ = at; }

    // Where the characters start: the last before `at`, the first after it;
    // and where the words do (what stands between spaces, in any script).
    [[nodiscard]] std::size_t start_before(std::size_t at) const noexcept;
    [[nodiscard]] std::size_t start_after(std::size_t at) const noexcept;
    [[nodiscard]] std::size_t word_start_before(std::size_t at) const noexcept;
    [[nodiscard]] std::size_t word_end_after(std::size_t at) const noexcept;

private:
    [[nodiscard]] ClusterExtent character_at(std::size_t at) const noexcept;
    [[nodiscard]] bool is_space(std::size_t index) const noexcept;
    // Drops the characters from the first that a change at `at` may join
    // on, and finds them again to the end.
    void find_characters_from(std::size_t at) noexcept;

    Charset charset_;
    Bytes text_;
    Growing<ClusterExtent> characters_;
    std::size_t cursor_ = 0;
    std::size_t unchanged_ = 0;
};
