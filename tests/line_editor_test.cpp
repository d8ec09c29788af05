// What the terminal sends, as keys, and the line they make. What the screen
// shows of it is tested on real terminals (editor_screen_test.py).

#include "editor/key_decoder.hpp"
#include "editor/line_editor.hpp"
#include "editor/typed_line.hpp"
#include "table.hpp"
#include "text.hpp"

#include <deque>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const std::string prompt = "Anna tutkittava teksti: ";
const std::string left = "\x1b[D";
const std::string backspace = "\x7f";
const std::string paste_start = "\x1b[200~";
const std::string paste_end = "\x1b[201~";
constexpr SignalKeys usual_signals{0x03, 0x1C, 0x1A};

// The bytes of a literal, zero bytes included.
template <std::size_t size> std::string raw(const char (&bytes)[size])
{
    return {bytes, size - 1};
}

std::string name_of(unsigned code)
{
    std::string name;
    for (const auto& [flag, word] :
         {std::pair{key::ctrl, "Ctrl-"}, {key::alt, "Alt-"}, {key::shift, "Shift-"}}) {
        if ((code & flag) != 0) {
            name += word;
        }
    }
    code &= ~(key::ctrl | key::alt | key::shift);
    switch (code) {
    case key::up:
        return name + "Up";
    case key::down:
        return name + "Down";
    case key::right:
        return name + "Right";
    case key::left:
        return name + "Left";
    case key::home:
        return name + "Home";
    case key::end:
        return name + "End";
    case key::delete_key:
        return name + "Delete";
    case key::other:
        return name + "other";
    case key::letter:
        return name + "letter";
    default:
        return name + (code < 0x20 || code == 0x7F ? "^" + std::string(1, char(code ^ 0x40))
                                                   : std::string(1, char(code)));
    }
}

// The keys, one word each; text and pastes as they read, however split.
std::string described(const std::vector<Key>& keys)
{
    std::string words;
    Key::Kind last = Key::Kind::key;
    for (const Key& key : keys) {
        const bool goes_on = !words.empty() && key.kind == last &&
                             (key.kind == Key::Kind::text || key.kind == Key::Kind::paste);
        if (!goes_on) {
            words += words.empty() ? "" : " ";
        }
        switch (key.kind) {
        case Key::Kind::text:
            words += (goes_on ? "" : "text:") + std::string(key.text);
            break;
        case Key::Kind::paste:
            words += (goes_on ? "" : "paste:") + std::string(key.text);
            break;
        case Key::Kind::signal:
            words += key.signal == Signal::interrupt ? "INT"
                     : key.signal == Signal::quit    ? "QUIT"
                                                     : "TSTP";
            break;
        case Key::Kind::position:
            words += "at:" + std::to_string(key.row) + "," + std::to_string(key.column);
            break;
        case Key::Kind::key:
            words += name_of(key.code) + (key.text.empty() ? "" : ":" + std::string(key.text));
            break;
        }
        last = key.kind;
    }
    return words;
}

// All at once, or a byte at a time as a slow link hands it over; then what
// an open key is taken for when nothing more comes.
std::string decoded(const std::string& bytes, bool byte_by_byte, Charset charset = Charset::utf8)
{
    KeyDecoder decoder(charset, usual_signals);
    std::vector<Key> keys;
    std::deque<std::string> kept; // the keys' texts, and the bytes they are in, stay put
    const std::size_t step = byte_by_byte ? 1 : std::max<std::size_t>(bytes.size(), 1);
    for (std::size_t at = 0; at < bytes.size(); at += step) {
        kept.push_back(bytes.substr(at, step));
        decoder.feed(bytes_of(kept.back()));
        Key key;
        while (decoder.next(key)) {
            kept.emplace_back(key.text);
            key.text = kept.back();
            keys.push_back(key);
        }
    }
    Key key;
    if (decoder.timed_out(key)) {
        keys.push_back(key);
    }
    return described(keys);
}

using Bytes_ = Case<std::string>; // the bytes, and the keys they make

using KeysFromTheTerminal = Table<Bytes_>;

