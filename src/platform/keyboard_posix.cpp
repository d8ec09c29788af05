#include "keyboard.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// The wait reads the controlling terminal, not standard input, so that it
// waits at the keyboard also when the text came from a file or a pipe. The
// terminal is put into a raw mode for it, and every way out of the wait puts
// the user's settings back: the key, a signal that ends the process, and a
// stop from the shell (the settings return while stopped, raw mode on resume).
// Only SIGKILL, which no process can catch, leaves the terminal raw.
//
// The settings are the shell's whenever this process is not in the
// terminal's foreground: they are changed only from there. A background job
// stops when it reads the key, as any program does that reads the terminal
// from there, and takes its mode when brought forward (fg).
//
// Nothing typed or pasted before the wait is taken for the key, and nothing
// that arrives with the key is left for the shell that reads the terminal
// next, where a pasted line would run as a command.

namespace platform {

namespace {

// Set before any handler below is installed, and only read after that.
int terminal = -1;

// Changed by the handlers below and by the code between blocking them, never
// by both at once. The settings that key mode changes, as the user had them
// when it was first set.
termios original{};
// Key mode is set, by this process.
bool changed = false;

// How long the input must stay quiet before a paste is taken to be over. A
// paste arrives in bursts far closer together than this.
constexpr int paste_quiet_ms = 100;
// After ESC, the rest of a function key's sequence may come this late over a
// slow link: the escape delay of terminal programs.
constexpr int escape_quiet_ms = 200;
// Input that never goes quiet (a key held down) is drained no longer.
constexpr int longest_drain_ms = 3000;

// What key mode clears, with VMIN and VTIME set for one byte at a time:
constexpr auto key_mode_local_flags = static_cast<tcflag_t>(
    // each key is read the moment it is pressed, and not shown;
    ICANON | ECHO |
    // Ctrl-C, Ctrl-Z and Ctrl-\ are keys like any other, not signals;
    ISIG |
    // so are Ctrl-V and Ctrl-O, which some systems' line disciplines take for
    // themselves even in this mode (Linux's does only in line mode);
    IEXTEN);
// so are Ctrl-S and Ctrl-Q, which would stop and start output instead.
constexpr auto key_mode_input_flags = static_cast<tcflag_t>(IXON);

bool in_foreground() noexcept
{
    return tcgetpgrp(terminal) == getpgrp();
}

void enter_key_mode(int when) noexcept
{
    termios now{};
    if (!in_foreground() || tcgetattr(terminal, &now) != 0) {
        return;
    }
    if (!changed) {
        original = now;
    }
    now.c_lflag &= ~key_mode_local_flags;
    now.c_iflag &= ~key_mode_input_flags;
    now.c_cc[VMIN] = 1;
    now.c_cc[VTIME] = 0;
    if (tcsetattr(terminal, when, &now) == 0) {
        changed = true;
    }
}

// Puts back what key mode changed, and nothing else. TCSAFLUSH drops
// whatever was typed and not read, should anything still have arrived after
// the drain. Out of the foreground the terminal is the shell's again, with
// the shell's own settings.
void leave_key_mode() noexcept
{
    const bool put_back = changed && in_foreground();
    changed = false;
    termios now{};
    if (!put_back || tcgetattr(terminal, &now) != 0) {
        return;
    }
    now.c_lflag = (now.c_lflag & ~key_mode_local_flags) | (original.c_lflag & key_mode_local_flags);
    now.c_iflag = (now.c_iflag & ~key_mode_input_flags) | (original.c_iflag & key_mode_input_flags);
    now.c_cc[VMIN] = original.c_cc[VMIN];
    now.c_cc[VTIME] = original.c_cc[VTIME];
    tcsetattr(terminal, TCSAFLUSH, &now);
}

void end_after_restoring(int signal)
{
    leave_key_mode();
    // The handler was reset to the default on entry, and the signal is
    // blocked until the handler returns: then it ends the process as it would have.
    (void)raise(signal);
}

// The signals whose handlers below change the settings: blocked in each of
// them and while the code outside them does, so that no two change them at
// once. Job control's stops at the terminal (SIGTTIN, SIGTTOU) are never
// blocked: blocked, they would let a background job change the shell's
// settings.
sigset_t handled_set() noexcept
{
    sigset_t set{};
    sigfillset(&set);
    for (const int never : {SIGKILL, SIGSTOP, SIGTTIN, SIGTTOU}) {
        sigdelset(&set, never);
    }
    return set;
}

void install(int signal, void (*handler)(int), int flags) noexcept
{
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    action.sa_mask = handled_set();
    sigaction(signal, &action, nullptr);
}

void on_stop(int signal)
{
    const int saved_errno = errno;
    leave_key_mode();
    install(signal, SIG_DFL, 0);
    (void)raise(signal);
    sigset_t stop{};
    sigemptyset(&stop);
    sigaddset(&stop, signal);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr); // the process stops here
    // Resumed, or never stopped: the kernel drops the stop of a process
    // group that no shell watches over.
    install(signal, on_stop, SA_RESTART);
    enter_key_mode(TCSANOW);
    errno = saved_errno;
}

// Also after SIGSTOP, which cannot be caught: the shell may have put its
// own settings back meanwhile. Resumed in the background (bg), it leaves
// them to the shell, and stops again when it reads the terminal.
void on_resume(int /*signal*/)
{
    const int saved_errno = errno;
    enter_key_mode(TCSANOW);
    errno = saved_errno;
}

// Signals whose default action is no end of the process, or that cannot be
// caught; every other one, real-time signals included, ends it by default.
bool ends_process_by_default(int signal) noexcept
{
    constexpr std::array others{SIGKILL, SIGSTOP, SIGTSTP, SIGTTIN, SIGTTOU,
                                SIGCONT, SIGCHLD, SIGURG,  SIGWINCH};
    return std::ranges::none_of(others, [signal](int other) { return other == signal; });
}

// What each signal did before the wait, by number.
std::array<struct sigaction, NSIG> actions_before{};

void install_handlers() noexcept
{
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction& before = actions_before.at(static_cast<std::size_t>(signal));
        if (sigaction(signal, nullptr, &before) != 0 || before.sa_handler == SIG_IGN) {
            continue; // one the C library keeps, or ignored: SIGHUP under nohup stays so
        }
        if (signal == SIGTSTP) {
            install(signal, on_stop, SA_RESTART);
        } else if (signal == SIGCONT) {
            install(signal, on_resume, SA_RESTART);
        } else if (ends_process_by_default(signal)) {
            install(signal, end_after_restoring, SA_RESETHAND);
        }
    }
}

