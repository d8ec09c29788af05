#include "platform/terminal_posix.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string_view>
#include <termios.h>

// The settings are the shell's whenever this process is not in the
// terminal's foreground: they are changed only from there. A stop from the
// shell gives them back while stopped, and the mode returns on resume; so
// does it after SIGSTOP, which cannot be caught, when the shell may have put
// its own settings back meanwhile. Resumed in the background (bg), the
// process leaves them to the shell, and stops again when it reads the
// terminal.

namespace platform::terminal {

namespace {

// Set before any handler below is installed, and only read after that.
int opened = -1;
bool handlers_installed = false;

// Changed by the handlers below and by the code between blocking them, never
// by both at once. The settings that a mode changes, as the user had them
// when one was first set; the mode wanted, and whether it is set.
termios original{};
Mode wanted = Mode::none;
bool changed = false;

volatile std::sig_atomic_t resumed_since = 0;
volatile std::sig_atomic_t resized_since = 0;

// What both modes clear, with VMIN and VTIME set for one byte at a time:
// each key is read the moment it is pressed, and not shown by the terminal.
constexpr auto mode_local_flags =
    static_cast<tcflag_t>(ICANON | ECHO |
                          // Ctrl-C, Ctrl-Z and Ctrl-\ are keys like any other, not signals:
                          // for the key wait, and for the editor, which raises their
                          // signals itself where typed and takes them as text in a paste;
                          ISIG |
                          // so are Ctrl-V and Ctrl-O, which some systems' line disciplines take for
                          // themselves even in this mode (Linux's does only in line mode);
                          IEXTEN);
// so are Ctrl-S and Ctrl-Q, which would stop and start output instead.
constexpr auto mode_input_flags = static_cast<tcflag_t>(IXON);

// Bracketed paste: the terminal marks a paste, so that it is text, not keys.
constexpr std::string_view paste_marks_on = "\x1b[?2004h";
constexpr std::string_view paste_marks_off = "\x1b[?2004l";

tcflag_t local_flags_of(Mode mode) noexcept
{
    return mode == Mode::none ? 0 : mode_local_flags;
}

tcflag_t input_flags_of(Mode mode) noexcept
{
    return mode == Mode::none ? 0 : mode_input_flags;
}

void say(std::string_view sequence) noexcept
{
    (void)!write(opened, sequence.data(), sequence.size());
}

bool foreground() noexcept
{
    return opened >= 0 && tcgetpgrp(opened) == getpgrp();
}

// `now` with what `mode` changes put back as the user had it, and nothing else.
termios restored(termios now, Mode mode) noexcept
{
    const tcflag_t local = local_flags_of(mode);
    const tcflag_t input = input_flags_of(mode);
    now.c_lflag = (now.c_lflag & ~local) | (original.c_lflag & local);
    now.c_iflag = (now.c_iflag & ~input) | (original.c_iflag & input);
    now.c_cc[VMIN] = original.c_cc[VMIN];
    now.c_cc[VTIME] = original.c_cc[VTIME];
    return now;
}

termios in_mode(termios now, Mode mode) noexcept
{
    now.c_lflag &= ~local_flags_of(mode);
    now.c_iflag &= ~input_flags_of(mode);
    now.c_cc[VMIN] = 1;
    now.c_cc[VTIME] = 0;
    return now;
}

// Puts back what the mode changed. TCSAFLUSH drops whatever was typed and
// not read. Out of the foreground the terminal is the shell's again, with
// the shell's own settings.
void put_back(int when) noexcept
{
    const bool put_back = changed && foreground();
    changed = false;
    termios now{};
    if (!put_back || tcgetattr(opened, &now) != 0) {
        return;
    }
    if (wanted == Mode::edit) {
        say(paste_marks_off);
    }
    const termios back = restored(now, wanted);
    tcsetattr(opened, when, &back);
}

// Sets the wanted mode up, from the foreground only, out of the one set
// before, if any.
void set_up(Mode before, int when) noexcept
{
    termios now{};
    if (wanted == Mode::none || !foreground() || tcgetattr(opened, &now) != 0) {
        return;
    }
    if (!changed) {
        original = now;
    } else if (before == Mode::edit) {
        say(paste_marks_off);
    }
    const termios set = in_mode(changed ? restored(now, before) : now, wanted);
    if (tcsetattr(opened, when, &set) == 0) {
        changed = true;
        if (wanted == Mode::edit) {
            say(paste_marks_on);
        }
    }
}

void end_after_restoring(int signal)
{
    put_back(TCSAFLUSH);
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
    put_back(TCSAFLUSH);
    install(signal, SIG_DFL, 0);
    (void)raise(signal);
    sigset_t stop{};
    sigemptyset(&stop);
    sigaddset(&stop, signal);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr); // the process stops here
    // Resumed, or never stopped: the kernel drops the stop of a process
    // group that no shell watches over.
    install(signal, on_stop, SA_RESTART);
    set_up(wanted, TCSANOW);
    resumed_since = 1;
    errno = saved_errno;
}

void on_resume(int /*signal*/)
{
    const int saved_errno = errno;
    set_up(wanted, TCSANOW);
    resumed_since = 1;
    errno = saved_errno;
}

void on_resize(int /*signal*/)
{
    resized_since = 1;
}

// Signals whose default action is no end of the process, or that cannot be
// caught; every other one, real-time signals included, ends it by default.
bool ends_process_by_default(int signal) noexcept
{
    constexpr std::array others{SIGKILL, SIGSTOP, SIGTSTP, SIGTTIN, SIGTTOU,
                                SIGCONT, SIGCHLD, SIGURG,  SIGWINCH};
    return std::ranges::none_of(others, [signal](int other) { return other == signal; });
}

// What each signal did before, by number.
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
        } else if (signal == SIGWINCH) {
            install(signal, on_resize, SA_RESTART);
        } else if (ends_process_by_default(signal)) {
            install(signal, end_after_restoring, SA_RESETHAND);
        }
    }
    handlers_installed = true;
}

