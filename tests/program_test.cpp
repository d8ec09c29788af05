// The built program through pipes and files, as scripts and redirections use it.

#include "break_tests.hpp"
#include "process.hpp"
#include "table.hpp"
#include "text.hpp"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>

namespace {

const std::string banner_cp850 =
    "Ohjelma tutkii annetun tekstin pituuden (maks 256 merkki\x84)\n\n";
const std::string prompt = "Anna tutkittava teksti: ";
// What a UTF-8 run writes before its result line.
const std::string no_result_line =
    "Ohjelma tutkii annetun tekstin pituuden (maks 256 merkkiä)\n\n" + prompt;

std::string result_cp850(const std::string& count)
{
    return "Tekstin mitta on " + count + " merkki\x84.\n";
}

Outcome run_in(const std::string& locale, const std::string& input)
{
    RunOptions options;
    options.input = input;
    options.environment = locale_environment(locale);
    return run_program(options);
}

// The whole of what a C-locale run writes for a line of `count` characters.
std::string dialogue_cp850(const std::string& count)
{
    return banner_cp850 + prompt + result_cp850(count);
}

using Measured = Case<std::string>; // the input, and its count

using FirstLineInTheCLocale = Table<Measured>;

TEST_P(FirstLineInTheCLocale, IsMeasuredAndReportedByteForByte)
{
    const Outcome run = run_in("C", GetParam().text);
    EXPECT_EQ(run.out, dialogue_cp850(GetParam().expected));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, 0);
}

// What the unit tests of the line reader cannot see: the real reads, the
// end of real input, and the exact bytes around the count.
INSTANTIATE_TEST_SUITE_P(
    Lines, FirstLineInTheCLocale,
    testing::Values(Measured{"EnterAlone", "\n", "0"}, Measured{"EmptyInput", "", "0"},
                    Measured{"Exactly256", std::string(256, 'x') + "\n", "256"},
                    Measured{"LongerThan256IsMeasuredInFull", std::string(100000, 'x') + "\n",
                             "100000"},
                    Measured{"CrLfFile", "abc\r\nsecond line\r\n", "3"},
                    Measured{"NoFinalLineFeed", "ab", "2"},
                    Measured{"ZeroByteEndsCount", std::string("a\0bc\n", 5), "1"},
                    Measured{"ByteOfCodePage850", "p\x84iv\x84\n", "5"}),
    row_name);

TEST(UnicodeTerminal, SpellsTheMessagesInUtf8)
{
    const Outcome run = run_in("C.UTF-8", "Hyvää päivää\n");
    EXPECT_EQ(run.out, no_result_line + "Tekstin mitta on 12 merkki\xC3\xA4.\n");
    EXPECT_EQ(run.exit_status, 0);
}

using Utf8Line = Table<Measured>;

TEST_P(Utf8Line, IsCountedAsTheTerminalShowsIt)
{
    const Outcome run = run_in("C.UTF-8", GetParam().text);
    EXPECT_NE(run.out.find("Tekstin mitta on " + GetParam().expected + " merkki\xC3\xA4.\n"),
              std::string::npos)
        << run.out.substr(0, 200);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Utf8Line,
    testing::Values(
        // A lone continuation byte, a cut-short sequence and an overlong slash:
        // one for each maximal subpart.
        Measured{"IllFormedBytesCountOneForEachMaximalSubpart", "a\x80\xE2\x82z\xC0\xAF\n", "6"},
        // The C library decodes this as one character: our own decoder must be in use.
        Measured{"PastUnicodeIsFourBytesNotOneCharacter", "\xF4\x90\x80\x80\n", "4"},
        // Two, three and four bytes, across many reads.
        Measured{"LongerThanTheReadBlocks", repeat("ä€𝄞", 200000) + "\nnext", "600000"},
        // What a person sees as one character, whatever its code points.
        Measured{"DecomposedFinnish", "Hyva\u0308a\u0308\n", "5"},
        Measured{"ThumbWithSkinTone", "👍🏽\n", "1"},
        Measured{"FamilyOfFour", "👨‍👩‍👧‍👦\n", "1"},
        Measured{"FlagOfFinland", "🇫🇮\n", "1"}, Measured{"TwoFlags", "🇫🇮🇸🇪\n", "2"},
        Measured{"FlagAndAHalf", "🇫🇮🇸\n", "2"}, Measured{"AcuteAccent", "e\u0301\n", "1"},
        Measured{"Keycap", "1\uFE0F\u20E3\n", "1"},
        Measured{"HangulJamo", "\u1100\u1161\u11A8\n", "1"},
        Measured{"GreetingWithThumb", "Hyvää 👍🏽\n", "7"},
        Measured{"AccentsAcrossManyReads", "a" + repeat("\u0308", 100000) + "b\n", "2"},
        // Consonants joined by a virama are one character (GB9c).
        Measured{"HindiGreeting", "नमस्ते\n", "3"},
        Measured{"HindiSentence", "प्रधानमंत्री ने राष्ट्र को संबोधित किया\n", "20"},
        Measured{"KhmerWoman", "ស្ត្រី\n", "1"}),
    row_name);

