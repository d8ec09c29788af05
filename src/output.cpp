#include "output.hpp"

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

namespace {

void report(std::string_view what, int error, const Encoding& encoding)
{
    Output errors(stderr);
    errors.write(render(what, encoding).view());
    errors.write(std::strerror(error));
    errors.write("\n");
    errors.flush();
}

} // namespace

bool report_failures(int read_error, int write_error, const Encoding& encoding)
{
    if (read_error != 0) {
        report(messages::read_failed, read_error, encoding);
    }
    if (write_error != 0) {
        report(messages::write_failed, write_error, encoding);
    }
    return read_error != 0 || write_error != 0;
}
