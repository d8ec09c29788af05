// User-perceived characters against the Unicode Character Database's own
// test cases, read from its file, and the examples users meet.

#include "break_tests.hpp"
#include "counted.hpp"
#include "table.hpp"

#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace {

TEST(UnicodeBreakTests, EveryBoundaryAndCountAsTheDatabaseGivesThemInAnySplit)
{
    const std::vector<BreakCase> cases = read_break_tests(GRAPHEME_BREAK_TESTS);
    ASSERT_EQ(cases.size(), 766U) << GRAPHEME_BREAK_TESTS << ": not the test file of Unicode 17.0";
    EXPECT_EQ(std::string(grapheme_table::unicode_version), "17.0.0");
    for (const BreakCase& test : cases) {
        // No rule looks past the next code point, so a boundary before code
        // point i shows as one more character in the text that ends with it.
        std::string text;
        std::uint64_t before = 0;
        for (std::size_t i = 0; i < test.code_points.size(); ++i) {
            text += test.code_points[i];
            const std::uint64_t now = count_utf8(text);
            EXPECT_EQ(now - before, test.break_before[i] ? 1U : 0U)
                << test.line << "(before code point " << i << ")";
            before = now;
        }
        for (std::size_t split = 0; split <= text.size(); ++split) {
            EXPECT_EQ(count_in_two_reads(text, split), before)
                << test.line << "(split after byte " << split << ")";
        }
        // Between controls, which break on both sides (GB4, GB5), and long
        // enough to be judged a block at a time, in each width of block,
        // starting at lanes around a block's start and end.
        for (const BlockPath path : block_paths()) {
            const BlockPathInUse in_use(path);
            for (const std::size_t offset :
                 {0, 1, 2, 3, 5, 8, 13, 15, 16, 30, 31, 33, 61, 62, 63, 64, 66}) {
                const std::string between_tabs =
                    std::string(offset, '\t') + text + std::string(140, '\t');
                EXPECT_EQ(count_utf8(between_tabs), before + offset + 140)
                    << test.line << "(" << name_of(path) << ", after " << offset << " tabs)";
            }
        }
    }
}

using Seen = Case<std::uint64_t>; // the characters on the screen

using WhatPeopleSee = Table<Seen>;

TEST_P(WhatPeopleSee, CountsOneCharacterForEachOnTheScreenWhereverItStands)
{
    expect_counted_everywhere(GetParam().text, GetParam().expected);
}

// The code points of the benchmark's prose samples, one for each script,
// each as its UTF-8 bytes, and the samples whole.
struct Samples {
    std::vector<std::string> texts;
    std::vector<std::string> code_points;
};

Samples read_samples()
{
    Samples samples;
    std::set<std::string> seen;
    for (const char* script : {"", "-amharic", "-arabic", "-bengali", "-chinese", "-hindi",
                               "-japanese", "-khmer", "-korean", "-russian", "-tamil", "-thai"}) {
        std::ifstream file(std::string(PROSE_SAMPLES) + "/prose" + script + ".txt",
                           std::ios::binary);
        std::string text;
        for (std::string line; std::getline(file, line);) {
            if (!line.empty() && line[0] != '#') {
                text += line + " ";
            }
        }
        for (std::size_t at = 0; at < text.size();) {
            const Decoded decoded = decode(bytes_of(text).subspan(at).data(), text.size() - at);
            const std::size_t size = decoded.size > 0 ? decoded.size : 1;
            if (seen.insert(text.substr(at, size)).second) {
                samples.code_points.push_back(text.substr(at, size));
            }
            at += size;
        }
        samples.texts.push_back(std::move(text));
    }
    return samples;
}

std::uint64_t count_by_the_rules(const std::string& text)
{
    const BlockPathInUse in_use(BlockPath::none);
    return count_utf8(text);
}

// Each prose sample counted in each width of block as code point by code
// point, whole and in two reads split at every byte.
TEST(EveryWidthOfBlock, CountsEachScriptsProseAsTheRulesDo)
{
    const Samples samples = read_samples();
    ASSERT_EQ(samples.texts.size(), 12U);
    for (const std::string& text : samples.texts) {
        ASSERT_GT(text.size(), 1000U) << "a sample is missing from " << PROSE_SAMPLES;
        const std::uint64_t expected = count_by_the_rules(text);
        for (const BlockPath path : block_paths()) {
            const BlockPathInUse in_use(path);
            ASSERT_EQ(count_utf8(text), expected) << name_of(path) << ": " << text.substr(0, 60);
            for (std::size_t split = 0; split <= text.size(); ++split) {
                ASSERT_EQ(count_in_two_reads(text, split), expected)
                    << name_of(path) << ", split after byte " << split << ": "
                    << text.substr(0, 60);
            }
        }
    }
}