TEST_P(KeysFromTheTerminal, AreDecodedOnceWhateverTheReads)
{
    EXPECT_EQ(decoded(GetParam().text, false), GetParam().expected) << "at once";
    EXPECT_EQ(decoded(GetParam().text, true), GetParam().expected) << "a byte at a time";
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeysFromTheTerminal,
    testing::Values(
        Bytes_{"TextAndControls", "ab\x01\r\x7f\x08ä", "text:ab ^A ^M ^? ^H text:ä"},
        Bytes_{"CursorKeysWithModifiers", "\x1b[A\x1b[1;5D\x1b[1;3C\x1b[1;2H\x1b[1;9F",
               "Up Ctrl-Left Alt-Right Shift-Home Alt-End"},
        Bytes_{"Ss3KeysAlsoWithAModifier", "\x1bOD\x1bOH\x1bO5D\x1bO1;3C\x1bOd\x1bOM\x1bOP",
               "Left Home Ctrl-Left Alt-Right Ctrl-Left ^M other"},
        // A key's number left out is 1 (ECMA-48): ESC [ ~ is Home.
        Bytes_{"TildeKeys", "\x1b[1~\x1b[7~\x1b[4~\x1b[8~\x1b[3~\x1b[3;5~\x1b[2~\x1b[15~\x1b[~",
               "Home Home End End Delete Ctrl-Delete other other Home"},
        Bytes_{"RxvtModifiers", "\x1b[3^\x1b[3$\x1b[7@\x1b[d",
               "Ctrl-Delete Shift-Delete "
               "Ctrl-Shift-Home Shift-Left"},
        Bytes_{"LinuxConsoleFunctionKeys", "\x1b[[Ax", "other text:x"},
        Bytes_{"AltWithAnyLetter",
               "\x1b"
               "b\x1bä\x1b👍\x1b\x01\x1b\x1b[D",
               "Alt-b Alt-letter:ä Alt-letter:👍 Alt-^A Alt-Left"},
        Bytes_{"PrivateSequencesAreNoKeys", "\x1b[<0;1;2M\x1b[?1;2c\x1b[1 q", "other other other"},
        Bytes_{"AnOverlongSequenceIsNoKey", "\x1b[" + std::string(20, '1') + "D", "other"},
        Bytes_{"APositionReport", "\x1b[12;5Ra", "at:12,5 text:a"},
        Bytes_{"SignalCharactersAnywhereButInAPaste",
               "a\x03"
               "b\x1b[1\x1a\x1b\x1c",
               "text:a INT text:b TSTP QUIT"},
        Bytes_{"APasteIsTextWhateverItHolds",
               paste_start + raw("a\x03\x1b[Db\x1b[20x\x00\r") + paste_end + "c",
               raw("paste:a\x03\x1b[Db\x1b[20x\x00\r text:c")},
        Bytes_{"ALetterCutShortGoesAsItCame", "\xC3\x01\xE2\x82\x1b[D\xF0\x9F",
               "text:\xC3 ^A "
               "text:\xE2\x82 "
               "Left text:\xF0\x9F"},
        Bytes_{"EscapeAloneAfterAWhile", "a\x1b", "text:a ^["},
        Bytes_{"ASequenceCutShortAfterAWhile", "\x1b[1;", "other"},
        Bytes_{"AltAndALetterCutShort", "\x1b\xC3", "Alt-letter:\xC3"}),
    row_name);

// A letter split between two reads is one key, given once it is whole.
TEST(KeysFromTheTerminal, ALetterSplitBetweenReadsWaitsUntilItIsWhole)
{
    KeyDecoder decoder(Charset::utf8, usual_signals);
    Key key;
    const std::string first = "a\xC3";
    decoder.feed(bytes_of(first));
    ASSERT_TRUE(decoder.next(key));
    EXPECT_EQ(key.text, "a");
    EXPECT_FALSE(decoder.next(key)) << "half a letter given";
    const std::string second = "\xA4";
    decoder.feed(bytes_of(second));
    ASSERT_TRUE(decoder.next(key));
    EXPECT_EQ(key.text, "\xC3\xA4");
}

TEST(KeysFromTheTerminal, InASingleByteCodeSetAHighByteIsALetter)
{
    EXPECT_EQ(decoded("p\xE4\x1b\xE4", false, Charset::single_byte), "text:p\xE4 Alt-letter:\xE4");
}

// The keys at the prompt, all at once or a byte at a time.
struct Edit {
    std::string text;
    LineEditor::State state;
};

Edit type(const std::string& keys, bool byte_by_byte)
{
    LineEditor editor(Charset::utf8, prompt, {80, 24}, usual_signals);
    Bytes drawn;
    editor.answers_timed_out(drawn); // a terminal that says nothing
    LineEditor::State state = LineEditor::State::editing;
    const std::size_t step = byte_by_byte ? 1 : keys.size();
    for (std::size_t at = 0; at < keys.size() && state == LineEditor::State::editing; at += step) {
        state = editor.take(bytes_of(keys).subspan(at, std::min(step, keys.size() - at)), drawn);
    }
    if (editor.in_sequence()) {
        editor.sequence_timed_out(drawn);
    }
    return {std::string(editor.text()), state};
}

struct Keys {
    const char* name;
    std::string keys;
    std::string line;
    LineEditor::State state = LineEditor::State::editing;
};