// Every case of the database's own test file that fits on a line, typed as
// that line.
TEST(UnicodeBreakTests, EachThatFitsOnALineIsCountedByTheProgram)
{
    const std::vector<BreakCase> cases = read_break_tests(GRAPHEME_BREAK_TESTS);
    ASSERT_EQ(cases.size(), 766U);
    int on_a_line = 0;
    for (const BreakCase& test : cases) {
        if (!test.fits_on_a_line()) {
            continue;
        }
        ++on_a_line;
        const Outcome run = run_in("C.UTF-8", test.text() + "\n");
        EXPECT_EQ(run.out, no_result_line + "Tekstin mitta on " +
                               std::to_string(test.characters()) + " merkki\xC3\xA4.\n")
            << test.line;
    }
    EXPECT_EQ(on_a_line, 587);
}

struct LocaleSettings {
    const char* name;
    std::vector<std::string> environment;
    bool utf8; // else the console's bytes, a byte a character
};

using LocaleSettingsOf = Table<LocaleSettings>;

TEST_P(LocaleSettingsOf, TellWhetherTheTerminalIsUtf8)
{
    RunOptions options;
    options.input = "Hyva\u0308a\u0308\n"; // 5 characters in UTF-8, 9 bytes
    options.environment = GetParam().environment;
    options.environment.emplace_back("LOCPATH=/nonexistent");
    EXPECT_EQ(run_program(options).out,
              GetParam().utf8 ? no_result_line + "Tekstin mitta on 5 merkki\xC3\xA4.\n"
                              : dialogue_cp850("9"));
}

INSTANTIATE_TEST_SUITE_P(
    Environments, LocaleSettingsOf,
    testing::Values(
        // A terminal logged in from elsewhere sends a locale this system may lack.
        LocaleSettings{"MissingUtf8LocaleInLcAll", {"LC_ALL=fi_FI.utf8"}, true},
        LocaleSettings{"MissingUtf8LocaleInLcCtype", {"LC_CTYPE=fi_FI.utf8"}, true},
        LocaleSettings{"MissingUtf8LocaleInLang", {"LANG=fi_FI.utf8"}, true},
        LocaleSettings{"MissingUtf8LocaleWithAModifier", {"LANG=fi_FI.UTF-8@euro"}, true},
        // What macOS sends over SSH: the code set's name alone.
        LocaleSettings{"CodeSetNameAloneFromAMac", {"LC_CTYPE=UTF-8"}, true},
        LocaleSettings{"CodeSetNameAloneInLowerCase", {"LANG=utf8"}, true},
        // A container, or env -i: no locale at all.
        LocaleSettings{"NoLocaleVariable", {}, true},
        LocaleSettings{"EmptyLocaleVariables", {"LC_ALL=", "LC_CTYPE=", "LANG="}, true},
        LocaleSettings{"ExplicitC", {"LANG=C"}, false},
        LocaleSettings{"ExplicitPosix", {"LC_ALL=POSIX"}, false},
        LocaleSettings{"CInLcAllBeforeUtf8InLang", {"LC_ALL=C", "LANG=fi_FI.UTF-8"}, false},
        LocaleSettings{"EmptyLcAllBeforeCInLang", {"LC_ALL=", "LANG=C"}, false},
        LocaleSettings{"AnotherNameWithoutCodeSet", {"LANG=fi_FI"}, false}),
    row_name);

TEST(MissingLocale, OfAnotherCodeSetFallsBackToTheConsoleBytes)
{
    RunOptions options;
    options.input = "p\x84iv\x84\n";
    options.environment = {"LOCPATH=/nonexistent", "LANG=fi_FI.ISO-8859-15"};
    EXPECT_EQ(run_program(options).out, dialogue_cp850("5"));
}

TEST(CodePageTerminal, Ibm850GetsTheMessagesByteForByte)
{
    const Outcome run = run_in("fi_FI.IBM850", "p\x84iv\x84\n");
    EXPECT_EQ(run.out, dialogue_cp850("5"));
    EXPECT_EQ(run.exit_status, 0);
}

