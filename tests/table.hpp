#pragma once

// One test for many cases: a table whose rows are structs that start with
// `const char* name`, which names each row's test.

#include <gtest/gtest.h>
#include <string>

template <class Row> class Table : public testing::TestWithParam<Row> {
};

inline constexpr auto row_name = [](const auto& info) { return std::string(info.param.name); };

// The commonest row: a text, and what is expected of it.
template <class Expected> struct Case {
    const char* name;
    std::string text;
    Expected expected;
};