void restore_handlers() noexcept
{
    for (int signal = 1; signal < NSIG; ++signal) {
        const struct sigaction& before = actions_before.at(static_cast<std::size_t>(signal));
        if (before.sa_handler != SIG_IGN) {
            sigaction(signal, &before, nullptr);
        }
    }
    handlers_installed = false;
}

// A descriptor above the standard streams: were one of them closed, the
// terminal must not take its place, or stdio could write there at exit.
int open_terminal() noexcept
{
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || fd > STDERR_FILENO) {
        return fd;
    }
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    close(fd);
    return moved;
}

// Runs `change` with the handlers' signals held until it is done.
template <typename Change> void with_signals_held(Change change) noexcept
{
    const sigset_t blocked = handled_set();
    sigset_t unblocked{};
    sigprocmask(SIG_BLOCK, &blocked, &unblocked);
    change();
    sigprocmask(SIG_SETMASK, &unblocked, nullptr);
}

} // namespace

int descriptor() noexcept
{
    if (opened < 0) {
        opened = open_terminal();
    }
    return opened;
}

bool in_foreground() noexcept
{
    return descriptor() >= 0 && foreground();
}

bool enter(Mode mode, int when) noexcept
{
    if (descriptor() < 0) {
        return false; // no controlling terminal: nobody types at it
    }
    with_signals_held([&] {
        if (!handlers_installed) {
            install_handlers();
        }
        if (wanted == mode && changed) {
            return; // set already
        }
        const Mode before = wanted;
        wanted = mode;
        set_up(before, when);
    });
    return true;
}

void release() noexcept
{
    if (opened < 0) {
        return;
    }
    // A signal that comes now is held until the settings are back, and then
    // does what it would have done.
    with_signals_held([] {
        restore_handlers();
        put_back(TCSAFLUSH);
        wanted = Mode::none;
    });
    close(opened);
    opened = -1;
}

SignalKeys signal_keys() noexcept
{
    SignalKeys keys;
    if (!changed || (original.c_lflag & ISIG) == 0) {
        return keys; // stty -isig: they are keys like any other
    }
    const auto key = [](cc_t value) { return value == _POSIX_VDISABLE ? -1 : int{value}; };
    keys.interrupt = key(original.c_cc[VINTR]);
    keys.quit = key(original.c_cc[VQUIT]);
    keys.suspend = key(original.c_cc[VSUSP]);
    return keys;
}

bool resumed() noexcept
{
    const bool was = resumed_since != 0;
    resumed_since = 0;
    return was;
}

bool resized() noexcept
{
    const bool was = resized_since != 0;
    resized_since = 0;
    return was;
}

} // namespace platform::terminal