// Random texts of what the blocks judge themselves or hand to the rules: the
// code points of every script's sample, a code point of every row of the
// emoji plane, and the pieces the rules' edges are made of, counted in each
// width of block as code point by code point, whole and in two reads.
TEST(EveryWidthOfBlock, CountsRandomTextsAsTheRulesDo)
{
    std::vector<std::string> pieces = {"a",
                                       " ",
                                       "\t",
                                       "\r",
                                       "\xC2\x85",
                                       "\xC2\xA9",
                                       "\xCC\x88",
                                       "\xCD\xAF",
                                       "\xD8\x80",
                                       "\xE1\x84\x80",
                                       "\xE1\x85\xA1",
                                       "\xE1\x86\xA8",
                                       "\xE2\x80\x8C",
                                       "\xE2\x80\x8D",
                                       "\xE2\x80\x8F",
                                       "\xE2\x80\xBC",
                                       "\xE2\x83\xA3",
                                       "\xEF\xB8\x8F",
                                       "\xE0\xA5\x8D",
                                       "\xE0\xA4\xBC",
                                       "\xF0\x9F\x87\xAB",
                                       "\xF0\x9F\x8F\xBD",
                                       "\xFF",
                                       "\xE2\x82",
                                       "\xF0\x9F\x87",
                                       "\xE0\x80\x80",
                                       "\xED\xA0\x80"};
    const Samples samples = read_samples();
    pieces.insert(pieces.end(), samples.code_points.begin(), samples.code_points.end());
    unsigned seed = 17;
    const auto next = [&seed](unsigned below) {
        seed = seed * 1103515245U + 12345U;
        return (seed >> 8) % below;
    };
    for (int round = 0; round < 10000; ++round) {
        std::string text;
        const unsigned length = 40 + next(80);
        // Half the texts in one script's code points with a few others.
        const unsigned from = round % 2 == 0 ? 0 : next(static_cast<unsigned>(pieces.size() - 40));
        const unsigned among = round % 2 == 0 ? static_cast<unsigned>(pieces.size()) : 40;
        for (unsigned i = 0; i < length; ++i) {
            if (next(12) == 0) { // a code point of the emoji plane, any row
                text += "\xF0\x9F";
                text += static_cast<char>(0x80 + next(64));
                text += static_cast<char>(0x80 + next(64));
            } else if (next(8) == 0) {
                text += pieces[next(27)];
            } else {
                text += pieces[from + next(among)];
            }
        }
        const std::uint64_t expected = count_by_the_rules(text);
        const std::size_t split = next(static_cast<unsigned>(text.size()));
        for (const BlockPath path : block_paths()) {
            const BlockPathInUse in_use(path);
            ASSERT_EQ(count_utf8(text), expected) << name_of(path) << ", text " << round;
            ASSERT_EQ(count_in_two_reads(text, split), expected)
                << name_of(path) << ", text " << round << " split after byte " << split;
        }
    }
}

// Every code point of two and three bytes where the blocks' classes matter:
// after a letter and a control, twice, in a conjunct and around one, after a
// mark and before one, counted in each width of block as the rules count it.
TEST(EveryWidthOfBlock, CountsEveryCodePointBelowU10000InContextAsTheRulesDo)
{
    for (char32_t c = 0x80; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            continue;
        }
        std::string text;
        for (const char* before : {"a", "\t", "", "\xE0\xA4\x95\xE0\xA5\x8D", "\xE0\xA4\xB7",
                                   "\xE0\xA5\x8D\xE0\xA4\x95\xCC\x81", "\xCC\x81"}) {
            text += before;
            text += utf8(c);
        }
        text += std::string(70, 'b');
        const std::uint64_t expected = count_by_the_rules(text);
        for (const BlockPath path : block_paths()) {
            const BlockPathInUse in_use(path);
            ASSERT_EQ(count_utf8(text), expected)
                << name_of(path) << ", U+" << std::hex << static_cast<unsigned>(c);
        }
    }
}

const std::string a_umlaut_decomposed = "a\xCC\x88";

