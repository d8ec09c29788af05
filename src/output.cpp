#include "output.hpp"

#include "line.hpp"
#include "message.hpp"
#include "platform/stream_output.hpp"
#include "platform/terminal_encoding.hpp"
#include "platform/terminals.hpp"

#include <cerrno>
#include <cstring>

Output::Output(std::FILE* stream) noexcept
    : stream_(stream), letters_(platform::letters_for(stream))
{
}

void Output::write_message(std::string_view message, std::uint64_t count) noexcept
{
    write(render(message, letters_, count).view());
}

void Output::write(std::string_view bytes) noexcept
{
    if (!platform::write_output(stream_, bytes)) {
        note_failure();
    }
}

void Output::flush() noexcept
{
    if (std::fflush(stream_) != 0) {
        note_failure();
    }
}

void Output::note_failure() noexcept
{
    if (error_ == 0) {
        error_ = errno != 0 ? errno : EIO;
    }
}

void write_result(Output& out, const LineLength& line)
{
    if (!line.read) {
        return;
    }
    if (line.ended_unseen) {
        out.write("\n"); // Ctrl-D after the text left the cursor behind it
    }
    out.write_message(messages::result_line, line.count);
}

namespace {

void report(std::string_view what, const char* reason, std::uint64_t number = 0,
            bool below_prompt = false)
{
    Output errors(stderr);
    if (below_prompt) {
        errors.write("\n");
    }
    errors.write_message(what, number);
    if (reason != nullptr) {
        errors.write(reason);
        errors.write("\n");
    }
    errors.flush();
}

} // namespace

bool report_failures(const LineLength& line, int write_error)
{
    if (line.read_error != 0) {
        // The prompt is still waiting for the line where this may show.
        report(messages::read_failed, std::strerror(line.read_error), 0,
               platform::terminals().errors_show_with_output);
    }
    if (write_error != 0) {
        report(messages::write_failed, std::strerror(write_error));
    }
    if (line.cut_at != 0) {
        report(messages::line_cut, nullptr, line.cut_at);
    }
    return line.read_error != 0 || write_error != 0;
}
