#include "keyboard.hpp"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// The wait reads the controlling terminal, not standard input, so that it
// waits at the keyboard also when the text came from a file or a pipe. The
// terminal is put into a raw mode for it, and every way out of the wait puts
// the user's settings back: the key, a signal that ends the process, and a
// stop from the shell (the settings return while stopped, raw mode on resume).

namespace platform {

namespace {

// Set before any handler below is installed, and only read after that.
int terminal = -1;
termios original{};

void enter_key_mode() noexcept
{
    termios raw = original;
    // Each key is read the moment it is pressed, and not shown.
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    // Ctrl-C, Ctrl-Z and Ctrl-\ are keys like any other, not signals.
    raw.c_lflag &= ~static_cast<tcflag_t>(ISIG);
    // So are Ctrl-V and Ctrl-O, which the line discipline would take for itself.
    raw.c_lflag &= ~static_cast<tcflag_t>(IEXTEN);
    // So are Ctrl-S and Ctrl-Q, which would stop and start output instead.
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(terminal, TCSANOW, &raw);
}

// TCSAFLUSH drops what was typed and not read, so that the rest of an arrow
// key's escape sequence does not reach the shell that reads the terminal next.
void leave_key_mode() noexcept
{
    tcsetattr(terminal, TCSAFLUSH, &original);
}

void end_after_restoring(int signal)
{
    leave_key_mode();
    // The handler was reset to the default on entry, and the signal is
    // blocked until the handler returns: then it ends the process as it would have.
    (void)raise(signal);
}

void install(int signal, void (*handler)(int), int flags) noexcept
{
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
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
    enter_key_mode();
    errno = saved_errno;
}

void on_resume(int /*signal*/)
{
    const int saved_errno = errno;
    enter_key_mode();
    errno = saved_errno;
}

// The signals the wait handles, and what each did before it.
constexpr std::array handled_signals{SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGTSTP, SIGCONT};
std::array<struct sigaction, handled_signals.size()> actions_before{};

sigset_t handled_set() noexcept
{
    sigset_t set{};
    sigemptyset(&set);
    for (const int signal : handled_signals) {
        sigaddset(&set, signal);
    }
    return set;
}

void install_handlers() noexcept
{
    for (std::size_t i = 0; i < handled_signals.size(); ++i) {
        const int signal = handled_signals.at(i);
        sigaction(signal, nullptr, &actions_before.at(i));
        if (actions_before.at(i).sa_handler == SIG_IGN) {
            continue; // e.g. SIGHUP under nohup: it stays ignored
        }
        if (signal == SIGTSTP) {
            install(signal, on_stop, SA_RESTART);
        } else if (signal == SIGCONT) {
            install(signal, on_resume, SA_RESTART);
        } else {
            install(signal, end_after_restoring, SA_RESETHAND);
        }
    }
}

void restore_handlers() noexcept
{
    for (std::size_t i = 0; i < handled_signals.size(); ++i) {
        sigaction(handled_signals.at(i), &actions_before.at(i), nullptr);
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

void read_key() noexcept
{
    unsigned char key = 0;
    for (;;) {
        // 0 or an error other than EINTR: the terminal has gone away.
        if (read(terminal, &key, 1) >= 0 || errno != EINTR) {
            return;
        }
    }
}

// A function key sends several bytes, and a paste many: those that come
// within a moment of the key belong to it and are dropped with it.
void discard_rest_of_key() noexcept
{
    constexpr int quiet_milliseconds = 20;
    constexpr int most_rounds = 25;
    std::array<unsigned char, 256> discarded{};
    pollfd ready{terminal, POLLIN, 0};
    for (int round = 0; round < most_rounds; ++round) {
        if (poll(&ready, 1, quiet_milliseconds) <= 0 || (ready.revents & POLLIN) == 0 ||
            read(terminal, discarded.data(), discarded.size()) <= 0) {
            return;
        }
    }
}

} // namespace

void wait_for_key()
{
    terminal = open_terminal();
    if (terminal < 0) {
        return; // no controlling terminal: nobody to wait for
    }
    if (tcgetattr(terminal, &original) != 0) {
        close(terminal);
        return;
    }

    const sigset_t blocked = handled_set();
    sigprocmask(SIG_BLOCK, &blocked, nullptr);
    install_handlers();
    enter_key_mode();
    sigprocmask(SIG_UNBLOCK, &blocked, nullptr);

    read_key();
    discard_rest_of_key();

    // A signal that comes now is held until the settings are back, and then
    // does what it would have done.
    sigprocmask(SIG_BLOCK, &blocked, nullptr);
    restore_handlers();
    leave_key_mode();
    sigprocmask(SIG_UNBLOCK, &blocked, nullptr);
    close(terminal);
}

} // namespace platform