using KeysAtThePrompt = Table<Keys>;

TEST_P(KeysAtThePrompt, MakeTheLine)
{
    for (const bool byte_by_byte : {false, true}) {
        const Edit edit = type(GetParam().keys, byte_by_byte);
        EXPECT_EQ(edit.text, GetParam().line) << (byte_by_byte ? "a byte at a time" : "at once");
        EXPECT_EQ(edit.state, GetParam().state);
    }
}

using enum LineEditor::State;

INSTANTIATE_TEST_SUITE_P(
    Table, KeysAtThePrompt,
    testing::Values(
        Keys{"ArrowsBackToTheStartAndAFix", "abc" + repeat(left, 4) + "x", "xabc"},
        Keys{"BackspaceTakesADecomposedLetterWhole", "Hyva\u0308a\u0308" + backspace, "Hyva\u0308"},
        Keys{"BackspaceTakesAFamilyWhole", "👨‍👩‍👧" + backspace, ""},
        Keys{"BackspaceTakesAConjunctWhole", "नमस्ते" + backspace, "नम"},
        // A Prepend ends the line alone, then joins what is typed after it.
        Keys{"APrependAtTheEndIsACharacterUntilItJoins",
             "a\u0600" + backspace + "\u0600b" + backspace, "a"},
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
        Keys{"WordsLeftAndRightInEveryTerminalsSpelling",
             "one two\x1bO5DX\x1b[1;3DY\x1bOdZ\x1b[1;3CW\x1bOcV", "one ZYXtwoWV"},
        Keys{"ShiftChangesNoKey", "ab\x1b[1;2Dc\x1b[1;6DX", "Xacb"},
        Keys{"OtherKeysDoNothing",
             "a\x1b[A\x1b[B\x1bOP\x1b[15~\x1b[5~\x1bx\x07\x1b[[A\x1b[Z\x1b\x7f"
             "b",
             "ab"},
        Keys{"AltWithALetterOfManyBytesDoesNothing", "ab\x1bä\x1b漢\x1b👍c", "abc"},
        Keys{"EscapeAloneDoesNothing", "ab\x1b", "ab"},
        Keys{"APasteIsTextNotKeys", paste_start + "x\x1b[Dy\x1b" + paste_end, "x\x1b[Dy\x1b"},
        Keys{"APasteHoldsControlsAndZeroBytes",
             paste_start + raw("a\x00\x07\x7f") + paste_end + "b",
             raw("a\x00\x07\x7f"
                 "b")},
        Keys{"SignalCharactersInAPasteAreText", paste_start + "a\x03\x1a\x1c" + paste_end,
             "a\x03\x1a\x1c"},
        Keys{"ATypedSignalCharacterDropsWhatFollows",
             "ab\x03"
             "cd",
             "ab", signalled},
        Keys{"APasteOfLettersOfManyBytes", paste_start + "ä€👍🏽" + paste_end + "!",
             "ä€👍🏽!"},
        Keys{"ALetterCutShortStaysAsItCame",
             "\xC3\x01"
             "b" +
                 paste_start + "a\xE2\x82" + paste_end,
             "ba\xE2\x82\xC3"},
        Keys{"APasteOfManyLinesGivesItsFirst", paste_start + "first\r\nsecond\nthird", "first",
             entered},
        Keys{"APasteEndedByItsLineEndAtTheCursor", "ab" + left + paste_start + "xy\rz", "axyb",
             entered},
        Keys{"ATabIsPartOfTheLine", "a\tb", "a\tb"},
        Keys{"EnterEndsTheLineAndWhatFollowsIsNotTaken", "ab\rcd", "ab", entered},
        Keys{"KeypadEnterEndsTheLine", "ab\x1bOMcd", "ab", entered},
        Keys{"PositionReportsAreNoKeys", "a\x1b[3;7Rb", "ab"}),
    row_name);

// Bytes that complete a letter cut short may make it join the character
// before it, as the whole text has it: a joiner's last two bytes.
TEST(TypedLine, ALetterCompletedLaterJoinsTheCharacterBeforeIt)
{
    TypedLine line(Charset::utf8);
    line.insert("a\xE2");
    line.insert("\x80\x8D");
    EXPECT_EQ(line.characters(), 1U);
}

TEST(SingleByteCodeSet, EachByteIsACharacter)
{
    LineEditor editor(Charset::single_byte, prompt, {80, 24}, usual_signals);
    Bytes drawn;
    (void)editor.take(bytes_of("p\xE4iv\xE4" + backspace + left + "\x1b[3~"), drawn);
    EXPECT_EQ(editor.text(), "p\xE4i");
}

} // namespace