// A byte for ä that means something else in a code set without it would
// garble the line: the plain letter stands in.
class CodeSetWithoutAUmlaut : public testing::TestWithParam<std::string> {};

TEST_P(CodeSetWithoutAUmlaut, GetsThePlainLetter)
{
    const Outcome run = run_in(GetParam(), "abc\n");
    EXPECT_EQ(run.out, "Ohjelma tutkii annetun tekstin pituuden (maks 256 merkkia)\n\n" + prompt +
                           "Tekstin mitta on 3 merkkia.\n");
}

INSTANTIATE_TEST_SUITE_P(Locales, CodeSetWithoutAUmlaut,
                         testing::Values("ru_RU.KOI8-R", "el_GR.ISO-8859-7"),
                         [](const auto& info) { return info.param.substr(0, 2); });

TEST(CodePageTerminal, Latin9SpellsAUmlautAsItsOwnByte)
{
    const Outcome run = run_in("fi_FI.ISO-8859-15", "p\xE4iv\xE4\n");
    EXPECT_EQ(run.out, "Ohjelma tutkii annetun tekstin pituuden (maks 256 merkki\xE4)\n\n" +
                           prompt + "Tekstin mitta on 5 merkki\xE4.\n");
}

// Only the character types matter: a missing locale for the dates does not
// take the terminal's code set away.
TEST(CodePageTerminal, Latin9HoldsWhenAnotherCategoryNamesAMissingLocale)
{
    RunOptions options;
    options.input = "p\xE4iv\xE4\n";
    options.environment = {locale_environment("fi_FI.ISO-8859-15").front(),
                           "LC_CTYPE=fi_FI.ISO-8859-15", "LC_TIME=xx_XX.ISO-8859-15"};
    EXPECT_EQ(run_program(options).out,
              "Ohjelma tutkii annetun tekstin pituuden (maks 256 merkki\xE4)\n\n" + prompt +
                  "Tekstin mitta on 5 merkki\xE4.\n");
}

// GB18030 spells ä in four bytes, as many as a letter's spelling holds.
TEST(CodePageTerminal, Gb18030SpellsAUmlautInFourBytesAndCountsThemAsOne)
{
    const std::string a_umlaut = "\x81\x30\x8A\x31";
    const Outcome run = run_in("zh_CN.GB18030", "p" + a_umlaut + "iv" + a_umlaut + "\n");
    EXPECT_EQ(run.out, "Ohjelma tutkii annetun tekstin pituuden (maks 256 merkki" + a_umlaut +
                           ")\n\n" + prompt + "Tekstin mitta on 5 merkki" + a_umlaut + ".\n");
}

TEST(Redirection, OutputFileHoldsTheThreeMessagesAndNothingElse)
{
    const std::string path = testing::TempDir() + "pituus-output.txt";
    RunOptions options;
    options.input = "kolme\n";
    options.environment = locale_environment("C");
    options.stdout_path = path;
    const Outcome run = run_program(options);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::string written(4096, '\0');
    written.resize(std::fread(written.data(), 1, written.size(), file));
    (void)std::fclose(file);
    EXPECT_EQ(written, dialogue_cp850("5"));
    EXPECT_EQ(run.exit_status, 0);
}

TEST(Redirection, ArgumentsAreIgnored)
{
    RunOptions options;
    options.input = "abc\n";
    options.arguments = {"--help", "-x", "tiedosto"};
    options.environment = locale_environment("C");
    const Outcome run = run_program(options);
    EXPECT_EQ(run.out, dialogue_cp850("3"));
    EXPECT_EQ(run.exit_status, 0);
}

// Failures are said once on standard error, in Finnish with the system's
// reason, and the exit status is 1.
TEST(FailureInCLocale, InputThatCannotBeReadGivesNoResultLine)
{
    RunOptions options;
    options.stdin_path = "/";
    options.environment = locale_environment("C");
    const Outcome run = run_program(options);
    EXPECT_EQ(run.out, banner_cp850 + prompt);
    EXPECT_EQ(run.err, "pituus: sy\x94tteen lukeminen ep\x84onnistui: Is a directory\n");
    EXPECT_EQ(run.exit_status, 1);
}

struct StreamFailure {
    const char* name;
    void (*arrange)(RunOptions&);
    std::string out; // what reaches standard output
    std::string err;
};

using Failure = Table<StreamFailure>;

TEST_P(Failure, IsSaidOnceOnStandardErrorWithStatusOne)
{
    RunOptions options;
    options.input = "abc\n";
    options.environment = locale_environment("C.UTF-8");
    GetParam().arrange(options);
    const Outcome run = run_program(options);
    EXPECT_EQ(run.out, GetParam().out);
    EXPECT_EQ(run.err, GetParam().err);
    EXPECT_EQ(run.exit_status, 1);
}

