#include "counted.hpp"
#include "table.hpp"

#include <algorithm>
#include <clocale>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(__unix__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

std::uint64_t count(const std::string& text, Charset charset)
{
    return count_chars(bytes_of(text), charset);
}

struct Utf8Case {
    const char* name;
    std::string text;
    std::uint64_t characters;
    // Bytes of ill-formed sequences past the first of each maximal subpart:
    // the C library's decoder counts every such byte as a character too.
    std::uint64_t bytes_past_subparts = 0;
};

using Utf8Text = Table<Utf8Case>;

TEST_P(Utf8Text, CountsEachCharacterAndEachMaximalSubpartAsOneWhereverItStands)
{
    expect_counted_everywhere(GetParam().text, GetParam().characters);
}

// The C library's UTF-8 decoder judges every case the same way, but takes
// an ill-formed sequence a byte at a time.
TEST_P(Utf8Text, AgreesWithTheCLibraryDecoder)
{
    if (std::string(GetParam().name).starts_with("PastUnicode")) {
        GTEST_SKIP() << "glibc decodes sequences past U+10FFFF, which are no code points";
    }
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        GTEST_SKIP() << "no UTF-8 locale here (the Windows run-time has none)";
    }
    const std::uint64_t characters = GetParam().characters + GetParam().bytes_past_subparts;
    EXPECT_EQ(count_in_reads(GetParam().text, 2, Charset::multibyte), characters);
    EXPECT_EQ(count(GetParam().text, Charset::multibyte), characters);
    (void)std::setlocale(LC_CTYPE, "C");
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8Text,
    testing::Values(Utf8Case{"Empty", "", 0}, Utf8Case{"Ascii", "abc", 3},
                    Utf8Case{"FinnishGreeting", "Hyvää päivää", 12},
                    Utf8Case{"TwoThreeFourBytes", "ä€𝄞", 3},
                    Utf8Case{"LoneContinuationBytes", "\x80\xBF", 2},
                    // One U+FFFD for each maximal subpart: the longest start of a
                    // valid sequence, or a byte that starts none.
                    Utf8Case{"LeadCutShortByAscii", "\xE2\x82z", 2, 1},
                    Utf8Case{"LeadCutShortByEnd", "ab\xF0\x9F\x98", 3, 2},
                    Utf8Case{"ThreeOfFourBytesThenAscii", "\xF0\x9F\x87X", 2, 2},
                    Utf8Case{"TwoOfFourBytesThenAscii", "\xF4\x8Fz", 2, 1},
                    Utf8Case{"CutShortThenAWholeCharacter", "\xE2\x82\xE2\x82\xAC", 2, 1},
                    Utf8Case{"TwoByteLeadThenAnotherLead", "\xC3\xC3\xA4", 2},
                    // The byte below the continuation bytes continues nothing.
                    Utf8Case{"LeadThenDelete", "\xC3\x7F", 2},
                    Utf8Case{"CutShortTwiceAtTheEnd", "\xF0\x9F\x87\xF0\x9F", 2, 3},
                    Utf8Case{"OverlongSlash", "\xC0\xAF", 2},
                    Utf8Case{"OverlongTwoByteLeadC1", "\xC1\xBF", 2},
                    // E0 80 starts no valid sequence: E0 is a subpart of its own.
                    Utf8Case{"OverlongThreeByte", "\xE0\x80\xAF", 3},
                    Utf8Case{"OverlongThreeByteHighest", "\xE0\x9F\xBF", 3},
                    Utf8Case{"FirstThreeByte", "\xE0\xA0\x80", 1},
                    Utf8Case{"EncodedSurrogate", "\xED\xA0\x80", 3},
                    Utf8Case{"LastValidBeforeSurrogates", "\xED\x9F\xBF", 1},
                    Utf8Case{"OverlongFourByte", "\xF0\x80\x80\x80", 4},
                    Utf8Case{"OverlongFourByteHighest", "\xF0\x8F\xBF\xBF", 4},
                    Utf8Case{"FirstFourByte", "\xF0\x90\x80\x80", 1},
                    Utf8Case{"PastUnicode", "\xF4\x90\x80\x80", 4},
                    Utf8Case{"PastUnicodeLeadF5", "\xF5\x80\x80\x80", 4},
                    Utf8Case{"PastUnicodeLeadF7", "\xF7\xBF\xBF\xBF", 4},
                    Utf8Case{"LastCodePoint", "\xF4\x8F\xBF\xBF", 1},
                    Utf8Case{"BytesNeverInUtf8", "\xF5\xFE\xFF", 3},
                    Utf8Case{"ExtraContinuation", "\xC3\xA4\xA4", 2},
                    Utf8Case{"LastTwoByteThenAContinuation", "\xDF\xBF\x80", 2},
                    Utf8Case{"ThreeBytesThenAContinuation", "\xEF\x9F\x80\x80", 2},
                    Utf8Case{"LongRunOfFourByteCharacters", repeat("\xF0\x9D\x84\x9E", 2000), 2000},
                    // A dash in the same lane of every block: the most that the
                    // blocks' sums take in a lane, for long enough to overflow a byte.
                    Utf8Case{"LongRunOfDashes", repeat("\xE2\x80\x93kolmetoista, ", 3000), 42000},
                    Utf8Case{"LongMixed",
                             std::string(40, 'a') + "\xC3\xA4" + std::string(30, 'b') +
                                 "\xE2\x82\xAC\xF0\x9D\x84\x9E\xFF" + std::string(20, 'c'),
                             94}),
    row_name);

