// The Windows program at a Windows console, as a user at cmd.exe meets it.
// Wine gives a program a console when it starts in a terminal: here that is
// a pseudo-terminal of the test's own, with the Linux side in UTF-8, so that
// what the console shows arrives as UTF-8 and what is typed goes in as UTF-8.

#include "break_tests.hpp"
#include "pty.hpp"
#include "table.hpp"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <vector>

namespace {

// A file of this run's own, where two suites may run at once, removed when
// the test ends: each run would otherwise leave ten behind.
class OwnTempFile {
public:
    explicit OwnTempFile(const std::string& name)
        : path_(testing::TempDir() + std::to_string(getpid()) + "-" + name)
    {
    }
    OwnTempFile(const OwnTempFile&) = delete;
    OwnTempFile& operator=(const OwnTempFile&) = delete;
    ~OwnTempFile() { (void)std::remove(path_.c_str()); }
    [[nodiscard]] const std::string& path() const { return path_; }

private:
    std::string path_;
};

using namespace std::chrono_literals;

// Wine and its prefix start slowly the first time, and the machine may be busy.
constexpr auto starting = 60s;

// The Windows program as the console's cmd.exe names it: Wine shows the
// Linux root as drive Z:.
std::string windows_path(std::string path)
{
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return "Z:" + path;
}

// What the console draws, as text: Wine moves the cursor over blanks
// (ESC [ n C) instead of writing spaces, and hides the cursor and clears
// the rest of the line with other escape sequences, which draw nothing.
std::string visible(const std::string& screen)
{
    static const std::regex control_sequence("\x1b\\[([0-9;?]*)([A-Za-z])");
    std::string text;
    auto at = screen.cbegin();
    for (std::sregex_iterator it(screen.begin(), screen.end(), control_sequence), end; it != end;
         ++it) {
        text.append(at, (*it)[0].first);
        if ((*it)[2] == "C") {
            text.append((*it)[1].length() > 0 ? std::stoul((*it)[1]) : 1, ' ');
        }
        at = (*it)[0].second;
    }
    text.append(at, screen.cend());
    std::erase(text, '\r');
    return text;
}

// The program started from cmd.exe, as a user starts it there.
struct AtCmd {
    std::optional<unsigned> code_page; // set with chcp first
    std::string after_program;         // redirections, further commands
    std::string options;               // cmd's own, before /c
};

class ConsoleRun {
public:
    // The program alone, or from cmd.exe.
    explicit ConsoleRun(std::optional<AtCmd> cmd = std::nullopt) : cmd_(std::move(cmd)) { start(); }

    ConsoleRun(const ConsoleRun&) = delete;
    ConsoleRun& operator=(const ConsoleRun&) = delete;

    ~ConsoleRun() { stop(); }

    // True once the prompt is drawn. The program writes its first line
    // within a second of starting, yet under load Wine has started it, once
    // in many hundred starts, to show nothing at all for a minute: a start
    // that shows nothing in half that time is made once more.
    bool shows_prompt()
    {
        const std::string prompt = "Anna tutkittava teksti:";
        if (shows(prompt, starting / 2) || !screen_.empty()) {
            return shows(prompt, starting / 2);
        }
        stop();
        start();
        return shows(prompt, starting);
    }

    // True once the console has drawn `text`.
    bool shows(const std::string& text, std::chrono::milliseconds limit = 10s)
    {
        return pty::eventually(limit, [&] {
            screen_ += pty::drain(master_);
            return visible(screen_).find(text) != std::string::npos;
        });
    }

    // Keys as the terminal sends them: Enter is a carriage return. They are
    // sent once Wine reads the terminal key by key, as it does while it
    // stands for a console: before that, the terminal's own line editing
    // would take them.
    void type(const std::string& keys) const
    {
        (void)pty::eventually(10s, [&] {
            termios settings{};
            return tcgetattr(master_, &settings) == 0 && (settings.c_lflag & ICANON) == 0;
        });
        (void)!write(master_, keys.data(), keys.size());
    }

    // Presses a key once the program has had time to start its wait, which
    // first drops whatever was typed before it: true if that one key ends it.
    bool key_ends_it()
    {
        if (ends(500ms)) {
            return false; // it did not wait
        }
        type("k");
        return ends();
    }

    // Waits for the program to end; false if it still runs after `limit`.
    bool ends(std::chrono::milliseconds limit = 10s)
    {
        ended_ = ended_ || pty::eventually(limit, [&] {
                     screen_ += pty::drain(master_); // or a full terminal would hold it up
                     return waitpid(pid_, &status_, WNOHANG) == pid_;
                 });
        return ended_;
    }

    [[nodiscard]] int exit_status() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }

    [[nodiscard]] std::string screen()
    {
        screen_ += pty::drain(master_);
        return visible(screen_);
    }

private:
    void start()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        const winsize size{25, 80, 0, 0};
        ioctl(master_, TIOCSWINSZ, &size);
        const std::string terminal = ptsname(master_);