INSTANTIATE_TEST_SUITE_P(
    Examples, WhatPeopleSee,
    testing::Values(
        Seen{"DecomposedFinnish", "Hyv" + a_umlaut_decomposed + a_umlaut_decomposed, 5},
        Seen{"ComposedFinnish", "Hyv\xC3\xA4\xC3\xA4", 5}, Seen{"AcuteAccent", "e\xCC\x81", 1},
        // More accents than a byte lane of the block count can sum.
        Seen{"ThousandAccentsOnOneLetter", "a" + repeat("\xCC\x88", 1000), 1},
        Seen{"ThumbWithSkinTone", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 1},
        Seen{"FamilyOfFour",
             "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7\xE2\x80"
             "\x8D\xF0\x9F\x91\xA6",
             1},
        Seen{"FlagOfFinland", "\xF0\x9F\x87\xAB\xF0\x9F\x87\xAE", 1},
        Seen{"TwoFlags", "\xF0\x9F\x87\xAB\xF0\x9F\x87\xAE\xF0\x9F\x87\xB8\xF0\x9F\x87\xAA", 2},
        Seen{"FlagAndAHalf", "\xF0\x9F\x87\xAB\xF0\x9F\x87\xAE\xF0\x9F\x87\xB8", 2},
        Seen{"Keycap", "1\xEF\xB8\x8F\xE2\x83\xA3", 1},
        Seen{"HangulJamo", "\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8", 1},
        // Four bytes just below the emoji plane: an Adlam letter and its mark.
        Seen{"AdlamLetterWithItsMark", "\xF0\x9E\xA4\x80\xF0\x9E\xA5\x84", 1},
        // Tags after a black flag: the flag of Scotland.
        Seen{"FlagOfScotland",
             "\xF0\x9F\x8F\xB4\xF3\xA0\x81\xA7\xF3\xA0\x81\xA2\xF3\xA0\x81\xB3\xF3\xA0\x81\xA3"
             "\xF3\xA0\x81\xB4\xF3\xA0\x81\xBF",
             1},
        // Short runs between letters that the rules take one by one.
        Seen{"GuillemetsInRussian",
             "\xD0\x9E\xD0\xBD \xD1\x81\xD0\xBA\xD0\xB0\xD0\xB7\xD0\xB0\xD0\xBB: "
             "\xC2\xAB\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\xC2\xBB, \xD0\xB8 "
             "\xD1\x83\xD1\x88\xD1\x91\xD0\xBB.",
             28},
        Seen{"GreetingWithThumb", "Hyv\xC3\xA4\xC3\xA4 \xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 7},
        Seen{"CopyrightSignJoinedToAnEmoji", "\xC2\xA9\xE2\x80\x8D\xF0\x9F\x91\x8D", 1},
        Seen{"AccentAfterAControlStandsAlone", "\t\xCC\x81", 2},
        Seen{"AccentAfterAnEmoji", "\xF0\x9F\x91\x8D\xCC\x81", 1},
        Seen{"AccentAfterTheNextLineControl", "\xC2\x85\xCC\x88", 2},
        Seen{"AccentAfterTheNextLineControlAfterLetters", "\xC3\xA4\xC3\xA4\xC2\x85\xCC\x88", 4},
        Seen{"EmojiJoinedToACopyrightSign", "\xF0\x9F\x91\x8D\xE2\x80\x8D\xC2\xA9", 1},
        Seen{"CrInsideTheTextIsACharacter", "a\rb", 3},
        // An invalid byte is drawn as U+FFFD, which accents join.
        Seen{"AccentOnAnInvalidByte", "\xFF\xCC\x88", 1},
        Seen{"AccentOnALoneContinuationByte", "\x80\xCC\x88", 1},
        // A sequence cut short is one U+FFFD, however many bytes it has.
        Seen{"CutShortSequenceThenAccent", "\xE2\x82\xCC\x88", 1},
        Seen{"ThreeOfFourBytesThenAccent", "\xF0\x9F\x87\xCC\x88", 1},
        Seen{"ThreeOfFourBytesThenAFlag", "\xF0\x9F\x87\xF0\x9F\x87\xAB", 2},
        Seen{"PrependJoinsTheNextLetter",
             "\xD8\x80"
             "a",
             1},
        Seen{"PrependThenInvalidByte", "\xD8\x80\xFF", 1},
        Seen{"PrependThenASequenceCutShort", "\xD8\x80\xE2\x82", 1}),
    row_name);

} // namespace
