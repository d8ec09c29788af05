#pragma once

// A text's count wherever the counter meets it: whole; in each width of
// block, starting at every lane of a block's start and end, between
// controls; among letters, many times over; and however reads split it:
// in reads of 1 to 9 bytes, and in two reads split at each byte (at
// evenly spread bytes of a long text), where the blocks look back past
// the start of a read. The UTF-8 tables of the tests are rows for this.

#include "block_paths.hpp"
#include "count/count.hpp"
#include "text.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

inline std::uint64_t count_utf8(const std::string& text)
{
    return count_chars(bytes_of(text), Charset::utf8);
}

// The text handed over in reads of `size` bytes.
inline std::uint64_t count_in_reads(const std::string& text, std::size_t size,
                                    Charset charset = Charset::utf8)
{
    CharCounter counter(charset);
    for (std::size_t at = 0; at < text.size(); at += size) {
        counter.add(bytes_of(text).subspan(at, std::min(size, text.size() - at)));
    }
    return counter.total();
}

// The text handed over in two reads, the first of `split` bytes.
inline std::uint64_t count_in_two_reads(const std::string& text, std::size_t split)
{
    CharCounter counter(Charset::utf8);
    counter.add(bytes_of(text).first(split));
    counter.add(bytes_of(text).subspan(split));
    return counter.total();
}

// `text` is of `characters`, and joins nothing around it.
inline void expect_counted_everywhere(const std::string& text, std::uint64_t characters)
{
    EXPECT_EQ(count_utf8(text), characters) << "whole";
    const std::string letters = "Hyv\xC3\xA4\xC3\xA4 p\xC3\xA4iv\xC3\xA4\xC3\xA4, "; // 14
    std::string among_letters;
    for (int i = 0; i < 12; ++i) {
        among_letters += letters + text;
    }
    const std::string in_two_reads = letters + text + std::string(150, 'b');
    const std::size_t step = std::max<std::size_t>(1, in_two_reads.size() / 1024);
    for (const BlockPath path : block_paths()) {
        const BlockPathInUse in_use(path);
        for (const std::size_t offset : offsets_in_blocks()) {
            ASSERT_EQ(count_utf8(std::string(offset, '\t') + text + std::string(150, '\t')),
                      characters + offset + 150)
                << name_of(path) << ", after " << offset << " tabs";
        }
        EXPECT_EQ(count_utf8(among_letters), 12 * (14 + characters))
            << name_of(path) << ", among letters";
        for (std::size_t split = 0; split <= in_two_reads.size(); split += step) {
            ASSERT_EQ(count_in_two_reads(in_two_reads, split), 14 + characters + 150)
                << name_of(path) << ", split after byte " << split;
        }
    }
    for (std::size_t size = 1; size <= 9; ++size) {
        EXPECT_EQ(count_in_reads(text, size), characters) << "reads of " << size;
    }
}