        const std::string program = windows_path(PITUUS_WINDOWS_PROGRAM);
        std::vector<std::string> arguments{PITUUS_WINE_RUN, PITUUS_WINDOWS_ARCH};
        if (cmd_) {
            const std::string chcp =
                cmd_->code_page ? "chcp " + std::to_string(*cmd_->code_page) + " >nul & " : "";
            arguments.emplace_back("cmd");
            if (!cmd_->options.empty()) {
                arguments.push_back(cmd_->options);
            }
            arguments.insert(arguments.end(), {"/c", chcp + program + " " + cmd_->after_program});
        } else {
            arguments.push_back(program);
        }
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);

        pid_ = fork();
        if (pid_ == 0) {
            setsid();
            const int slave = open(terminal.c_str(), O_RDWR); // the controlling terminal
            dup2(slave, STDIN_FILENO);
            dup2(slave, STDOUT_FILENO);
            dup2(slave, STDERR_FILENO);
            setenv("LC_ALL", "C.UTF-8", 1);
            setenv("WINE_RUN_AT_CONSOLE", "1", 1);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }

    void stop()
    {
        if (!ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(master_);
        screen_.clear();
    }

    std::optional<AtCmd> cmd_;
    int master_ = -1;
    pid_t pid_ = -1;
    int status_ = 0;
    bool ended_ = false;
    std::string screen_;
};

struct Typed {
    const char* name;
    std::string text;
    std::string count;
};

const std::vector<Typed> typed_lines{
    {"FinnishGreeting", "Hyvää päivää", "12"},
    {"GreetingWithThumbAndSkinTone", "Hyvää 👍🏽", "7"},
    {"DecomposedFinnish", "Hyva\u0308a\u0308", "5"},
    {"EuroSign", "€uro", "4"},
    // Consonants joined by a virama are one character (GB9c).
    {"HindiSentence", "प्रधानमंत्री ने राष्ट्र को संबोधित किया", "20"},
    {"KhmerWoman", "ស្ត្រី", "1"},
    {"EnterAlone", "", "0"},
    // Longer than one read of the console.
    {"LongLine", std::string(5000, 'x'), "5000"},
};

// The console's own code page (nullopt), or the one chcp sets.
using CodePage = std::optional<unsigned>;

class TypedAtTheConsole : public testing::TestWithParam<std::tuple<CodePage, Typed>> {};

TEST_P(TypedAtTheConsole, IsCountedAsSeenAndTheMessagesReadRight)
{
    const auto& [code_page, typed] = GetParam();
    ConsoleRun run(code_page ? std::optional<AtCmd>(AtCmd{code_page, "", ""}) : std::nullopt);
    ASSERT_TRUE(run.shows_prompt()) << run.screen();
    EXPECT_NE(run.screen().find("(maks 256 merkkiä)"), std::string::npos) << run.screen();
    run.type(typed.text + "\r");
    ASSERT_TRUE(run.shows("Tekstin mitta on ")) << run.screen();
    EXPECT_TRUE(run.shows("Tekstin mitta on " + typed.count + " merkki")) << run.screen();
    EXPECT_TRUE(run.shows(" merkkiä.")) << run.screen();
    ASSERT_TRUE(run.key_ends_it());
    EXPECT_EQ(run.exit_status(), 0);
}

INSTANTIATE_TEST_SUITE_P(Lines, TypedAtTheConsole,
                         testing::Combine(testing::Values(CodePage{}, CodePage{65001},
                                                          CodePage{850}),
                                          testing::ValuesIn(typed_lines)),
                         [](const auto& info) {
                             const CodePage code_page = std::get<0>(info.param);
                             return (code_page ? "CodePage" + std::to_string(*code_page)
                                               : std::string("OwnCodePage")) +
                                    "_" + std::get<1>(info.param).name;
                         });

