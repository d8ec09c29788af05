#include "platform/line_editing.hpp"

#include "editor/line_editor.hpp"
#include "platform/terminal_posix.hpp"
#include "platform/terminals.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

// The terminal is the user's, in this process's session, and knows the
// escape sequences that move its cursor.
bool editing_terminal() noexcept
{
    const char* type = std::getenv("TERM");
    return type != nullptr && *type != '\0' && std::string_view(type) != "dumb" &&
           terminals().input_shows_on_output && tcgetpgrp(STDIN_FILENO) != -1;
}

// A terminal that gives no width (0, as a serial line may) is taken as 80
// wide; one that gives no height, as of any height.
TerminalSize terminal_size() noexcept
{
    winsize size{};
    constexpr unsigned usual = 80;
    if (ioctl(terminal::descriptor(), TIOCGWINSZ, &size) != 0) {
        return {usual, 0};
    }
    return {size.ws_col > 0 ? size.ws_col : usual, size.ws_row};
}

// How long the terminal may take to answer where its cursor is: over a slow
// link, a round trip. A terminal that takes longer is asked nothing more.
constexpr long answer_wait_ms = 400;

long milliseconds_now() noexcept
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

// Raises a signal character's signal as the terminal would have: to the
// foreground job, which is this process's.
void raise_typed(Signal signal) noexcept
{
    (void)kill(0, signal == Signal::interrupt ? SIGINT
                  : signal == Signal::quit    ? SIGQUIT
                                              : SIGTSTP);
}

// What draws the line, written to the terminal itself: standard output gets
// only the tool's messages.
void show(Bytes& screen) noexcept
{
    for (std::size_t at = 0; at < screen.size();) {
        const ssize_t written =
            write(terminal::descriptor(), screen.view().data() + at, screen.size() - at);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            break; // the terminal has gone away: the read will say so
        }
        at += static_cast<std::size_t>(written);
    }
    screen.clear();
}

} // namespace

Edited edit_line(Charset charset, std::string_view prompt, Bytes& line)
{
    if (charset == Charset::multibyte || !editing_terminal()) {
        return Edited::not_here;
    }
    // A job in the background stops here, as its read of the terminal would
    // stop it, and edits once brought forward.
    const bool from_the_background = !terminal::in_foreground();
    if (from_the_background) {
        (void)kill(0, SIGTTIN);
    }
    if (!terminal::in_foreground() || !terminal::enter(terminal::Mode::edit, TCSANOW)) {
        return Edited::not_here;
    }
    LineEditor editor(charset, prompt, terminal_size(), terminal::signal_keys());
    Bytes screen;
    if (from_the_background) {
        editor.redraw(terminal_size(), screen); // the shell has had the terminal, and its rows
    } else {
        editor.start(screen);
    }
    std::array<unsigned char, 4096> keys{};
    long answers_due = -1; // when the terminal's answers are given up on
    for (;;) {
        show(screen);
        if (terminal::resumed()) {
            editor.redraw(terminal_size(), screen); // the shell had the terminal meanwhile
            continue;
        }
        if (terminal::resized()) {
            editor.resize(terminal_size(), screen);
            continue;
        }
        if (!editor.awaiting_answers()) {
            answers_due = -1;
        } else if (answers_due < 0) {
            answers_due = milliseconds_now() + answer_wait_ms;
        }
        int wait = editor.in_sequence() ? terminal::escape_delay_ms : -1;
        if (answers_due >= 0) {
            const long left = std::max(0L, answers_due - milliseconds_now());
            wait = wait < 0 ? static_cast<int>(left) : std::min(wait, static_cast<int>(left));
        }
        pollfd ready{STDIN_FILENO, POLLIN, 0};
        const int polled = poll(&ready, 1, wait);
        if (polled == 0) {
            if (editor.in_sequence()) {
                editor.sequence_timed_out(screen);
            }
            if (answers_due >= 0 && milliseconds_now() >= answers_due) {
                editor.answers_timed_out(screen);
            }
            continue;
        }
        const ssize_t size = polled < 0 ? -1 : read(STDIN_FILENO, keys.data(), keys.size());
        if (size < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue; // a signal: a stop, a resize
        }
        if (size < 0 && errno != EIO) {
            return Edited::failed;
        }
        const LineEditor::State state =
            size > 0 ? editor.take(std::span(keys).first(static_cast<std::size_t>(size)), screen)
                     : LineEditor::State::ended; // hung up: what was typed, no line end
        if (state == LineEditor::State::signalled) {
            show(screen);
            raise_typed(editor.signal()); // returns where the signal lets the run go on
            continue;
        }
        if (state != LineEditor::State::editing) {
            show(screen);
            line.assign(editor.text());
            if (state == LineEditor::State::entered) {
                line.append("\n");
            }
            return Edited::line;
        }
    }
}

} // namespace platform
