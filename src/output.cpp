#include "output.hpp"

#include "line.hpp"
#include "message.hpp"

#include <cerrno>
#include <cstring>

void Output::write(std::string_view bytes) noexcept
{
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) {
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

void write_result(Output& out, const LineLength& line, const Encoding& encoding)
{
    if (!line.read) {
        return;
    }
    if (line.ended_unseen) {
        out.write("\n"); // Ctrl-D after the text left the cursor behind it
    }
    out.write(render(messages::result_line, encoding, line.count).view());
}

namespace {

void report(std::string_view what, const char* reason, const Encoding& encoding,
            std::uint64_t number = 0)
{
    Output errors(stderr);
    errors.write(render(what, encoding, number).view());
    if (reason != nullptr) {
        errors.write(reason);
        errors.write("\n");
    }
    errors.flush();
}

} // namespace

bool report_failures(const LineLength& line, int write_error, const Encoding& encoding)
{
    if (line.read_error != 0) {
        report(messages::read_failed, std::strerror(line.read_error), encoding);
    }
    if (write_error != 0) {
        report(messages::write_failed, std::strerror(write_error), encoding);
    }
    if (line.cut_at != 0) {
        report(messages::line_cut, nullptr, encoding, line.cut_at);
    }
    return line.read_error != 0 || write_error != 0;
}
