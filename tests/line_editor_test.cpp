// The line as it is edited at a terminal: what keys make of it, and what the
// terminal shows of it.

#include "editor/line_editor.hpp"
#include "screen.hpp"
#include "text.hpp"

#include <gtest/gtest.h>
#include <string>

namespace {

const std::string prompt = "Anna tutkittava teksti: ";
const std::string left = "\x1b[D";
const std::string backspace = "\x7f";
const std::string paste_start = "\x1b[200~";
const std::string paste_end = "\x1b[201~";

struct Edit {
    std::string text;
    LineEditor::State state;
    Screen screen;
};

// The keys at a terminal of `columns`, all at once or a byte at a time.
Edit type(const std::string& keys, unsigned columns = 80, bool byte_by_byte = false)
{
    LineEditor editor(Charset::utf8, prompt, columns);
    Screen screen(columns);
    screen.write(prompt);
    Bytes drawn;
    LineEditor::State state = LineEditor::State::editing;
    for (std::size_t at = 0; at < keys.size() && state == LineEditor::State::editing;) {
        const std::size_t size = byte_by_byte ? 1 : keys.size();
        state = editor.take(bytes_of(keys).subspan(at, std::min(size, keys.size() - at)), drawn);
        at += size;
    }
    screen.write(drawn.view());
    return {std::string(editor.text()), state, screen};
}

struct Keys {
    const char* name;
    std::string keys;
    std::string line;
    LineEditor::State state = LineEditor::State::editing;
};

void PrintTo(const Keys& k, std::ostream* os)
{
    *os << k.name;
}

class KeysAtThePrompt : public testing::TestWithParam<Keys> {};

// Also a byte at a time, as a slow link hands over a function key's sequence.
TEST_P(KeysAtThePrompt, MakeTheLineAndShowItAfterThePrompt)
{
    for (const bool byte_by_byte : {false, true}) {
        const Edit edit = type(GetParam().keys, 80, byte_by_byte);
        EXPECT_EQ(edit.text, GetParam().line) << (byte_by_byte ? "a byte at a time" : "at once");
        EXPECT_EQ(edit.state, GetParam().state);
        if (GetParam().line.find('\t') == std::string::npos) {
            const std::string shown = prompt + GetParam().line;
            EXPECT_EQ(edit.screen.row(0), shown.substr(0, shown.find_last_not_of(' ') + 1));
        }
    }
}

using enum LineEditor::State;

INSTANTIATE_TEST_SUITE_P(
    Table, KeysAtThePrompt,
    testing::Values(Keys{"ArrowsBackToTheStartAndAFix", "abc" + repeat(left, 4) + "x", "xabc"},
                    Keys{"BackspaceTakesADecomposedLetterWhole", "Hyva\u0308a\u0308" + backspace,
                         "Hyva\u0308"},
                    Keys{"BackspaceTakesAFamilyWhole", "👨‍👩‍👧" + backspace, ""},
                    Keys{"BackspaceTakesAConjunctWhole", "नमस्ते" + backspace, "नम"},
                    Keys{"CtrlHIsBackspaceToo", "ab\x08", "a"},
                    Keys{"DeleteTakesTheOneUnderTheCursor", "abc\x1b[H\x1b[3~", "bc"},
                    Keys{"CtrlDInsideALineDeletes", "abc" + left + "\x04", "ab"},
                    Keys{"CtrlDOnAnEmptyLineEndsTheInput", "\x04", "", ended},
                    Keys{"HomeAndEndInTheirSpellings",
                         "c\x1b[Hb\x01"
                         "a\x1bOHz\x1b[1~y\x1b[F1\x05"
                         "2\x1b[4~3\x1bOF4",
                         "yzabc1234"},
                    Keys{"CtrlUCutsToTheStart", "abc def" + left + left + "\x15", "ef"},
                    Keys{"CtrlKCutsToTheEnd", "abc def\x01\x06\x06\x0b", "ab"},
                    Keys{"CtrlWCutsTheWordBefore", "abc def  \x17", "abc "},
                    Keys{"CtrlArrowsAndAltLettersMoveByWords",
                         "one two three\x1b[1;5D\x1b[1;5DX\x1b[1;5CY\x1b"
                         "bZ\x1b"
                         "fW",
                         "one ZXtwoYW three"},
                    // Past the parameters an escape sequence keeps, the rest are none.
                    Keys{"AnOverlongSequenceIsNoKey",
                         "ab" + left + "\x1b[" + std::string(16, '0') + "3~", "ab"},
                    Keys{"OtherKeysDoNothing",
                         "a\x1b[A\x1b[B\x1bOP\x1b[15~\x1b[5~\x1bx\x07"
                         "b",
                         "ab"},
                    Keys{"APasteIsTextNotKeys", paste_start + "x\x1b[Dy\x1b" + paste_end, "x[Dy"},
                    Keys{"APasteOfLettersOfManyBytes",
                         paste_start + "ä€👍🏽" + paste_end + "!", "ä€👍🏽!"},
                    Keys{"ALetterCutShortStaysAsItCame",
                         "\xC3\x01"
                         "b" +
                             paste_start + "a\xE2\x82" + paste_end,
                         "ba\xE2\x82\xC3"},
                    Keys{"APasteOfManyLinesGivesItsFirst", paste_start + "first\r\nsecond\nthird",
                         "first", entered},
                    Keys{"ATabIsPartOfTheLine", "a\tb", "a\tb"},
                    Keys{"EnterEndsTheLineAndWhatFollowsIsNotTaken", "ab\rcd", "ab", entered}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WideCharacter, AtTheRightEdgeGoesToTheNextRowAndTheCursorStepsOverIt)
{
    Edit edit = type("aaaaa漢", 30); // the prompt's 24 columns, five more: one left
    EXPECT_EQ(edit.screen.row(0), prompt + "aaaaa");
    EXPECT_EQ(edit.screen.row(1), "漢");
    EXPECT_EQ(edit.screen.cursor_row(), 1U);
    EXPECT_EQ(edit.screen.cursor_column(), 2U);
    edit = type("aaaaa漢" + left, 30);
    EXPECT_EQ(edit.screen.cursor_column(), 0U);
    edit = type("aaaaa漢" + left + left, 30);
    EXPECT_EQ(edit.screen.cursor_row(), 0U);
    EXPECT_EQ(edit.screen.cursor_column(), 28U);
}

TEST(LongLine, WrapsAndTakesAnInsertionAtItsStart)
{
    const Edit edit = type(std::string(20, 'x') + "\x01>", 30);
    EXPECT_EQ(edit.screen.row(0), prompt + ">xxxxx");
    EXPECT_EQ(edit.screen.row(1), std::string(15, 'x'));
    EXPECT_EQ(edit.screen.cursor_row(), 0U);
    EXPECT_EQ(edit.screen.cursor_column(), 25U);
}

TEST(LongLine, EndingAtTheRightEdgeLeavesTheCursorOnTheNextRow)
{
    Edit edit = type("123456", 30);
    EXPECT_EQ(edit.screen.row(0), prompt + "123456");
    EXPECT_EQ(edit.screen.cursor_row(), 1U);
    EXPECT_EQ(edit.screen.cursor_column(), 0U);
    edit = type("123456\r", 30);
    EXPECT_EQ(edit.screen.cursor_row(), 1U) << "no empty row after the line";
    edit = type("123456" + left + "\r", 30);
    EXPECT_EQ(edit.screen.cursor_row(), 1U) << "Enter with the cursor inside the line";
    EXPECT_EQ(edit.screen.cursor_column(), 0U);
}

// Only an escape sequence that may still go on waits for more; a paste does
// not end when its bytes pause.
TEST(EscapeSequence, IsOpenOnlyUntilItsFinalByte)
{
    LineEditor editor(Charset::utf8, prompt, 80);
    Bytes drawn;
    for (const char* open : {"\x1b", "[", "1;5"}) {
        (void)editor.take(bytes_of(open), drawn);
        EXPECT_TRUE(editor.in_sequence()) << open;
    }
    (void)editor.take(bytes_of("D" + paste_start + "a"), drawn);
    EXPECT_FALSE(editor.in_sequence());
    editor.sequence_timed_out();
    (void)editor.take(bytes_of("\x1b[Db" + paste_end), drawn);
    EXPECT_EQ(editor.text(), "a[Db");
}

TEST(Stop, BroughtBackDrawsThePromptAndTheLineAnew)
{
    LineEditor editor(Charset::utf8, prompt, 80);
    Bytes drawn;
    (void)editor.take(bytes_of("hei" + left), drawn);
    Screen screen(80);
    screen.write("$ fg\r\n");
    drawn.clear();
    editor.redraw(drawn);
    screen.write(drawn.view());
    EXPECT_EQ(screen.row(1), prompt + "hei");
    EXPECT_EQ(screen.cursor_column(), prompt.size() + 2);
}

TEST(SingleByteCodeSet, EachByteIsACharacter)
{
    LineEditor editor(Charset::single_byte, prompt, 80);
    Bytes drawn;
    (void)editor.take(bytes_of("p\xE4iv\xE4" + backspace + left + "\x1b[3~"), drawn);
    EXPECT_EQ(editor.text(), "p\xE4i");
    LineEditor ascii(Charset::single_byte, prompt, 80);
    drawn.clear();
    (void)ascii.take(bytes_of("abc" + left), drawn);
    Screen screen(80);
    screen.write(prompt + std::string(drawn.view()));
    EXPECT_EQ(screen.cursor_column(), prompt.size() + 2);
}

} // namespace
