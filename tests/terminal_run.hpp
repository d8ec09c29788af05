#pragma once

// The program in a pseudo-terminal of its own, as a job of a small shell
// that does job control: keys typed and pasted, signals, stops and fg, a
// hang-up; and what the terminal showed and its settings after.

#include "process.hpp"
#include "pty.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

inline bool same_settings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag &&
           std::equal(std::begin(a.c_cc), std::end(a.c_cc), std::begin(b.c_cc));
}

// The settings a shell keeps while it reads a command line, as readline
// does: its own line editing, no echo.
inline termios shell_prompt_settings(termios settings)
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
