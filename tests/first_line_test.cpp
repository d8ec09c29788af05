#include "first_line.hpp"
#include "table.hpp"

#include <gtest/gtest.h>
#include <string>

namespace {

struct Reading {
    std::uint64_t length;
    bool ended; // the reader was told the line had ended
};

// The text as a stream handed over in blocks of `block` bytes, as read() would.
Reading read_line(const std::string& text, std::size_t block,
                  Charset charset = Charset::single_byte, bool drop_cr = true)
{
    FirstLine line(charset, drop_cr);
    bool ended = false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t at = 0; at < text.size() && !ended; at += block) {
        ended = line.add({bytes + at, std::min(block, text.size() - at)});
    }
    return {line.length(), ended};
}

using LineCase = Case<std::uint64_t>; // the line's length

using FirstLineOfAText = Table<LineCase>;

TEST_P(FirstLineOfAText, HasTheSameLengthInAnyBlockSize)
{
    for (const std::size_t block : {1, 2, 3, 5, 64, 100000}) {
        EXPECT_EQ(read_line(GetParam().text, block).length, GetParam().expected)
            << "blocks of " << block;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, FirstLineOfAText,
    testing::Values(LineCase{"EmptyInput", "", 0}, LineCase{"EnterAlone", "\n", 0},
                    LineCase{"OnlyTheFirstLine", "abc\ndefgh\n", 3},
                    LineCase{"CrLf", "abc\r\nde\r\n", 3}, LineCase{"TwoCrs", "ab\r\r\n", 3},
                    LineCase{"CrInside", "a\rb\n", 3}, LineCase{"CrAtTheVeryEnd", "ab\r", 3},
                    LineCase{"CrThenZero", std::string("ab\r\0\n", 5), 3},
                    LineCase{"NoLineFeed", "ab", 2},
                    LineCase{"ZeroByteEndsTheCount", std::string("ab\0cd\n", 6), 2},
                    LineCase{"ZeroBeforeACrLf", std::string("a\0b\r\n", 5), 1},
                    LineCase{"ZeroFirst", std::string("\0abc", 4), 0},
                    LineCase{"LineFeedAfterZeroStillEndsTheLine", std::string("a\0\nbcdef", 8), 1}),
    row_name);

TEST(FirstLine, EndIsSeenSoReadingCanStop)
{
    EXPECT_TRUE(read_line("abc\nrest", 2).ended);
    EXPECT_FALSE(read_line("abc", 2).ended);
}

// What a terminal's limit is held against: every byte before the line feed.
TEST(FirstLine, BytesAreAllThoseBeforeTheLineFeed)
{
    FirstLine line(Charset::utf8, true);
    line.add({reinterpret_cast<const unsigned char*>("a\0\xC3\r\nrest"), 9});
    EXPECT_EQ(line.bytes(), 4U);
}

TEST(FirstLine, WhereTheStreamDropsCrItselfASecondCrStays)
{
    // The Windows run-time turns "ab\r\r\n" into "ab\r\n" already.
    EXPECT_EQ(read_line("ab\r\n", 1, Charset::single_byte, false).length, 3U);
}

TEST(FirstLine, Utf8CharacterSplitAroundACrStaysWhole)
{
    EXPECT_EQ(read_line("\xC3\xA4\r\n", 1, Charset::utf8).length, 1U);
    EXPECT_EQ(read_line("\xC3\r\n", 1, Charset::utf8).length, 1U);
}

// A terminal that cut the line may have cut a character in two.
TEST(FirstLine, CutShortCountsNoHalfCharacterAtItsEnd)
{
    for (const Charset charset : {Charset::utf8, Charset::single_byte}) {
        FirstLine line(charset, true);
        line.add({reinterpret_cast<const unsigned char*>("ab\xC3\n"), 4});
        EXPECT_EQ(line.length(true), charset == Charset::utf8 ? 2U : 3U);
    }
}

TEST(FirstLine, LongLineAcrossManyBlocksIsMeasuredInFull)
{
    const std::string text = std::string(1000000, 'x') + "\r\n" + std::string(1000, 'y');
    EXPECT_EQ(read_line(text, 65536).length, 1000000U);
    EXPECT_EQ(read_line(text, 7).length, 1000000U);
}

// Past what 32 bits hold, which is all a size_t holds on the Windows target.
TEST(FirstLine, LineOverFourGibibytesIsCountedWithoutWrapping)
{
    const std::string block(std::size_t{1} << 20, 'x');
    const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
    FirstLine line(Charset::single_byte, true);
    const std::uint64_t blocks = (std::uint64_t{1} << 12) + 1;
    for (std::uint64_t i = 0; i < blocks; ++i) {
        ASSERT_FALSE(line.add({bytes, block.size()}));
    }
    line.add({reinterpret_cast<const unsigned char*>("ab\r\n"), 4});
    EXPECT_EQ(line.length(), blocks * block.size() + 2);
}

} // namespace
