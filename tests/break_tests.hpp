#pragma once

// The Unicode Character Database's own test cases of grapheme clusters
// (GraphemeBreakTest.txt), as the unit tests and the program tests read them.

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline std::string utf8(char32_t c)
{
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

// One line of the file: "÷ 0020 × 0308 ÷ 0020 ÷", where ÷ marks a boundary
// and × none.
struct BreakCase {
    std::string line;
    std::vector<std::string> code_points; // each as UTF-8
    std::vector<bool> break_before;       // for each code point

    [[nodiscard]] std::string text() const
    {
        std::string joined;
        for (const std::string& c : code_points) {
            joined += c;
        }
        return joined;
    }

    // The clusters: a boundary before each but the one before the first.
    [[nodiscard]] std::uint64_t characters() const
    {
        return static_cast<std::uint64_t>(std::ranges::count(break_before, true));
    }

    // A line of its own as the tool reads one: no line feed or zero byte in
    // it, and no carriage return at its end, which the line feed after it
    // would take.
    [[nodiscard]] bool fits_on_a_line() const
    {
        return std::ranges::none_of(
                   code_points, [](const std::string& c) { return c == "\n" || c[0] == '\0'; }) &&
               code_points.back() != "\r";
    }
};

inline std::vector<BreakCase> read_break_tests(const std::string& path)
{
    std::vector<BreakCase> cases;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        const std::string data = line.substr(0, line.find('#'));
        std::istringstream fields(data);
        BreakCase test{data, {}, {}};
        bool boundary = false;
        for (std::string field; fields >> field;) {
            if (field == "\xC3\xB7") { // ÷
                boundary = true;
            } else if (field == "\xC3\x97") { // ×
                boundary = false;
            } else {
                test.code_points.push_back(utf8(std::stoul(field, nullptr, 16)));
                test.break_before.push_back(boundary);
            }
        }
        if (!test.code_points.empty()) {
            cases.push_back(test);
        }
    }
    return cases;
}
