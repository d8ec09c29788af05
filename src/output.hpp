#pragma once

#include "encoding.hpp"

#include <cstdio>
#include <string_view>

// A standard stream that remembers why its first write failed.
class Output {
public:
    explicit Output(std::FILE* stream) noexcept : stream_(stream) {}

    void write(std::string_view bytes) noexcept;
    // Hands what is buffered to the system: only then do most write errors show.
    void flush() noexcept;

    // errno of the first failed write, 0 if none failed.
    [[nodiscard]] int error() const noexcept { return error_; }

private:
    void note_failure() noexcept;

    std::FILE* stream_;
    int error_ = 0;
};

// Says on standard error what failed and why; true if anything did.
bool report_failures(int read_error, int write_error, const Encoding& encoding);
