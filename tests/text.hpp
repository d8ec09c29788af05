#pragma once

// Small helpers for writing the tests' texts.

#include <span>
#include <string>

inline std::span<const unsigned char> bytes_of(const std::string& text)
{
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

inline std::string repeat(const std::string& text, int times)
{
    std::string result;
    result.reserve(text.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i) {
        result += text;
    }
    return result;
}