void restore_handlers() noexcept
{
    for (int signal = 1; signal < NSIG; ++signal) {
        const struct sigaction& before = actions_before.at(static_cast<std::size_t>(signal));
        if (before.sa_handler != SIG_IGN) {
            sigaction(signal, &before, nullptr);
        }
    }
}

// A descriptor above the standard streams: were one of them closed, the
// terminal must not take its place, or stdio could write there at exit.
int open_terminal() noexcept
{
    const int opened = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (opened < 0 || opened > STDERR_FILENO) {
        return opened;
    }
    const int moved = fcntl(opened, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    close(opened);
    return moved;
}

long milliseconds_now() noexcept
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

// Reads and drops what the terminal sends until it has been quiet for
// quiet_ms, or for at most longest_drain_ms in all, or has gone away. True if
// anything was dropped.
bool drain_until_quiet(int quiet_ms) noexcept
{
    const long deadline = milliseconds_now() + longest_drain_ms;
    std::array<unsigned char, 4096> dropped{};
    bool dropped_any = false;
    pollfd ready{terminal, POLLIN, 0};
    while (milliseconds_now() < deadline) {
        const int polled = poll(&ready, 1, quiet_ms);
        if (polled == 0) {
            break;
        }
        if (polled < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        const ssize_t size = read(terminal, dropped.data(), dropped.size());
        if (size > 0) {
            dropped_any = true;
        } else if (size == 0 || (errno != EINTR && errno != EAGAIN)) {
            break; // hung up: the key's read sees it too
        }
    }
    return dropped_any;
}

// The key, or -1 if the terminal has gone away.
int read_key() noexcept
{
    unsigned char key = 0;
    for (;;) {
        const ssize_t size = read(terminal, &key, 1);
        if (size == 1) {
            return key;
        }
        if (size == 0 || errno != EINTR) {
            return -1;
        }
    }
}

// Opens the terminal and sets key mode up, with the handlers that put the
// settings back, unless that is done already. False without a terminal.
bool take_keyboard(int when) noexcept
{
    if (terminal >= 0) {
        return true;
    }
    terminal = open_terminal();
    if (terminal < 0) {
        return false; // no controlling terminal: nobody to wait for
    }
    const sigset_t blocked = handled_set();
    sigset_t unblocked{};
    sigprocmask(SIG_BLOCK, &blocked, &unblocked);
    install_handlers();
    enter_key_mode(when);
    sigprocmask(SIG_SETMASK, &unblocked, nullptr);
    return true;
}

} // namespace

bool quiet_after_line()
{
    // Standard input is the terminal in whose foreground this process is.
    if (tcgetpgrp(STDIN_FILENO) != getpgrp() || !take_keyboard(TCSANOW)) {
        return false;
    }
    return drain_until_quiet(paste_quiet_ms);
}

void wait_for_key()
{
    // What was typed ahead goes, whole lines or not: here, or in the drain
    // after the line where the keyboard was taken then.
    if (!take_keyboard(TCSAFLUSH)) {
        return;
    }

    // The key is one pressed after the result was shown: the rest of a paste
    // still streaming in is no key.
    constexpr int escape = 0x1B;
    (void)drain_until_quiet(paste_quiet_ms);
    const int key = read_key();
    if (key >= 0) {
        (void)drain_until_quiet(key == escape ? escape_quiet_ms : paste_quiet_ms);
    }

    // A signal that comes now is held until the settings are back, and then
    // does what it would have done.
    const sigset_t blocked = handled_set();
    sigset_t unblocked{};
    sigprocmask(SIG_BLOCK, &blocked, &unblocked);
    restore_handlers();
    leave_key_mode();
    sigprocmask(SIG_SETMASK, &unblocked, nullptr);
    close(terminal);
}

} // namespace platform
