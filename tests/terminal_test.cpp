// The program in a real pseudo-terminal where it does not edit the line
// (TERM unset): the keystroke wait, the line typed in the terminal's own
// line mode, and the user's settings on every way out of them.

#include "terminal_run.hpp"

#include <array>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <random>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(KeystrokeWait, WithInputFromAPipeStillWaitsForAKeyAtTheTerminal)
{
    TerminalRun run("abc\n", false);
    ASSERT_TRUE(run.waits_for_key());
    EXPECT_FALSE(run.ends(200ms)) << "ended without a key";
    run.type("x");
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.exit_status(), 0);
    EXPECT_NE(run.piped_output().find("Tekstin mitta on 3 merkkiä.\n"), std::string::npos);
    EXPECT_EQ(run.screen(), "") << "the key was echoed";
    EXPECT_TRUE(run.settings_as_before());
}

TEST(KeystrokeWait, TypedDialogueShowsEchoedLineButNotTheKey)
{
    TerminalRun run("", true);
    ASSERT_TRUE(run.shows("teksti: "));
    run.type("Hyvää päivää\n");
    ASSERT_TRUE(run.waits_for_key());
    run.type("q");
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.screen(), "Ohjelma tutkii annetun tekstin pituuden (maks 256 merkkiä)\r\n\r\n"
                            "Anna tutkittava teksti: Hyvää päivää\r\n"
                            "Tekstin mitta on 12 merkkiä.\r\n");
    EXPECT_EQ(run.exit_status(), 0);
    EXPECT_TRUE(run.settings_as_before());
}

class AnyKey : public testing::TestWithParam<std::string> {};

TEST_P(AnyKey, EndsTheRunWithStatusZeroLeavingTheTerminalAsItWas)
{
    TerminalRun run("abc\n", false);
    ASSERT_TRUE(run.waits_for_key());
    run.type(GetParam());
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.end_signal(), 0);
    EXPECT_EQ(run.exit_status(), 0);
    EXPECT_EQ(run.pending_input(), 0);
    EXPECT_TRUE(run.settings_as_before());
}

// An arrow key, then Ctrl-C, Ctrl-Z, Ctrl-\ and Ctrl-S, which are keys here,
// not signals or a stop of the output.
INSTANTIATE_TEST_SUITE_P(Keys, AnyKey, testing::Values("\x1b[A", "\x03", "\x1a", "\x1c", "\x13"));

std::string lines_to_paste(int count)
{
    std::string text;
    for (int line = 0; line < count; ++line) {
        text += "echo pasted line " + std::to_string(line) + "\n";
    }
    return text;
}

// A paste at the prompt: its first line is measured, and its other lines are
// no key and never reach the shell. Their echo stops with the first line, and
// the result comes last, on a line of its own.
class PasteAtThePrompt : public testing::TestWithParam<int> {};

TEST_P(PasteAtThePrompt, MeasuresTheFirstLineAndShowsTheResultLast)
{
    const std::string result = "Tekstin mitta on 10 merkkiä.\r\n";
    TerminalRun run("", true);
    ASSERT_TRUE(run.shows("teksti: "));
    run.paste("first line\n" + lines_to_paste(GetParam() - 1));
    ASSERT_TRUE(run.shows(result));
    ASSERT_TRUE(run.waits_for_key());
    run.paste_done();
    EXPECT_FALSE(run.ends(300ms)) << "a pasted line was taken for the key";
    run.type("k");
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.exit_status(), 0);
    EXPECT_EQ(run.pending_input(), 0);
    EXPECT_TRUE(run.settings_as_before());
    const std::string screen = run.screen();
    EXPECT_TRUE(screen.ends_with("\r\n" + result))
        << screen.substr(screen.size() - std::min<std::size_t>(screen.size(), 300));
}

INSTANTIATE_TEST_SUITE_P(Lines, PasteAtThePrompt, testing::Values(3, 600, 1001, 6000));

TEST(KeystrokeWait, PasteDuringTheWaitLeavesNothingForTheShell)
{
    TerminalRun run("abc\n", false);
    ASSERT_TRUE(run.waits_for_key());
    run.paste(lines_to_paste(2000));
    ASSERT_TRUE(run.ends());
    run.paste_done();
    EXPECT_EQ(run.pending_input(), 0);
    EXPECT_TRUE(run.settings_as_before());
}