const std::string read_failed = "pituus: syötteen lukeminen epäonnistui: ";
const std::string write_failed = "pituus: tulosteen kirjoittaminen epäonnistui: ";

INSTANTIATE_TEST_SUITE_P(
    Streams, Failure,
    testing::Values(StreamFailure{"ClosedInput", [](RunOptions& o) { o.close_stdin = true; },
                                  no_result_line, read_failed + "Bad file descriptor\n"},
                    StreamFailure{"FullDisk", [](RunOptions& o) { o.stdout_path = "/dev/full"; },
                                  "", write_failed + "No space left on device\n"},
                    StreamFailure{"ClosedOutput", [](RunOptions& o) { o.close_stdout = true; }, "",
                                  write_failed + "Bad file descriptor\n"},
                    // Room for the banner and the prompt only: the result line is lost.
                    StreamFailure{"DiskFillsUpAtTheResultLine",
                                  [](RunOptions& o) {
                                      o.stdout_path = testing::TempDir() + "pituus-full.txt";
                                      o.file_size_limit = static_cast<long>(no_result_line.size());
                                  },
                                  "", write_failed + "File too large\n"},
                    // A reason of its own, passed on as it is: a file sealed
                    // against writing.
                    StreamFailure{"SealedFile",
                                  [](RunOptions& o) {
                                      const int file = memfd_create("sealed", MFD_ALLOW_SEALING);
                                      fcntl(file, F_ADD_SEALS, F_SEAL_WRITE);
                                      o.stdout_path = "/proc/self/fd/" + std::to_string(file);
                                  },
                                  "", write_failed + "Operation not permitted\n"},
                    StreamFailure{"ClosedPipeWithSigpipeIgnored",
                                  [](RunOptions& o) {
                                      o.stdout_reader_gone = true;
                                      o.ignore_sigpipe = true;
                                  },
                                  "", write_failed + "Broken pipe\n"}),
    row_name);

// Nobody can see the prompt, so nobody should be left to type blind.
TEST(FailureInCLocale, OutputBrokenFromTheStartIsSaidBeforeAnyLineIsRead)
{
    RunOptions options;
    options.input_never_ends = true;
    options.stdout_path = "/dev/full";
    options.environment = locale_environment("C");
    const Outcome run = run_program(options);
    EXPECT_EQ(run.err,
              "pituus: tulosteen kirjoittaminen ep\x84onnistui: No space left on device\n");
    EXPECT_EQ(run.exit_status, 1);
}

TEST(SmallStack, OfSixtyFourKibibytesIsEnough)
{
    RunOptions options;
    options.input = std::string(1 << 20, 'x') + "\n";
    options.stack_limit = 64 * 1024;
    options.environment = locale_environment("C.UTF-8");
    const Outcome run = run_program(options);
    EXPECT_NE(run.out.find("on 1048576 merkki"), std::string::npos) << run.out;
    EXPECT_EQ(run.exit_status, 0);
}

TEST(FailureUnsaid, WithStandardErrorClosedTooTheStatusStillTellsTheTruth)
{
    RunOptions options;
    options.input = "abc\n";
    options.stdout_path = "/dev/full";
    options.close_stderr = true;
    options.environment = locale_environment("C");
    EXPECT_EQ(run_program(options).exit_status, 1);
}

TEST(FailureUnsaid, ClosedPipeOnOutputEndsItBySigpipeAsItEndsCat)
{
    RunOptions options;
    options.input = "abc\n";
    options.stdout_reader_gone = true;
    options.environment = locale_environment("C");
    const Outcome run = run_program(options);
    EXPECT_EQ(run.signal, SIGPIPE);
    EXPECT_EQ(run.err, "");
}

TEST(HugeInput, LineOverFourGibibytesIsCountedInFlatMemory)
{
    // Both runs start from a test process holding the same block: the peak
    // the system reports includes the memory of the process before exec.
    const std::string block(std::size_t{1} << 20, 'x');
    RunOptions small;
    small.input = "abc\n" + block;
    RunOptions huge;
    huge.input = block;
    huge.input_repeats = 4097; // no line feed: the input's end ends the line

    const Outcome baseline = run_program(small);
    EXPECT_NE(baseline.out.find("on 3 merkki"), std::string::npos);
    const Outcome run = run_program(huge);
    EXPECT_NE(run.out.find("on 4296015872 merkki"), std::string::npos) << run.out;
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_LT(run.peak_rss_kib, baseline.peak_rss_kib + 1024) << "memory grew with the line";
}

} // namespace
