// The line edited at a terminal that can take it (TERM set): the keys edit,
// the count is of the line as it stands at Enter, signals and stops come as
// at any prompt, and the terminal's settings are as they were after. What
// the screen shows is tested on real terminals (editor_screen_test.py).

#include "table.hpp"
#include "terminal_run.hpp"

#include <gtest/gtest.h>
#include <random>

namespace {

// The line edited at a terminal that can take it: the keys edit, the count
// is of the line as it stands at Enter, and the terminal is as it was after.
class EditingRun : public TerminalRun {
public:
    explicit EditingRun(const std::function<void(termios&)>& settings = [](termios& /*as is*/) {})
        : TerminalRun("", true, 0, Job::foreground, "", "xterm", settings)
    {
    }
};

using Typed = Case<std::string>; // the keys, and the count they leave

using EditedAtThePrompt = Table<Typed>;

TEST_P(EditedAtThePrompt, IsMeasuredAsItStandsAtEnter)
{
    EditingRun run;
    ASSERT_TRUE(run.shows("teksti: "));
    run.type(GetParam().text + "\r");
    ASSERT_TRUE(run.shows("Tekstin mitta on " + GetParam().expected + " merkkiä.\r\n"));
    ASSERT_TRUE(run.waits_for_key());
    run.type("\x03"); // a key like any other now, no signal
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.exit_status(), 0);
    EXPECT_TRUE(run.settings_as_before());
}

const std::string paste_start = "\x1b[200~";
const std::string paste_end = "\x1b[201~";

INSTANTIATE_TEST_SUITE_P(
    Keys, EditedAtThePrompt,
    testing::Values(Typed{"ArrowsBackToTheStart", "abc\x1b[D\x1b[D\x1b[D\x1b[Dx", "4"},
                    Typed{"BackspaceAfterDecomposedFinnish", "Hyva\u0308a\u0308\x7f", "4"},
                    Typed{"BackspaceAfterAFamily", "👨‍👩‍👧\x7f", "0"},
                    Typed{"ArrowsAndFunctionKeysAreNoText", "a\x1b[A\x1b[B\x1bOPb", "2"},
                    Typed{"APasteOfTenThousand", paste_start + std::string(10000, 'x') + paste_end,
                          "10000"},
                    Typed{"APasteOfTwoLines", paste_start + "eka\rtoka" + paste_end, "3"},
                    // As a pipe counts them: a zero byte ends the count.
                    Typed{"APasteOfControlsAndAZeroByte",
                          paste_start +
                              std::string("a\x03\x1a\x1c\x13\x11"
                                          "b\x00"
                                          "c",
                                          9) +
                              paste_end,
                          "7"}),
    row_name);

// Random bytes pasted count as the same bytes through a pipe: controls,
// signal characters and zero bytes included (a line end ends both).
TEST(EditedAtThePrompt, APasteOfRandomBytesCountsAsAPipeCountsThem)
{
    std::mt19937 random(2612); // NOLINT(cert-msc32-c,cert-msc51-cpp): the same cases each run
    for (int paste = 0; paste < 4; ++paste) {
        std::string bytes;
        for (int i = 0; i < 300; ++i) {
            const auto byte = static_cast<char>(random() % 256);
            bytes += byte == '\r' || byte == '\x1b' ? 'x' : byte; // no paste's end
        }
        RunOptions piped;
        piped.input = bytes + "\n";
        piped.environment = {"LC_ALL=C.UTF-8"};
        const std::string counted = run_program(piped).out;
        const std::string result = counted.substr(counted.find("Tekstin mitta"));
        EditingRun run;
        ASSERT_TRUE(run.shows("teksti: "));
        std::string keys = paste_start;
        run.type(keys.append(bytes).append(paste_end).append("\r"));
        EXPECT_TRUE(run.shows(result.substr(0, result.find('\n')))) << "paste " << paste;
    }
}

TEST(EditedAtThePrompt, TypedAheadOfThePromptIsTheLinesStart)
{
    EditingRun run;
    run.type("ab"); // perhaps before the program even starts
    ASSERT_TRUE(run.shows("teksti: "));
    run.type("c\r");
    ASSERT_TRUE(run.shows("Tekstin mitta on 3 merkkiä."));
}

TEST(EditedAtThePrompt, RedrawsTheLineWhenTheTerminalChangesWidth)
{
    EditingRun run;
    ASSERT_TRUE(run.shows("teksti: "));
    run.type("abc");
    ASSERT_TRUE(run.shows("abc"));
    run.resize(30);
    ASSERT_TRUE(run.shows("\x1b[J"));
    run.type("d\x1b[D\x1b[DX\r");
    ASSERT_TRUE(run.shows("Tekstin mitta on 5 merkkiä."));
}

// A terminal that gives no width (0, as a serial line may) is taken as 80
// wide: the cursor goes back to column 31 of the prompt's row.
TEST(EditedAtThePrompt, AtATerminalOfNoWidthAsEightyColumns)
{
    EditingRun run;
    run.resize(0);
    ASSERT_TRUE(run.shows("teksti: "));
    run.type("abcdefghij\x1b[D\x1b[D\x1b[D");
    ASSERT_TRUE(run.shows("\r\x1b[31C"));
    run.type("X\r");
    ASSERT_TRUE(run.shows("Tekstin mitta on 11 merkkiä."));
}