// A function key whose bytes come apart: a few milliseconds on a busy
// machine, a tenth of a second or more over a slow link, longer than the
// quiet that ends a paste.
class EscapeSequenceInPieces : public testing::TestWithParam<int> {};

TEST_P(EscapeSequenceInPieces, LeavesNothingPending)
{
    const std::chrono::milliseconds gap(GetParam());
    TerminalRun run("abc\n", false);
    ASSERT_TRUE(run.waits_for_key());
    run.type("\x1b");
    std::this_thread::sleep_for(gap);
    run.type("[");
    std::this_thread::sleep_for(gap);
    run.type("A");
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.pending_input(), 0);
}

INSTANTIATE_TEST_SUITE_P(Gaps, EscapeSequenceInPieces, testing::Values(5, 100, 150),
                         [](const auto& info) { return std::to_string(info.param) + "ms"; });

// A signal that leaves the wait going (a resume that no stop came before)
// does not cut the wait for the rest of the key short.
TEST(KeystrokeWait, SignalBetweenTheBytesOfAFunctionKeyLeavesNothingPending)
{
    TerminalRun run("abc\n", false);
    ASSERT_TRUE(run.waits_for_key());
    run.type("\x1b");
    std::this_thread::sleep_for(50ms);
    run.signal(SIGCONT);
    std::this_thread::sleep_for(100ms);
    run.type("[A");
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.pending_input(), 0);
}

TEST(KeystrokeWait, UnderNohupAHangUpSignalDoesNotEndTheWait)
{
    TerminalRun run("abc\n", false, SIGHUP);
    ASSERT_TRUE(run.waits_for_key());
    run.signal(SIGHUP);
    EXPECT_FALSE(run.ends(300ms));
    run.type("k");
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.exit_status(), 0);
}

class SignalDuringWait : public testing::TestWithParam<int> {};

TEST_P(SignalDuringWait, RestoresTheTerminalThenEndsByThatSignal)
{
    TerminalRun run("abc\n", false);
    ASSERT_TRUE(run.waits_for_key());
    run.signal(GetParam());
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.end_signal(), GetParam());
    EXPECT_TRUE(run.settings_as_before());
}

INSTANTIATE_TEST_SUITE_P(Kill, SignalDuringWait,
                         testing::Values(SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2,
                                         SIGALRM, SIGPIPE, SIGVTALRM, SIGXCPU),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

class HangUp : public testing::TestWithParam<bool> {};

TEST_P(HangUp, EndsTheRunInsteadOfLeavingItWaiting)
{
    const bool during_wait = GetParam();
    TerminalRun run(during_wait ? "abc\n" : "", true);
    ASSERT_TRUE(during_wait ? run.waits_for_key() : run.shows("teksti: "));
    run.hang_up();
    // However it learns of it (SIGHUP, or the end of input and failed
    // writes), it must not go on waiting or spin.
    EXPECT_TRUE(run.ends());
}

INSTANTIATE_TEST_SUITE_P(Terminal, HangUp, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "DuringWait" : "DuringRead"; });

// Under nohup no SIGHUP comes: the failed read of the key must end the run.
TEST(HangUp, UnderNohupDuringTheWaitEndsTheRun)
{
    TerminalRun run("abc\n", false, SIGHUP);
    ASSERT_TRUE(run.waits_for_key());
    run.hang_up();
    EXPECT_TRUE(run.ends());
}

// SIGSTOP cannot be caught, so the terminal stays in key mode while stopped;
// a shell then puts back its own settings (or nobody does, where no shell
// watched), and on resume the wait must set up key mode again.
class UncatchableStop : public testing::TestWithParam<bool> {};

TEST_P(UncatchableStop, ResumedTheWaitReadsSingleKeysAgain)
{
    TerminalRun run("abc\n", false);
    ASSERT_TRUE(run.waits_for_key());
    run.signal(SIGSTOP);
    ASSERT_TRUE(run.stops());
    if (GetParam()) {
        run.reset_settings();
    }
    run.signal(SIGCONT);
    ASSERT_TRUE(run.waits_for_key());
    run.type("k");
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.exit_status(), 0);
    EXPECT_TRUE(run.settings_as_before());
}

