#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Runs the built program the way a user's shell would, and keeps what it did.

struct Outcome {
    std::string out;
    std::string err;
    int exit_status = -1; // -1 if it ended by a signal
    int signal = 0;       // the signal that ended it, 0 if it exited
    long peak_rss_kib = 0;
};

struct RunOptions {
    std::string input;                      // written to its standard input
    std::uint64_t input_repeats = 1;        // how many times `input` is written
    std::vector<std::string> arguments;     // after the program's name
    std::vector<std::string> environment;   // NAME=value, on top of PATH and HOME
    std::optional<std::string> stdin_path;  // read from this file instead of `input`
    std::optional<std::string> stdout_path; // write to this file instead of a pipe
    bool close_stdin = false;
    bool close_stdout = false;
    bool stdout_reader_gone = false; // a pipe whose reading end is closed
    bool ignore_sigpipe = false;     // started with SIGPIPE ignored, as some parents do
    bool close_stderr = false;
    // A limit on the size of the files it writes, with SIGXFSZ ignored, so
    // that a write past it fails with EFBIG: a disk that fills up mid-run.
    std::optional<long> file_size_limit;
    std::optional<long> stack_limit; // bytes of stack, as ulimit -s sets it
    bool input_never_ends = false;   // standard input a pipe that nobody writes to or closes
};

// The program path given to the build, or PITUUS_PROGRAM from the environment.
std::string program_path();

// Runs it with no controlling terminal, as from cron or CI.
Outcome run_program(const RunOptions& options);

// The environment for one locale; IBM850 and ISO-8859-15 are made on first use.
std::vector<std::string> locale_environment(const std::string& locale);