std::string read_file(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Redirected to a file, the messages are in the console's output code page,
// as the console would show them, with the line ends of the text mode.
struct RedirectedOutput {
    unsigned code_page;
    std::string a_umlaut;
};

void PrintTo(const RedirectedOutput& r, std::ostream* os)
{
    *os << r.code_page;
}

class OutputToAFile : public testing::TestWithParam<RedirectedOutput> {};

TEST_P(OutputToAFile, HoldsTheMessagesInTheConsolesOutputCodePage)
{
    const OwnTempFile file("pituus-console-out-" + std::to_string(GetParam().code_page) + ".txt");
    const std::string& out = file.path();
    (void)std::remove(out.c_str());
    ConsoleRun run(AtCmd{GetParam().code_page, "> " + windows_path(out), ""});
    ASSERT_TRUE(pty::eventually(starting, [&] { return read_file(out).ends_with("teksti: "); }));
    run.type("abc\r");
    ASSERT_TRUE(pty::eventually(10s, [&] { return read_file(out).ends_with(".\r\n"); }))
        << run.screen();
    ASSERT_TRUE(run.key_ends_it());
    const std::string& a = GetParam().a_umlaut;
    EXPECT_EQ(read_file(out), "Ohjelma tutkii annetun tekstin pituuden (maks 256 merkki" + a +
                                  ")\r\n\r\nAnna tutkittava teksti: Tekstin mitta on 3 merkki" + a +
                                  ".\r\n");
    EXPECT_EQ(run.exit_status(), 0);
}

INSTANTIATE_TEST_SUITE_P(CodePages, OutputToAFile,
                         testing::Values(RedirectedOutput{850, "\x84"},
                                         RedirectedOutput{437, "\x84"},
                                         RedirectedOutput{65001, "\xC3\xA4"},
                                         RedirectedOutput{1252, "\xE4"},
                                         // Cyrillic has no ä: the console's own byte stands.
                                         RedirectedOutput{1251, "\x84"}),
                         [](const auto& info) { return std::to_string(info.param.code_page); });

// Input from a file is in the console's input code page: UTF-8 counts as
// seen, any other a byte a character. The key is still read at the console.
struct RedirectedInput {
    const char* name;
    unsigned code_page;
    std::string bytes;
    std::string count;
};

using InputFromAFile = Table<RedirectedInput>;

TEST_P(InputFromAFile, IsCountedByTheConsolesInputCodePageAndTheKeyStillAwaited)
{
    const OwnTempFile file(std::string("pituus-console-in-") + GetParam().name + ".txt");
    const std::string& in = file.path();
    std::ofstream(in, std::ios::binary) << GetParam().bytes;
    ConsoleRun run(AtCmd{GetParam().code_page, "< " + windows_path(in), ""});
    ASSERT_TRUE(run.shows("Tekstin mitta on " + GetParam().count + " merkki", starting))
        << run.screen();
    ASSERT_TRUE(run.key_ends_it());
    EXPECT_EQ(run.exit_status(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, InputFromAFile,
    testing::Values(RedirectedInput{"DecomposedUtf8", 65001, "Hyva\u0308a\u0308\r\nrest\r\n", "5"},
                    RedirectedInput{"ThumbUtf8", 65001, "👍🏽\r\n", "1"},
                    RedirectedInput{"Utf8InCodePage850", 850, "Hyvää\r\n", "7"},
                    RedirectedInput{"CodePage850Letters", 850, "p\x84iv\x84\r\n", "5"}),
    row_name);

// The cases of the database's own test file that fit on a line, all on one
// line, each after a control, which breaks on both sides (GB4, GB5): read
// from a file at a UTF-8 console, where Windows counts them as seen.
TEST(UnicodeBreakTests, ThoseThatFitOnALineAreCountedByTheProgram)
{
    std::string line;
    std::uint64_t characters = 0;
    for (const BreakCase& test : read_break_tests(GRAPHEME_BREAK_TESTS)) {
        if (test.fits_on_a_line()) {
            line += "\x01" + test.text();
            characters += 1 + test.characters();
        }
    }
    const OwnTempFile file("pituus-console-break-tests.txt");
    const std::string& in = file.path();
    std::ofstream(in, std::ios::binary) << line << "\r\n";
    ConsoleRun run(AtCmd{65001, "< " + windows_path(in), ""});
    ASSERT_TRUE(run.shows("Tekstin mitta on " + std::to_string(characters) + " merkki", starting))
        << run.screen();
    ASSERT_TRUE(run.key_ends_it());
}

TEST(PasteAtTheConsole, MeasuresTheFirstLineAndTheRestIsNoKey)
{
    ConsoleRun run;
    ASSERT_TRUE(run.shows_prompt()) << run.screen();
    run.type("eka\rtoinen rivi\rkolmas rivi\r");
    ASSERT_TRUE(run.shows("Tekstin mitta on 3 merkkiä.")) << run.screen();
    EXPECT_FALSE(run.ends(1s)) << "a pasted line was taken for the key";
    ASSERT_TRUE(run.key_ends_it());
    EXPECT_EQ(run.exit_status(), 0);
}

// What comes with the key goes too, or cmd.exe would run a pasted line:
// cmd's own prompt after the program, `set /p`, must wait for a new line.
TEST(KeyAtTheConsole, TakesWhatCameWithItAlong)
{
    ConsoleRun run(AtCmd{std::nullopt, "& set /p rest=rest: & echo got[!rest!]", "/v:on"});
    ASSERT_TRUE(run.shows_prompt()) << run.screen();
    run.type("abc\r");
    ASSERT_TRUE(run.shows("Tekstin mitta on 3 merkki")) << run.screen();
    EXPECT_FALSE(run.ends(500ms));
    run.type("kecho pasted\r");
    ASSERT_TRUE(run.shows("rest:")) << run.screen();
    EXPECT_FALSE(run.ends(500ms)) << run.screen();
    run.type("typed\r");
    ASSERT_TRUE(run.ends());
    EXPECT_NE(run.screen().find("got[typed]"), std::string::npos) << run.screen();
}

} // namespace