INSTANTIATE_TEST_SUITE_P(StopAndResume, UncatchableStop, testing::Values(true, false),
                         [](const auto& info) {
                             return info.param ? "ShellPutsItsSettingsBack" : "NoShellWatches";
                         });

// Stopped by the shell (SIGTSTP); also where the resume brings no SIGCONT
// handler (the program started with it ignored), or no stop happens at all.
class StopByTheShell : public testing::TestWithParam<int> {};

TEST_P(StopByTheShell, LeavesTheTerminalAsItWasAndWaitsAgainOnResume)
{
    TerminalRun run("abc\n", false, GetParam());
    ASSERT_TRUE(run.waits_for_key());
    run.signal(SIGTSTP);
    ASSERT_TRUE(run.stops());
    EXPECT_TRUE(run.settings_as_before());
    run.signal(SIGCONT);
    ASSERT_TRUE(run.waits_for_key());
    EXPECT_FALSE(run.ends(100ms));
    run.type("k");
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.exit_status(), 0);
    EXPECT_TRUE(run.settings_as_before());
}

INSTANTIATE_TEST_SUITE_P(StopAndResume, StopByTheShell, testing::Values(0, SIGCONT),
                         [](const auto& info) {
                             return info.param == 0 ? "Plain" : "WithSigcontIgnored";
                         });

// A job started in the background (pituus < file &, echo hei | pituus &)
// leaves the terminal to the shell, settings and all: it stops when it
// reads the key, as any program does that reads the terminal from there.
TEST(BackgroundJob, StopsAtTheKeyLeavingTheShellsSettingsAndKillEndsIt)
{
    TerminalRun run("hei\n", true, 0, Job::background);
    ASSERT_TRUE(run.stops());
    EXPECT_TRUE(run.shows("Tekstin mitta on 3 merkkiä.\r\n"));
    EXPECT_TRUE(run.settings_of_the_shell_prompt());
    run.kill_job();
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.end_signal(), SIGTERM);
    EXPECT_TRUE(run.settings_of_the_shell_prompt());
}

TEST(BackgroundJob, BroughtForwardWaitsForTheKeyAndPutsTheSettingsBack)
{
    TerminalRun run("hei\n", true, 0, Job::background);
    ASSERT_TRUE(run.stops());
    run.fg();
    ASSERT_TRUE(run.waits_for_key());
    run.type("k");
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.exit_status(), 0);
    EXPECT_TRUE(run.settings_as_before());
}

// Stopped where no process can stop itself (SIGSTOP) while in key mode: the
// shell takes the terminal back with its own settings, and kill %1 must end
// the job without touching them from the background.
TEST(BackgroundJob, StoppedInKeyModeEndsByKillLeavingTheShellsSettings)
{
    TerminalRun run("hei\n", false);
    ASSERT_TRUE(run.waits_for_key());
    run.signal(SIGSTOP);
    ASSERT_TRUE(run.stops());
    run.shell_takes_terminal_back();
    ASSERT_TRUE(pty::eventually(10s, [&] { return run.settings_of_the_shell_prompt(); }));
    run.kill_job();
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.end_signal(), SIGTERM);
    EXPECT_TRUE(run.settings_of_the_shell_prompt());
}

// A setting of key mode changed at the shell while the program is stopped
// (stty -ixon) is the one put back at the end.
TEST(StopAndResume, SettingsChangedWhileStoppedAreTheOnesPutBack)
{
    TerminalRun run("abc\n", false);
    ASSERT_TRUE(run.waits_for_key());
    run.signal(SIGTSTP);
    ASSERT_TRUE(run.stops());
    run.change_settings([](termios& settings) { settings.c_iflag ^= IXON; });
    run.signal(SIGCONT);
    ASSERT_TRUE(run.waits_for_key());
    run.type("k");
    ASSERT_TRUE(run.ends());
    EXPECT_TRUE(run.settings_as_before());
}

TEST(KeystrokeWait, PutsBackWhatItChangedAndNothingElse)
{
    TerminalRun run("abc\n", false);
    ASSERT_TRUE(run.waits_for_key());
    run.change_settings([](termios& settings) { settings.c_cc[VERASE] = 0x08; });
    run.type("k");
    ASSERT_TRUE(run.ends());
    EXPECT_TRUE(run.settings_as_before());
}

