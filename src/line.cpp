#include "line.hpp"

#include "bytes.hpp"
#include "first_line.hpp"
#include "platform/input.hpp"
#include "platform/keyboard.hpp"
#include "platform/line_editing.hpp"
#include "platform/terminals.hpp"

#include <array>
#include <cerrno>
#include <span>

namespace {

// Large enough that the system calls cost little next to the counting, small
// enough to stay in the processor's cache.
constexpr std::size_t block_size = std::size_t{128} * 1024;

// Reads standard input into the line up to its end; false if a read failed,
// with errno set.
bool read_to_the_line_end(FirstLine& line, std::span<unsigned char> block)
{
    for (;;) {
        const std::ptrdiff_t size = platform::read_input(block);
        if (size < 0) {
            return false;
        }
        if (size == 0 || line.add(block.first(static_cast<std::size_t>(size)))) {
            return true;
        }
        // A terminal in line mode hands over a line at a time: text without
        // its line end comes only when Ctrl-D was pressed after it, also at
        // the terminal's longest line.
        if (platform::terminal_line_limit() > 0) {
            return true;
        }
    }
}

// What the terminal was, and did, once the line is read.
struct AfterTheLine {
    std::uint64_t line_limit; // the longest line its line mode hands over, 0 for none
    bool dropped;             // what came after the line was dropped, and may have shown
};

// Quiets the terminal after the line: its line mode's limit is asked first,
// for quieting takes it out of line mode.
AfterTheLine quiet_the_terminal()
{
    const std::uint64_t limit = platform::terminal_line_limit();
    return {limit, platform::quiet_after_line()};
}

} // namespace

LineLength read_line_length(Charset charset, std::string_view prompt)
{
    // Not on the stack, which may be as small as 64 KiB (ulimit -s).
    static std::array<unsigned char, block_size> block;
    FirstLine line(charset, !platform::input_drops_cr_before_lf());
    Bytes edited;
    const platform::Edited edit = platform::edit_line(charset, prompt, edited);
    if (edit == platform::Edited::line) {
        (void)line.add(
            {reinterpret_cast<const unsigned char*>(edited.view().data()), edited.size()});
    } else if (edit == platform::Edited::failed || !read_to_the_line_end(line, block)) {
        LineLength failed;
        failed.read_error = errno;
        return failed;
    }
    const AfterTheLine after = quiet_the_terminal();
    LineLength measured;
    measured.read = true;
    measured.cut_at =
        after.line_limit > 0 && line.bytes() >= after.line_limit ? after.line_limit : 0;
    measured.count = line.length(measured.cut_at > 0);
    measured.ended_unseen =
        (!line.ended() || after.dropped) && platform::terminals().input_shows_on_output;
    return measured;
}
