// The Windows program as its users run it from cmd.exe: redirected input and
// output, text-mode streams, the console code page's bytes.

#include "table.hpp"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

std::string program()
{
    std::string path(MAX_PATH, '\0');
    path.resize(GetModuleFileNameA(nullptr, path.data(), MAX_PATH));
    return path.substr(0, path.find_last_of('\\') + 1) + "pituus.exe";
}

// A file of this run's own: two runs of the suite at once (in a terminal
// and without one) share the Wine prefix and its temporary folder.
std::string temp_file(const char* name)
{
    return testing::TempDir() + std::to_string(GetCurrentProcessId()) + "-" + name;
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    (void)std::fwrite(bytes.data(), 1, bytes.size(), file);
    (void)std::fclose(file);
}

std::string read_file(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return "<no file>";
    }
    std::string bytes;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        bytes.append(buffer, n);
    }
    (void)std::fclose(file);
    return bytes;
}

struct Outcome {
    std::string out;
    int exit_status;
};

// `through` is "<" to redirect from the file, or "|" to pipe it in with type.
Outcome run(const std::string& input, const char* through = "<")
{
    const std::string in = temp_file("pituus-in.txt");
    const std::string out = temp_file("pituus-out.txt");
    write_file(in, input);
    const std::string command =
        std::string(through) == "<"
            ? "\"\"" + program() + "\" < \"" + in + "\" > \"" + out + "\"\""
            : "\"type \"" + in + "\" | \"" + program() + "\" > \"" + out + "\"\"";
    const int status = std::system(command.c_str()); // NOLINT(cert-env33-c): cmd.exe is the point
    return {read_file(out), status};
}

std::string dialogue(const std::string& count)
{
    return "Ohjelma tutkii annetun tekstin pituuden (maks 256 merkki\x84)\r\n\r\n"
           "Anna tutkittava teksti: Tekstin mitta on " +
           count + " merkki\x84.\r\n";
}

using Measured = Case<std::string>; // the input, and its count

using FirstLine = Table<Measured>;

TEST_P(FirstLine, IsMeasuredAndReportedInTheConsoleCodePageWithCrLf)
{
    const Outcome outcome = run(GetParam().text);
    EXPECT_EQ(outcome.out, dialogue(GetParam().expected));
    EXPECT_EQ(outcome.exit_status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, FirstLine,
    testing::Values(Measured{"EnterAlone", "\r\n", "0"}, Measured{"EmptyInput", "", "0"},
                    Measured{"ThreeLetters", "abc\r\n", "3"},
                    Measured{"CrLfFileOnlyFirstLine", "abc\r\nsecond\r\n", "3"},
                    Measured{"UnixLineEnd", "abcd\nx", "4"},
                    Measured{"TextModeDropsOnlyOneCr", "ab\r\r\n", "3"},
                    Measured{"Exactly256", std::string(256, 'x') + "\r\n", "256"},
                    Measured{"LongLineInFull", std::string(300000, 'x') + "\r\n", "300000"},
                    Measured{"NoFinalLineEnd", "ab", "2"},
                    Measured{"ZeroByteEndsCount", std::string("a\0bc\r\n", 6), "1"},
                    Measured{"CodePage850Letter", "p\x84iv\x84\r\n", "5"}),
    row_name);

TEST(Pipe, InputPipedInIsMeasuredTheSame)
{
    const Outcome outcome = run("kolme\r\nneljä\r\n", "|");
    EXPECT_EQ(outcome.out, dialogue("5"));
    EXPECT_EQ(outcome.exit_status, 0);
}

} // namespace