TEST(FailureAtTheTerminal, StartsOnALineOfItsOwnBelowThePrompt)
{
    TerminalRun run("", true, 0, Job::foreground, "/");
    ASSERT_TRUE(run.waits_for_key());
    run.type("k");
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.exit_status(), 1);
    EXPECT_TRUE(run.screen().ends_with(
        "teksti: \r\npituus: syötteen lukeminen epäonnistui: Is a directory\r\n"))
        << run.screen();
}

// A line typed at the terminal, as the terminal hands it over, ended by
// Enter or by one Ctrl-D.
class TypedLineEnd : public testing::TestWithParam<std::string> {};

TEST_P(TypedLineEnd, CutByTheTerminalIsCountedAsItArrivedAndSaidSo)
{
    TerminalRun run("", true);
    ASSERT_TRUE(run.shows("teksti: "));
    run.paste(std::string(5000, 'x') + GetParam());
    ASSERT_TRUE(run.shows("Tekstin mitta on 4095 merkkiä.\r\n"));
    ASSERT_TRUE(run.shows("pituus: pääte välittää rivistä enintään 4095 tavua, joten rivi on "
                          "voinut katketa; pidemmän tekstin voi mitata ohjaamalla sen "
                          "tiedostosta: pituus < tiedosto\r\n"));
    ASSERT_TRUE(run.waits_for_key());
    run.type("k");
    ASSERT_TRUE(run.ends());
    EXPECT_EQ(run.exit_status(), 0);
}

INSTANTIATE_TEST_SUITE_P(Keys, TypedLineEnd, testing::Values("\n", "\x04"),
                         [](const auto& info) { return info.param == "\n" ? "Enter" : "CtrlD"; });

// Out of line mode (stty -icanon) the terminal hands over keys as they come:
// the line goes on to its line feed.
TEST(TypedLine, OutOfLineModeGoesOnToTheLineFeed)
{
    TerminalRun run("", true);
    ASSERT_TRUE(run.shows("teksti: "));
    run.change_settings([](termios& settings) { settings.c_lflag &= ~ICANON; });
    run.type("qz");
    // Shown, so the terminal has taken them, and no longer there to read.
    ASSERT_TRUE(run.shows("qz"));
    ASSERT_TRUE(pty::eventually(10s, [&] { return run.unread_keys() == 0; }));
    run.type("w\n");
    ASSERT_TRUE(run.shows("Tekstin mitta on 3 merkkiä.\r\n"));
    ASSERT_TRUE(run.waits_for_key());
    run.type("k");
    ASSERT_TRUE(run.ends());
    EXPECT_TRUE(run.settings_as_before());
}

// A key typed right after Enter shows after the line, and goes.
TEST(TypedLine, KeyTypedAfterTheLinePutsTheResultOnALineOfItsOwn)
{
    TerminalRun run("", true);
    ASSERT_TRUE(run.shows("teksti: "));
    run.type("abc\nx");
    ASSERT_TRUE(run.waits_for_key());
    run.type("k");
    ASSERT_TRUE(run.ends());
    const std::string screen = run.screen();
    EXPECT_NE(screen.find("teksti: abc\r\n"), std::string::npos) << screen;
    EXPECT_TRUE(screen.ends_with("\r\nTekstin mitta on 3 merkkiä.\r\n")) << screen;
}

TEST(TypedLine, CutByTheTerminalCountsNoHalfCharacter)
{
    std::string letters;
    for (int i = 0; i < 3000; ++i) {
        letters += "ä";
    }
    TerminalRun run("", true);
    ASSERT_TRUE(run.shows("teksti: "));
    run.paste(letters + "\n");
    EXPECT_TRUE(run.shows("Tekstin mitta on 2047 merkkiä.\r\n"));
}

TEST(TypedLine, EndedByOneCtrlDAfterTextHasItsResultOnALineOfItsOwn)
{
    TerminalRun run("", true);
    ASSERT_TRUE(run.shows("teksti: "));
    run.type("abc\x04");
    ASSERT_TRUE(run.waits_for_key());
    run.type("k");
    ASSERT_TRUE(run.ends());
    EXPECT_NE(run.screen().find("teksti: abc\r\nTekstin mitta on 3 merkkiä.\r\n"),
              std::string::npos)
        << run.screen();
}

} // namespace