// TERM=dumb, or none: the terminal's own line mode, as for a pipe or a file.
TEST(EditedAtThePrompt, NotWhereTheTerminalCannotMoveItsCursor)
{
    TerminalRun run("", true, 0, Job::foreground, "", "dumb");
    ASSERT_TRUE(run.shows("teksti: "));
    run.type("ab\x1b[D\r");
    ASSERT_TRUE(run.shows("Tekstin mitta on 5 merkkiä."));
}

class SignalWhileEditing : public testing::TestWithParam<int> {};

TEST_P(SignalWhileEditing, PutsTheSettingsBackThenEndsByThatSignal)
{
    EditingRun run;
    ASSERT_TRUE(run.shows("teksti: "));
    run.type("abc");
    ASSERT_TRUE(run.shows("abc"));
    run.signal(GetParam());
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.end_signal(), GetParam());
    EXPECT_TRUE(run.settings_as_before());
    EXPECT_EQ(run.screen().find("\x1b[?2004l"), run.screen().rfind("\x1b[?2004l"))
        << "bracketed paste is left on";
}

INSTANTIATE_TEST_SUITE_P(Kill, SignalWhileEditing,
                         testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// The terminal's own signal characters, whichever they are (stty intr ^X):
// the settings come back, and the signal ends the run.
struct SignalKey {
    const char* name;
    cc_t interrupt;
    std::string typed;
    int signal;
};

using SignalKeyWhileEditing = Table<SignalKey>;

TEST_P(SignalKeyWhileEditing, EndsTheRunAsAtAnyPrompt)
{
    EditingRun run([](termios& settings) { settings.c_cc[VINTR] = GetParam().interrupt; });
    ASSERT_TRUE(run.shows("teksti: "));
    run.type("abc" + GetParam().typed);
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.end_signal(), GetParam().signal);
    EXPECT_TRUE(run.settings_as_before());
}

INSTANTIATE_TEST_SUITE_P(Keys, SignalKeyWhileEditing,
                         testing::Values(SignalKey{"CtrlC", 0x03, "\x03", SIGINT},
                                         SignalKey{"CtrlBackslash", 0x03, "\x1c", SIGQUIT},
                                         SignalKey{"CtrlXAfterSttyIntr", 0x18, "\x03\x18", SIGINT}),
                         row_name);

// Ctrl-Z, and kill -TSTP: stopped, the terminal is the shell's with its
// settings; brought back (fg), the prompt and the line are drawn anew.
TEST(StopAndResume, WhileEditingGivesTheTerminalBackAndRedrawsOnFg)
{
    EditingRun run;
    ASSERT_TRUE(run.shows("teksti: "));
    run.type("hei");
    ASSERT_TRUE(run.shows("hei")); // read, before the stop would flush it
    run.type("\x1a");
    ASSERT_TRUE(run.stops());
    EXPECT_TRUE(run.settings_as_before());
    run.shell_takes_terminal_back();
    run.fg();
    ASSERT_TRUE(run.shows("\x1b[JAnna tutkittava teksti: hei")) << run.screen();
    run.type("!\r");
    ASSERT_TRUE(run.shows("Tekstin mitta on 4 merkkiä."));
    ASSERT_TRUE(run.waits_for_key());
    run.type("k");
    ASSERT_TRUE(run.ends());
    EXPECT_TRUE(run.settings_as_before());
}

// SIGSTOP, which cannot be caught: resumed, the line is drawn anew all the same.
TEST(StopAndResume, UncatchableWhileEditingRedrawsOnResume)
{
    EditingRun run;
    ASSERT_TRUE(run.shows("teksti: "));
    run.type("hei");
    ASSERT_TRUE(run.shows("hei"));
    run.signal(SIGSTOP);
    ASSERT_TRUE(run.stops());
    run.signal(SIGCONT);
    ASSERT_TRUE(run.shows("\x1b[JAnna tutkittava teksti: hei"));
    run.type("!\r");
    ASSERT_TRUE(run.shows("Tekstin mitta on 4 merkkiä."));
}

// Under nohup no SIGHUP comes: the end of input must end the run, though
// errno may still hold the EINTR of the resize that interrupted the wait.
TEST(HangUp, UnderNohupWhileEditingAfterAResizeEndsTheRun)
{
    TerminalRun run("", true, SIGHUP, Job::foreground, "", "xterm");
    ASSERT_TRUE(run.shows("teksti: "));
    run.resize(30);
    ASSERT_TRUE(run.shows("\x1b[J"));
    run.hang_up();
    EXPECT_TRUE(run.ends());
}

TEST(BackgroundJob, AtThePromptStopsLeavingTheShellsSettingsAndEditsOnFg)
{
    TerminalRun run("", true, 0, Job::background, "", "xterm");
    ASSERT_TRUE(run.stops());
    EXPECT_TRUE(run.settings_of_the_shell_prompt());
    run.fg();
    ASSERT_TRUE(run.shows("\x1b[JAnna tutkittava teksti: "));
    run.type("ab\x1b[Dc\r");
    ASSERT_TRUE(run.shows("Tekstin mitta on 3 merkkiä."));
    ASSERT_TRUE(run.waits_for_key());
    run.type("k");
    ASSERT_TRUE(run.ends());
    EXPECT_TRUE(run.settings_as_before());
}

} // namespace
