// The program in a real pseudo-terminal: the keystroke wait, and the user's
// terminal settings on every way out of it.

#include "process.hpp"
#include "pty.hpp"

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

using namespace std::chrono_literals;

bool same_settings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag &&
           std::equal(std::begin(a.c_cc), std::end(a.c_cc), std::begin(b.c_cc));
}

// The settings a shell keeps while it reads a command line, as readline
// does: its own line editing, no echo.
termios shell_prompt_settings(termios settings)
{
    settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    return settings;
}

// How the shell starts the program.
enum class Job {
    foreground,
    background, // with &: the shell keeps the terminal, with its prompt's settings
};

// A pseudo-terminal that becomes the program's controlling terminal, with
// standard input and output either on it or on pipes of the test's own.
class TerminalRun {
public:
    // ignored: a signal that the program starts with ignored, as nohup
    // starts it with SIGHUP. input_path: standard input opened from there.
    // term: the terminal's type, as TERM says it; none if empty. settings:
    // what the user set with stty before the run.
    TerminalRun(
        const std::string& piped_input, bool output_on_terminal, int ignored = 0,
        Job job_kind = Job::foreground, const std::string& input_path = "",
        const std::string& term = "",
        const std::function<void(termios&)>& settings = [](termios& /*unchanged*/) {})
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        resize(columns);
        const std::string slave_name = ptsname(master_);
        slave_ = open(slave_name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        tcgetattr(slave_, &before_);
        settings(before_);
        tcsetattr(slave_, TCSANOW, &before_);

        std::array<int, 2> in{};
        std::array<int, 2> out{};
        if (pipe2(in.data(), O_CLOEXEC) != 0 || pipe2(out.data(), O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        std::array<int, 2> events{};
        std::array<int, 2> commands{};
        if (pipe2(events.data(), O_CLOEXEC) != 0 || pipe2(commands.data(), O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        std::string program = program_path();
        std::string locale = "LC_ALL=C.UTF-8";
        std::string term_setting = "TERM=" + term;
        std::array<char*, 2> argv{program.data(), nullptr};
        std::array<char*, 3> envp{locale.data(), term.empty() ? nullptr : term_setting.data(),
                                  nullptr};
        if (fork() == 0) {
            // A small job-control shell: it owns the terminal, and runs the
            // program as a job of its own, so that stops work as they do
            // under a real shell. It reports the job's pid, then each change.
            close(master_); // or the terminal could never hang up
            setsid();
            const int terminal = open(slave_name.c_str(), O_RDWR);
            ioctl(terminal, TIOCSCTTY, 0);
            (void)std::signal(SIGTTOU, SIG_IGN);
            (void)std::signal(SIGHUP, SIG_IGN); // so that it reports how a hang-up ends the job
            const bool background = job_kind == Job::background;
            const pid_t job = fork();
            if (job == 0) {
                setpgid(0, 0);
                if (!background) {
                    tcsetpgrp(terminal, getpgrp());
                }
                (void)std::signal(SIGTTOU, SIG_DFL);
                (void)std::signal(SIGPIPE, SIG_DFL); // the tests themselves ignore it
                (void)std::signal(SIGHUP, SIG_DFL);
                if (ignored != 0) {
                    (void)std::signal(ignored, SIG_IGN);
                }
                dup2(piped_input.empty() ? terminal : in[0], STDIN_FILENO);
                if (!input_path.empty()) {
                    dup2(open(input_path.c_str(), O_RDONLY), STDIN_FILENO);
                }
                dup2(output_on_terminal ? terminal : out[1], STDOUT_FILENO);
                dup2(terminal, STDERR_FILENO);
                execve(argv[0], argv.data(), envp.data());
                _exit(127);
            }
            setpgid(job, job);
            if (background) {
                const termios prompt = shell_prompt_settings(before_);
                tcsetattr(terminal, TCSANOW, &prompt);
            } else {
                tcsetpgrp(terminal, job);
            }
            (void)!write(events[1], &job, sizeof job);
            run_shell(terminal, job, commands[0], events[1], before_);
            _exit(0);
        }
        close(in[0]);
        close(out[1]);
        close(events[1]);
        close(commands[0]);
        events_ = events[0];
        commands_ = commands[1];
        if (read(events_, &pid_, sizeof pid_) != sizeof pid_) {
            throw std::runtime_error("the job did not start");
        }
        (void)std::signal(SIGPIPE, SIG_IGN);
        (void)!write(in[1], piped_input.data(), piped_input.size());
        close(in[1]);
        piped_out_ = out[0];
    }

    TerminalRun(const TerminalRun&) = delete;
    TerminalRun& operator=(const TerminalRun&) = delete;

    ~TerminalRun()
    {
        if (paster_.joinable()) {
            paster_.join();
        }
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            ends();
        }
        close(events_);
        close(commands_);
        if (master_ >= 0) {
            close(master_);
        }
        close(slave_);
        close(piped_out_);
    }

    // True once the program reads a single key: the terminal is out of line
    // mode, and the program sits in read(2), past the drain of what was typed
    // before (which waits in poll(2)).
    [[nodiscard]] bool waits_for_key(std::chrono::milliseconds limit = 10s)
    {
        return pty::eventually(limit, [&] {
            screen_ += pty::drain(master_); // echoes must not fill the terminal's output
            termios now{};
            tcgetattr(slave_, &now);
            return (now.c_lflag & ICANON) == 0 && in_system_call() == SYS_read;
        });
    }

    // The system call the program is blocked in, -1 if it runs.
    [[nodiscard]] long in_system_call() const
    {
        // "running", or the number and the call's arguments.
        std::ifstream file("/proc/" + std::to_string(pid_) + "/syscall");
        std::string first;
        file >> first;
        return !first.empty() && std::isdigit(static_cast<unsigned char>(first[0])) != 0
                   ? std::stol(first)
                   : -1;
    }

    void type(const std::string& keys) const { (void)!write(master_, keys.data(), keys.size()); }

    // Sends a long text as a terminal sends a paste, as fast as the terminal
    // takes it, from a thread of its own while the test reads the screen.
    void paste(const std::string& text)
    {
        paster_ = std::thread([this, text] {
            pollfd room{master_, POLLOUT, 0};
            for (std::size_t sent = 0; sent < text.size();) {
                if (poll(&room, 1, 5000) <= 0) {
                    return; // nobody reads it any longer
                }
                const ssize_t n = write(master_, text.data() + sent,
                                        std::min<std::size_t>(text.size() - sent, 1024));
                if (n <= 0) {
                    return;
                }
                sent += static_cast<std::size_t>(n);
            }
        });
    }

    // The paste is all sent, or given up.
    void paste_done()
    {
        if (paster_.joinable()) {
            paster_.join();
        }
    }

    void signal(int number) const { kill(pid_, number); }

    // The terminal's width, as a window's: the program learns of a change by SIGWINCH.
    static constexpr unsigned short columns = 40;
    void resize(unsigned short width) const
    {
        const winsize size{24, width, 0, 0};
        ioctl(master_, TIOCSWINSZ, &size);
    }

    // What the user tells the shell: fg, kill %1, and what the shell does
    // itself when its foreground job stops: it takes the terminal back, with
    // the settings of its prompt.
    void fg() const { command('f'); }
    void kill_job() const { command('k'); }
    void shell_takes_terminal_back() const { command('b'); }

    // The terminal goes away, as when its window is closed.
    void hang_up()
    {
        close(master_);
        master_ = -1;
    }

    // Waits for the program to end; false if it is still running after `limit`.
    bool ends(std::chrono::milliseconds limit = 10s)
    {
        ended_ = ended_ ||
                 next_event_where(
                     [](int status) { return WIFEXITED(status) || WIFSIGNALED(status); }, limit);
        return ended_;
    }

    bool stops(std::chrono::milliseconds limit = 10s)
    {
        return next_event_where([](int status) { return WIFSTOPPED(status); }, limit);
    }

    [[nodiscard]] int exit_status() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
    [[nodiscard]] int end_signal() const { return WIFSIGNALED(status_) ? WTERMSIG(status_) : 0; }

    [[nodiscard]] bool settings_as_before() const
    {
        termios now{};
        tcgetattr(slave_, &now);
        return same_settings(before_, now);
    }

    // The settings are the ones the shell keeps at its prompt.
    [[nodiscard]] bool settings_of_the_shell_prompt() const
    {
        termios now{};
        tcgetattr(slave_, &now);
        return same_settings(shell_prompt_settings(before_), now);
    }

    // What is typed and not yet read, as a program reading the terminal
    // next would get it: in line mode the count covers finished lines only,
    // so it is taken with line editing off for a moment.
    [[nodiscard]] int pending_input() const
    {
        termios now{};
        tcgetattr(slave_, &now);
        termios raw = now;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON);
        tcsetattr(slave_, TCSANOW, &raw);
        int pending = -1;
        ioctl(slave_, FIONREAD, &pending);
        tcsetattr(slave_, TCSANOW, &now);
        return pending;
    }

    // Settings changed as stty changes them, from elsewhere while the program
    // runs: no settings of the program's, they stay.
    template <typename Change> void change_settings(Change change)
    {
        termios now{};
        tcgetattr(slave_, &now);
        change(now);
        tcsetattr(slave_, TCSANOW, &now);
        change(before_);
    }

    // What is typed and not yet read, out of line mode.
    [[nodiscard]] int unread_keys() const
    {
        int pending = -1;
        ioctl(slave_, FIONREAD, &pending);
        return pending;
    }

    // The settings the terminal had before the run, put back as a shell puts
    // back its own when a job stops.
    void reset_settings() const { tcsetattr(slave_, TCSANOW, &before_); }

    // True once the terminal has shown `text`.
    bool shows(const std::string& text, std::chrono::milliseconds limit = 10s)
    {
        return pty::eventually(limit, [&] {
            screen_ += pty::drain(master_);
            return screen_.find(text) != std::string::npos;
        });
    }

    // All the terminal showed, read once the program has ended.
    [[nodiscard]] std::string screen()
    {
        screen_ += pty::drain(master_);
        return screen_;
    }
    [[nodiscard]] std::string piped_output() const { return pty::drain(piped_out_); }

private:
    // The shell's loop: reports each change of the job, and does what it is told.
    static void run_shell(int terminal, pid_t job, int commands, int events, const termios& before)
    {
        const termios prompt = shell_prompt_settings(before);
        pollfd told{commands, POLLIN, 0};
        for (;;) {
            int status = 0;
            if (waitpid(job, &status, WUNTRACED | WCONTINUED | WNOHANG) == job) {
                (void)!write(events, &status, sizeof status);
                if (WIFEXITED(status) || WIFSIGNALED(status)) {
                    return;
                }
            }
            char command = 0;
            if (poll(&told, 1, 5) <= 0 || read(commands, &command, 1) != 1) {
                told.fd = (told.revents & POLLHUP) != 0 ? -1 : told.fd;
                continue;
            }
            if (command == 'f') { // out of its prompt's settings, then the job goes ahead
                tcsetattr(terminal, TCSANOW, &before);
                tcsetpgrp(terminal, job);
                kill(-job, SIGCONT);
            } else if (command == 'k') { // as kill %1 does it
                kill(-job, SIGTERM);
                kill(-job, SIGCONT);
            } else if (command == 'b') {
                tcsetpgrp(terminal, getpgrp());
                tcsetattr(terminal, TCSANOW, &prompt);
            }
        }
    }

    void command(char c) const { (void)!write(commands_, &c, 1); }

    template <typename Wanted> bool next_event_where(Wanted wanted, std::chrono::milliseconds limit)
    {
        pollfd ready{events_, POLLIN, 0};
        while (poll(&ready, 1, static_cast<int>(limit.count())) > 0) {
            if (read(events_, &status_, sizeof status_) != sizeof status_) {
                return false;
            }
            if (wanted(status_)) {
                return true;
            }
        }
        return false;
    }

    std::thread paster_;
    int master_ = -1;
    int slave_ = -1;
    int piped_out_ = -1;
    int events_ = -1;
    int commands_ = -1;
    pid_t pid_ = -1;
    termios before_{};
    std::string screen_;
    int status_ = 0;
    bool ended_ = false;
};

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

// The line edited at a terminal that can take it: the keys edit, the count
// is of the line as it stands at Enter, and the terminal is as it was after.
class EditingRun : public TerminalRun {
public:
    explicit EditingRun(const std::function<void(termios&)>& settings = [](termios& /*as is*/) {})
        : TerminalRun("", true, 0, Job::foreground, "", "xterm", settings)
    {
    }
};

struct Typed {
    const char* name;
    std::string keys;
    std::string count;
};

void PrintTo(const Typed& t, std::ostream* os)
{
    *os << t.name;
}

class EditedAtThePrompt : public testing::TestWithParam<Typed> {};

TEST_P(EditedAtThePrompt, IsMeasuredAsItStandsAtEnter)
{
    EditingRun run;
    ASSERT_TRUE(run.shows("teksti: "));
    run.type(GetParam().keys + "\r");
    ASSERT_TRUE(run.shows("Tekstin mitta on " + GetParam().count + " merkkiä.\r\n"));
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
    [](const auto& info) { return std::string(info.param.name); });

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

void PrintTo(const SignalKey& k, std::ostream* os)
{
    *os << k.name;
}

class SignalKeyWhileEditing : public testing::TestWithParam<SignalKey> {};

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
                         [](const auto& info) { return std::string(info.param.name); });

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