// Long enough for the block-at-a-time path, with every kind of sequence at
// every offset of a block.
TEST(Utf8Text, LongTextCountsTheSameAsItsPartsOneByOne)
{
    const std::string pieces[] = {
        "a",         "\xC3\xA4",     "\xE2\x82\xAC", "\xF0\x9D\x84\x9E", "\x80",
        "\xE2\x82z", "\xED\xA0\x80", "\xC0",         "\xF4\x90\x80\x80", "\xF0\x9F\x87z"};
    std::string text;
    std::uint64_t expected = 0;
    unsigned seed = 1;
    for (int i = 0; i < 5000; ++i) {
        seed = seed * 1103515245U + 12345U;
        const std::string& piece = pieces[(seed >> 16) % std::size(pieces)];
        text += piece;
        // Each invalid piece above stands alone: it counts as it does alone.
        expected += count(piece, Charset::utf8);
    }
    EXPECT_EQ(count(text, Charset::utf8), expected);
    EXPECT_EQ(count_in_reads(text, 4093), expected);
}

#if defined(__unix__)
// A readable page with nothing readable before or after it: text put at its
// very start or end, and any look past either end of what was read stops
// the test.
class GuardedPage {
public:
    GuardedPage()
        : size_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))),
          pages_(static_cast<unsigned char*>(
              mmap(nullptr, 3 * size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)))
    {
        if (pages_ == MAP_FAILED || mprotect(pages_ + size_, size_, PROT_READ | PROT_WRITE) != 0) {
            throw std::runtime_error("no guarded page");
        }
    }
    GuardedPage(const GuardedPage&) = delete;
    GuardedPage& operator=(const GuardedPage&) = delete;
    ~GuardedPage() { (void)munmap(pages_, 3 * size_); }

    std::span<const unsigned char> at_end(const std::string& text)
    {
        return put(text, pages_ + 2 * size_ - text.size());
    }
    std::span<const unsigned char> at_start(const std::string& text)
    {
        return put(text, pages_ + size_);
    }

private:
    static std::span<const unsigned char> put(const std::string& text, unsigned char* start)
    {
        std::copy(text.begin(), text.end(), start);
        return {start, text.size()};
    }

    std::size_t size_;
    unsigned char* pages_;
};

// Plain runs of every length after what the rules judge, ending at the end
// of the read with whatever may stop or cut them, in every width of block,
// at the start and at the end of a page. Among them: code points whose last
// bytes the last block leaves (a control with an accent that must not join
// it, and emoji that a joiner and an emoji follow), and lone continuation
// bytes that start a read and a run, which the rules look back over.
TEST(Utf8Text, ReadsNothingOutsideWhatWasReadAndCountsToItsEnd)
{
    GuardedPage page;
    const std::string around[] = {"",
                                  "\xF0\x9F\x91\x8D",
                                  "\xCC\x88",
                                  "\xE2\x80\x9D",
                                  "\xC3\x80",
                                  std::string("\xC2\x80\xCC\x88") + "abcd",
                                  "\xF0\x9F\x80\x80\xE2\x80\x8D\xF0\x9F\x91\x8D",
                                  "\xF0\x9F\xBF\x80\xE2\x80\x8D\xF0\x9F\x91\x8D",
                                  "\x80\x80\x80\xD0\x9F",
                                  std::string("\xC3\xD8\x80") + "abcd",
                                  "\xC3",
                                  "\xE2\x82"};
    std::vector<std::string> texts;
    std::vector<std::uint64_t> expected;
    {
        const BlockPathInUse in_use(BlockPath::none);
        for (const std::string& before : around) {
            for (const std::string& after : around) {
                for (std::size_t plain = 0; plain <= std::size_t{3} * 64; ++plain) {
                    std::string text = before;
                    text.append(plain, 'a');
                    texts.push_back(text.append(after));
                    expected.push_back(count(texts.back(), Charset::utf8));
                }
            }
        }
    }
    for (const BlockPath path : block_paths()) {
        const BlockPathInUse in_use(path);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            ASSERT_EQ(count_chars(page.at_end(texts[i]), Charset::utf8), expected[i])
                << name_of(path) << ", " << texts[i].size() << " bytes";
            ASSERT_EQ(count_chars(page.at_start(texts[i]), Charset::utf8), expected[i])
                << name_of(path) << ", " << texts[i].size() << " bytes";
        }
    }
}
#endif

} // namespace
