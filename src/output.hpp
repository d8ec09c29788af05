#pragma once

#include "encoding.hpp"

#include <cstdint>
#include <cstdio>
#include <string_view>

// A standard stream that spells the messages as it takes them, and
// remembers why its first write failed.
class Output {
public:
    explicit Output(std::FILE* stream) noexcept;

    // The message with its letters spelt for this stream and %u replaced by count.
    void write_message(std::string_view message, std::uint64_t count = 0) noexcept;
    // Bytes as they are, such as the system's reason for a failure.
    void write(std::string_view bytes) noexcept;
    // Hands what is buffered to the system: only then do most write errors show.
    void flush() noexcept;

    // errno of the first failed write, 0 if none failed.
    [[nodiscard]] int error() const noexcept { return error_; }

private:
    void note_failure() noexcept;

    std::FILE* stream_;
    Letters letters_;
    int error_ = 0;
};

struct LineLength;

// The result line for a line that was read; nothing for one that was not.
void write_result(Output& out, const LineLength& line);

// Says on standard error what failed and why, and that the terminal cut the
// line if it did; true if anything failed.
bool report_failures(const LineLength& line, int write_error);
