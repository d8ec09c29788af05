// What the Windows program makes of a console's code page, and of the UTF-16
// that a console hands over: shared code, tested on every platform.

#include "platform/code_page.hpp"
#include "platform/console_text.hpp"
#include "table.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string text_of(const Spelling& spelling)
{
    return std::string(spelling.view());
}

// A code page with ä at 0xE4 and no ö, as the system would answer.
Spelling latin_without_o_umlaut(unsigned /*code_page*/, char16_t letter)
{
    return letter == u'\u00e4' ? single_byte_spelling('\xE4') : Spelling{};
}

struct CodePageCase {
    const char* name;
    unsigned code_page;
    Charset counted_as;
    std::string a_umlaut;
    std::string o_umlaut;
};

using ConsoleCodePage = Table<CodePageCase>;

TEST_P(ConsoleCodePage, ChoosesHowTextIsCountedAndSpelt)
{
    const CodePageCase& c = GetParam();
    EXPECT_EQ(charset_of_code_page(c.code_page), c.counted_as);
    const Letters letters = letters_of_code_page(c.code_page, latin_without_o_umlaut);
    EXPECT_EQ(text_of(letters.a_umlaut), c.a_umlaut);
    EXPECT_EQ(text_of(letters.o_umlaut), c.o_umlaut);
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, ConsoleCodePage,
    testing::Values(
        CodePageCase{"NoConsole", 0, Charset::single_byte, "\x84", "\x94"},
        CodePageCase{"Oem437", 437, Charset::single_byte, "\x84", "\x94"},
        CodePageCase{"Oem850", 850, Charset::single_byte, "\x84", "\x94"},
        CodePageCase{"Utf8", 65001, Charset::utf8, "\xC3\xA4", "\xC3\xB6"},
        // Another code page spells what it has, and the 850 byte stands for what it lacks.
        CodePageCase{"AnsiLatin", 1252, Charset::single_byte, "\xE4", "\x94"},
        CodePageCase{"Utf7IsNoUtf8", 65000, Charset::single_byte, "\xE4", "\x94"}),
    row_name);

// The UTF-8 that the reads of a console give, each piece one read.
std::string utf8_of(const std::vector<std::u16string>& reads)
{
    ConsoleText text;
    std::string utf8;
    for (const std::u16string& read : reads) {
        std::vector<unsigned char> out(ConsoleText::room_for(read.size()));
        const std::size_t size = text.take(read, out);
        EXPECT_LE(size, out.size());
        utf8.append(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size));
    }
    return utf8;
}

struct ReadsCase {
    const char* name;
    std::vector<std::u16string> reads;
    std::string utf8;
};

using ConsoleReads = Table<ReadsCase>;

TEST_P(ConsoleReads, GiveTheTextAsUtf8)
{
    EXPECT_EQ(utf8_of(GetParam().reads), GetParam().utf8);
}

const std::string replacement = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Reads, ConsoleReads,
    testing::Values(
        ReadsCase{"Finnish", {u"Hyvää päivää\r\n"}, "Hyvää päivää\r\n"},
        ReadsCase{"OneTwoThreeBytes", {u"a\u00e4\u20ac\uffff"}, "aä€\xEF\xBF\xBF"},
        ReadsCase{"FirstAndLastOfEachLength",
                  {u"\u007f\u0080\u07ff\u0800"},
                  "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80"},
        ReadsCase{"SurrogatePairs", {u"\U0001F44D\U0001F3FD"}, "👍🏽"},
        ReadsCase{"FirstAndLastPairs", {u"\U00010000\U0010FFFF"}, "\U00010000\U0010FFFF"},
        ReadsCase{"PairSplitBetweenReads", {u"a\xD83D", u"\xDC4D!"}, "a👍!"},
        ReadsCase{"LoneHighBeforeALetter", {u"\xD83Dx"}, replacement + "x"},
        ReadsCase{"LoneHighBeforeAnotherPair", {u"\xD83D\xD83D\xDC4D"}, replacement + "👍"},
        ReadsCase{"LoneHighEndingAReadBeforeALetter", {u"\xDBFF", u"\u00e4"}, replacement + "ä"},
        ReadsCase{"LoneLow", {u"\xDC00x"}, replacement + "x"},
        ReadsCase{"LoneHighBeforeTheFirstPrivateUse", {u"\xD83D\uE000"}, replacement + "\uE000"},
        // Ctrl-Z ends the input, and nothing after it counts.
        ReadsCase{"CtrlZAtTheStart", {u"\x1a\r\n", u"more\r\n"}, ""},
        ReadsCase{"CtrlZAfterText", {u"abc\x1a\r\n", u"more\r\n"}, "abc"},
        ReadsCase{"CtrlZAfterAHeldHighSurrogate", {u"a\xD83D", u"\x1a"}, "a" + replacement},
        ReadsCase{"EmptyReadEndsTheInput", {u"a\xD83D", u"", u"\xDC4D"}, "a" + replacement}),
    row_name);

// The most a read can grow: every unit three bytes, after a lone high
// surrogate from the read before.
TEST(ConsoleReads, NeverWriteMoreThanTheRoomTheyAskFor)
{
    ConsoleText text;
    std::vector<unsigned char> out(ConsoleText::room_for(1));
    EXPECT_EQ(text.take(std::u16string(1, u'\xD800'), out), 0U);
    EXPECT_EQ(text.take(std::u16string(1, u'\uFFFF'), out), 6U);
    EXPECT_EQ(out.size(), 6U);
}

// A buffer is read in as large reads as fit it: one unit more would not.
TEST(ConsoleReads, TakeAsManyUnitsAsTheBufferHasRoomFor)
{
    for (std::size_t room = 6; room <= 200; ++room) {
        const std::size_t units = ConsoleText::units_for(room);
        EXPECT_LE(ConsoleText::room_for(units), room) << room;
        EXPECT_GT(ConsoleText::room_for(units + 1), room) << room;
    }
}

// What a console's writer sends at once: lines and line feeds apart, and a
// long line in pieces of whole characters.
TEST(ConsoleOutput, GoesInPiecesOfWholeCharacters)
{
    const auto pieces = [](std::string_view text, std::size_t most) {
        std::vector<std::string> sent;
        while (!text.empty()) {
            const std::string_view piece = next_console_piece(text, most);
            if (piece.empty()) {
                ADD_FAILURE() << "no progress";
                break;
            }
            sent.emplace_back(piece);
            text.remove_prefix(piece.size());
        }
        return sent;
    };
    using Pieces = std::vector<std::string>;
    EXPECT_EQ(pieces("ab\n\ncd", 8), (Pieces{"ab", "\n", "\n", "cd"}));
    EXPECT_EQ(pieces("abcdef", 4), (Pieces{"abcd", "ef"}));
    EXPECT_EQ(pieces("abcä€", 4), (Pieces{"abc", "ä", "€"}));
    EXPECT_EQ(pieces("ab👍", 5), (Pieces{"ab", "👍"}));
    // No lead to cut before: the bytes go as they are, for the console to show as U+FFFD.
    EXPECT_EQ(pieces("\x80\x80\x80", 2), (Pieces{"\x80\x80", "\x80"}));
}

} // namespace
