// What the blocks judge themselves, and where they hand over to the rules.
// A count is right either way, as the rules take whatever the blocks leave:
// only here does it show that punctuation, accents and emoji stay in the
// fast path, and that what needs the rules is left to them.

#include "block_paths.hpp"
#include "count/count.hpp"
#include "table.hpp"
#include "text.hpp"

#include <gtest/gtest.h>
#include <string>

namespace {

constexpr std::size_t not_judged = static_cast<std::size_t>(-1);

struct Piece {
    const char* name;
    std::string text;
    // Where in the text the first code point that needs the rules starts.
    std::size_t rules_at = not_judged;
};

using Blocks = Table<Piece>;

// The piece after a run of letters and before a long one, in every width of
// block, at every lane of a block.
TEST_P(Blocks, JudgeWhatTheyCanAndStopWhereTheRulesMustGoOn)
{
    const Piece& piece = GetParam();
    for (const BlockPath path : block_paths()) {
        const BlockCounter counter = block_counter(path);
        if (counter == nullptr) {
            continue;
        }
        for (std::size_t before = 1; before <= 65; ++before) {
            const std::string text = std::string(before, 'a') + piece.text + std::string(200, 'b');
            const auto bytes = bytes_of(text);
            const BlockRun run = counter(bytes.data(), bytes.data() + bytes.size());
            const auto stop = static_cast<std::size_t>(run.stop - bytes.data());
            if (piece.rules_at == not_judged) {
                // On to where two blocks and the four bytes after them no longer fit.
                ASSERT_LT(bytes.size() - stop, 2 * width_of(path) + 4)
                    << name_of(path) << ", at " << before;
            } else {
                ASSERT_EQ(stop, before + piece.rules_at) << name_of(path) << ", at " << before;
            }
            const BlockPathInUse rules(BlockPath::none);
            ASSERT_EQ(run.characters, count_chars(bytes.first(stop), Charset::utf8))
                << name_of(path) << ", at " << before;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, Blocks,
    testing::Values(
        Piece{"AUmlaut", "\xC3\xA4"}, Piece{"NoBreakSpace", "\xC2\xA0"},
        Piece{"AccentOnALetter", "e\xCC\x81"}, Piece{"AccentOnASpace", " \xCC\x81"},
        Piece{"LastAccent", "e\xCD\xAF"}, Piece{"AccentOnAUmlaut", "\xC3\xA4\xCC\x88"},
        Piece{"AccentOnU02FF", "\xCB\xBF\xCC\x88"}, Piece{"TwoAccents", "e\xCC\x88\xCC\x81"},
        Piece{"AccentAfterASoftHyphen", "\xC2\xAD\xCC\x81"},
        Piece{"AccentAfterTheLastC1Control", "\xC2\x9F\xCC\x81"},
        Piece{"AccentOnADegreeSign", "\xC2\xB0\xCC\x88"}, Piece{"AccentOnATab", "\t\xCC\x88"},
        Piece{"AccentOnATilde", "~\xCC\x88"}, Piece{"AccentOnADelete", "\x7F\xCC\x88"},
        Piece{"GreekLetter", "\xCD\xB0"}, Piece{"CyrillicLetter", "\xD0\x9F"},
        Piece{"LineFeed", "\n", 0}, Piece{"FirstDash", "\xE2\x80\x90"},
        Piece{"Ellipsis", "\xE2\x80\xA6"}, Piece{"LastBeforeLineSeparator", "\xE2\x80\xA7"},
        Piece{"PerMille", "\xE2\x80\xB0"}, Piece{"ReferenceMark", "\xE2\x80\xBB"},
        Piece{"FirstCurrencySign", "\xE2\x82\xA0"}, Piece{"LastCurrencySign", "\xE2\x82\xBF"},
        Piece{"CurrencyRowBeforeNoContinuation", "\xE2\x82\xC0", 0},
        Piece{"RightToLeftMark", "\xE2\x80\x8F"}, Piece{"LineSeparator", "\xE2\x80\xA8"},
        Piece{"DoubleExclamationMark", "\xE2\x80\xBC"},
        Piece{"BeforeTheCurrencySigns", "\xE2\x82\x9F"},
        Piece{"AfterTheCurrencySigns", "\xE2\x83\x80"}, Piece{"Heart", "\xE2\x9D\xA4"},
        Piece{"Thumb", "\xF0\x9F\x91\x8D"}, Piece{"FirstOfTheEmojiPlane", "\xF0\x9F\x80\x80"},
        Piece{"LastOfTheEmojiPlane", "\xF0\x9F\xBF\xBF"},
        Piece{"ThumbWithSkinTone", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"},
        Piece{"SkinToneAfterATab", "\t\xF0\x9F\x8F\xBD", 1},
        Piece{"HeartWithVariationSelector", "\xF0\x9F\x92\x99\xEF\xB8\x8F"},
        Piece{"CurrencySignBeforeAThumb", "\xE2\x82\xA3\xF0\x9F\x91\x8D"},
        Piece{"Keycap", "1\xEF\xB8\x8F\xE2\x83\xA3"}, Piece{"KeycapAfterATab", "\t\xE2\x83\xA3"},
        // A control of three bytes ends a block that needs classes, and the
        // next, of Latin text and emoji, starts with an accent: it joins none.
        Piece{"AccentAndThumbAfterAZeroWidthSpace", "\xE2\x80\x8B\xCC\x81\xF0\x9F\x91\x8D"},
        Piece{"FlagOfFinland", "\xF0\x9F\x87\xAB\xF0\x9F\x87\xAE"},
        // A third half in a row: which flag it starts the rules tell.
        Piece{"TwoFlags", "\xF0\x9F\x87\xAB\xF0\x9F\x87\xAE\xF0\x9F\x87\xB8\xF0\x9F\x87\xAA", 8},
        // The first and last rows of each range of rows of pictographs alone.
        Piece{"PictographsOfEveryRowJoined",
              "\xF0\x9F\x8D\x80\xE2\x80\x8D\xF0\x9F\x8D\xBF\xE2\x80\x8D\xF0\x9F\x90\x80\xE2"
              "\x80\x8D\xF0\x9F\x92\xBF\xE2\x80\x8D\xF0\x9F\x98\x80\xE2\x80\x8D\xF0\x9F\x98"
              "\xBF\xE2\x80\x8D\xF0\x9F\x9A\x80\xE2\x80\x8D\xF0\x9F\x9A\xBF\xE2\x80\x8D\xF0"
              "\x9F\xA6\x80\xE2\x80\x8D\xF0\x9F\xA7\xBF\xE2\x80\x8D\xF0\x9F\xAA\x80\xE2\x80"
              "\x8D\xF0\x9F\xAB\xBF"},
        // A row that holds other symbols too (U+1F322 is none since Unicode
        // 17.0): after a joiner, the rules tell.
        Piece{"JoinedPictographOfAMixedRow", "\xF0\x9F\x8C\x8D\xE2\x80\x8D\xF0\x9F\x8C\x8D", 7},
        Piece{"FamilyOfThree",
              "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"},
        Piece{"PictographJoinedToALetter", "\xE2\x80\x8D\xF0\x9F\x91\x8D", 3},
        Piece{"JoinerBeforeALetter",
              "\xF0\x9F\x91\x8D\xE2\x80\x8D"
              "c",
              4},
        // Scripts by their rows' classes: a conjunct (GB9c) followed back
        // over a nukta, and where the look-back cannot follow it.
        Piece{"Conjunct", "\xE0\xA4\x95\xE0\xA5\x8D\xE0\xA4\xB7"},
        Piece{"ConjunctOverANukta", "\xE0\xA4\x95\xE0\xA4\xBC\xE0\xA5\x8D\xE0\xA4\xB7"},
        Piece{"ConjunctLongerThanTheLookBack",
              "\xE0\xA4\x95\xE0\xA4\xBC\xE0\xA4\xBC\xE0\xA4\xBC\xE0\xA5\x8D\xE0\xA4\xB7", 15},
        Piece{"ConjunctOverAnAccentOfTwoBytes", "\xE0\xA4\x95\xCC\x81\xE0\xA5\x8D\xE0\xA4\xB7", 8},
        Piece{"ConjunctEndedByANonJoiner", "\xE0\xA4\x95\xE0\xA5\x8D\xE2\x80\x8C\xE0\xA4\xB7"},
        Piece{"KhmerCoeng", "\xE1\x9E\x80\xE1\x9F\x92\xE1\x9E\x9F"},
        Piece{"ThaiWithMarks", "\xE0\xB8\xAA\xE0\xB8\xA7\xE0\xB8\xB1\xE0\xB8\xAA\xE0\xB8\x94"
                               "\xE0\xB8\xB5"},
        Piece{"FirstOfThreeBytes", "\xE0\xA0\x80"}, Piece{"HangulSyllable", "\xEA\xB0\x80"},
        Piece{"LeadingJamo", "\xE1\x84\x80", 0}, Piece{"ArabicPrepend", "\xD8\x80", 0},
        Piece{"OverlongThreeBytes", "\xE0\x80\x80", 0}, Piece{"Surrogate", "\xED\xA0\x80", 0},
        // An overlong lead of two bytes starts no code point, in a block that
        // needs classes too: it and its continuation are a character each.
        Piece{"OverlongTwoBytesAfterADevanagariLetter", "\xE0\xA4\x95\xC1\x80"},
        Piece{"OverlongTwoBytesBeforeAThumb", "\xC1\x80\xF0\x9F\x91\x8D"},
        // Ill-formed: a joiner that a lone continuation byte follows is no
        // typeset punctuation, whatever that byte is.
        Piece{"JoinerBeforeALoneContinuation", "\xE2\x80\x8D\x90", 0}),
    row_name);

// Unless a path was chosen, counting takes the widest the processor has. (Each
// test runs in a process of its own under CTest, where nothing chose one.)
TEST(BlockPaths, TheWidestIsInUseUnlessAnotherWasChosen)
{
    EXPECT_EQ(block_counter_in_use(), block_counter(block_paths().back()));
    const BlockPathInUse rules_alone(BlockPath::none);
    EXPECT_EQ(block_counter_in_use(), nullptr);
}

} // namespace
