#include "first_line.hpp"

#include "platform/input.hpp"
#include "platform/keyboard.hpp"
#include "platform/line_editing.hpp"
#include "platform/terminals.hpp"

#include <array>
#include <cerrno>
#include <cstring>

namespace {

const unsigned char* find(std::span<const unsigned char> bytes, unsigned char byte) noexcept
{
    return bytes.empty()
               ? nullptr
               : static_cast<const unsigned char*>(std::memchr(bytes.data(), byte, bytes.size()));
}

// Large enough that the system calls cost little next to the counting, small
// enough to stay in the processor's cache.
constexpr std::size_t block_size = std::size_t{128} * 1024;

constexpr std::array<unsigned char, 1> carriage_return{'\r'};

} // namespace

bool Line::add(std::span<const unsigned char> block) noexcept
{
    if (ended_) {
        return true;
    }
    const unsigned char* line_feed = find(block, '\n');
    ended_ = line_feed != nullptr;
    bytes_ += ended_ ? static_cast<std::size_t>(line_feed - block.data()) : block.size();
    if (!cut_) {
        count(ended_ ? block.first(static_cast<std::size_t>(line_feed - block.data())) : block,
              ended_);
    }
    return ended_;
}

void Line::count(std::span<const unsigned char> bytes, bool line_feed_follows) noexcept
{
    if (cr_held_) {
        cr_held_ = false;
        if (!(line_feed_follows && bytes.empty())) {
            counter_.add(carriage_return);
        }
    }
    if (const unsigned char* zero = find(bytes, '\0')) {
        cut_ = true;
        counter_.add(bytes.first(static_cast<std::size_t>(zero - bytes.data())));
        return;
    }
    if (drop_cr_ && !bytes.empty() && bytes.back() == '\r') {
        // Whether this one goes depends on the next byte, which may be in the next block.
        bytes = bytes.first(bytes.size() - 1);
        cr_held_ = !line_feed_follows;
    }
    counter_.add(bytes);
}

std::uint64_t Line::length(bool cut_short) noexcept
{
    if (cr_held_) {
        // The input ended after it: it is part of the line.
        counter_.add(carriage_return);
    }
    return counter_.total(cut_short);
}

namespace {

// Reads standard input into the line up to its end; false if a read failed,
// with errno set.
bool read_to_the_line_end(Line& line, std::span<unsigned char> block)
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

} // namespace

LineLength read_line_length(Charset charset, std::string_view prompt)
{
    // Not on the stack, which may be as small as 64 KiB (ulimit -s).
    static std::array<unsigned char, block_size> block;
    Line line(charset, !platform::input_drops_cr_before_lf());
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
    // The terminal's limit while it is still in line mode: the next step
    // takes it out.
    const std::uint64_t limit = platform::terminal_line_limit();
    const bool dropped = platform::quiet_after_line();
    LineLength measured;
    measured.read = true;
    measured.cut_at = limit > 0 && line.bytes() >= limit ? limit : 0;
    measured.count = line.length(measured.cut_at > 0);
    measured.ended_unseen =
        (!line.ended() || dropped) && platform::terminals().input_shows_on_output;
    return measured;
}
