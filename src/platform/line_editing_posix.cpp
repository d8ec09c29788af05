#include "line_editing.hpp"

#include "../editor/line_editor.hpp"
#include "terminal_posix.hpp"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
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
           same_terminal(STDIN_FILENO, STDOUT_FILENO) && tcgetpgrp(STDIN_FILENO) != -1;
}

unsigned terminal_columns() noexcept
{
    winsize size{};
    constexpr unsigned usual = 80;
    return ioctl(terminal::descriptor(), TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col
                                                                                    : usual;
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
    LineEditor editor(charset, prompt, terminal_columns());
    Bytes screen;
    if (from_the_background) {
        editor.redraw(screen); // the shell has had the terminal, and its rows
    }
    std::array<unsigned char, 4096> keys{};
    for (;;) {
        show(screen);
        if (terminal::resumed()) {
            editor.redraw(screen); // the shell had the terminal meanwhile
            continue;
        }
        if (terminal::resized()) {
            editor.resize(terminal_columns(), screen);
            continue;
        }
        pollfd ready{STDIN_FILENO, POLLIN, 0};
        const int polled = poll(&ready, 1, editor.in_sequence() ? terminal::escape_delay_ms : -1);
        if (polled == 0) {
            editor.sequence_timed_out();
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
