#pragma once

// A terminal as tmux and xterm.js are, in the editor's code set (the editor's real-terminal tests
// run on both): a cell for each code point, a mark joined to the cell before it, a wide one that
// does not fit at the end of a row wrapped whole, the cursor held past the row's end until the next
// one wraps it; rows kept as they are when its width changes (xterm's way). It takes what the line
// editor sends (line_screen.hpp) and answers where its cursor is.
//
// What it draws a code point of unsure columns in is its own: `odd_widths`
// gives such code points that take columns 0, 1 or 2 by their value, as a
// terminal with other tables than the editor's would.

#include "count/grapheme.hpp"
#include "count/utf8.hpp"
#include "encoding.hpp"

#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TerminalModel {
public:
    TerminalModel(unsigned columns, unsigned rows, Charset charset, bool odd_widths)
        : columns_(columns), rows_(rows), charset_(charset), odd_widths_(odd_widths), cells_(rows)
    {
    }

    void write(std::string_view bytes)
    {
        for (std::size_t at = 0; at < bytes.size();) {
            const auto byte = static_cast<unsigned char>(bytes[at]);
            if (byte == 0x1B) {
                at = sequence(bytes, at + 1);
            } else if (byte == '\r') {
                column_ = 0;
                pending_ = false;
                ++at;
            } else if (byte == '\n') {
                down();
                ++at;
            } else if (charset_ != Charset::utf8) {
                put(bytes.substr(at, 1), 'x'); // a byte a cell
                ++at;
            } else {
                const Decoded decoded = decode(
                    reinterpret_cast<const unsigned char*>(bytes.data()) + at, bytes.size() - at);
                const std::size_t size = decoded.size == 0 ? bytes.size() - at : decoded.size;
                put(bytes.substr(at, size),
                    decoded.size == 0 ? replacement_character : decoded.code_point);
                at += size;
            }
        }
    }

    // The answers to the questions asked, as the terminal sends them.
    std::string take_answers() { return std::exchange(answers_, {}); }

    // The width changes; the rows stay as they were, cut at the new width.
    void resize(unsigned columns)
    {
        columns_ = columns;
        for (auto& row : cells_) {
            row.resize(std::min<std::size_t>(row.size(), columns));
        }
        column_ = std::min(column_, columns_ - 1);
        pending_ = false;
    }

    [[nodiscard]] std::string row(unsigned row) const
    {
        std::string text;
        for (const std::string& cell : cells_.at(row)) {
            text += cell.empty() ? " " : cell == wide_half ? "" : cell;
        }
        return text.erase(text.find_last_not_of(' ') + 1);
    }
    [[nodiscard]] unsigned cursor_row() const { return row_; }
    [[nodiscard]] unsigned cursor_column() const { return pending_ ? columns_ : column_; }
    [[nodiscard]] unsigned rows() const { return rows_; }

private:
    static constexpr std::string_view wide_half = "\x01";

    // Rows get their cells when first written.
    std::string& cell(unsigned row, unsigned column)
    {
        if (cells_[row].size() <= column) {
            cells_[row].resize(columns_);
        }
        return cells_[row][column];
    }

    // A terminal of other tables may draw a code point that takes columns in
    // none to two; marks it joins as any does.
    [[nodiscard]] unsigned width_of(char32_t c) const
    {
        const Columns columns = columns_of(c);
        if (columns.sure || columns.count == 0 || !odd_widths_ || c == replacement_character) {
            return columns.count;
        }
        return c % 3;
    }

    void put(std::string_view bytes, char32_t c)
    {
        const unsigned width = width_of(c);
        if (width == 0) { // joins the cell before it
            unsigned column = pending_ ? column_ : column_ > 0 ? column_ - 1 : 0;
            if (column > 0 && cell(row_, column) == wide_half) {
                --column;
            }
            cell(row_, column) += bytes;
            return;
        }
        if (pending_ || column_ + width > columns_) {
            if (width > columns_) {
                return; // fits nowhere
            }
            column_ = 0;
            down();
        }
        pending_ = false;
        cell(row_, column_) = bytes;
        if (width == 2) {
            cell(row_, column_ + 1) = wide_half;
        }
        column_ += width;
        if (column_ == columns_) {
            column_ = columns_ - 1;
            pending_ = true;
        }
    }

    void down()
    {
        pending_ = false;
        if (row_ + 1 < rows_) {
            ++row_;
            return;
        }
        cells_.erase(cells_.begin());
        cells_.emplace_back();
    }

    void up()
    {
        pending_ = false;
        if (row_ > 0) {
            --row_;
            return;
        }
        cells_.pop_back();
        cells_.insert(cells_.begin(), std::vector<std::string>());
    }

    std::size_t sequence(std::string_view bytes, std::size_t at)
    {
        if (at < bytes.size() && bytes[at] == 'M') {
            up();
            return at + 1;
        }
        if (at >= bytes.size() || bytes[at] != '[') {
            return at;
        }
        std::size_t end = at + 1;
        while (end < bytes.size() && (bytes[end] < '@' || bytes[end] > '~')) {
            ++end;
        }
        unsigned n = 1;
        (void)std::from_chars(bytes.data() + at + 1, bytes.data() + end, n);
        const char final_byte = end < bytes.size() ? bytes[end] : '\0';
        if (final_byte == 'A') {
            row_ -= std::min(n, row_);
        } else if (final_byte == 'B') {
            row_ = std::min(row_ + n, rows_ - 1);
        } else if (final_byte == 'C') {
            column_ = std::min(column_ + n, columns_ - 1);
        } else if (final_byte == 'J') {
            for (unsigned row = row_; row < rows_; ++row) {
                auto& cells = cells_[row];
                const std::size_t from = row == row_ ? column_ : 0;
                std::fill(cells.begin() + static_cast<std::ptrdiff_t>(std::min(from, cells.size())),
                          cells.end(), std::string());
            }
        } else if (final_byte == 'n') {
            answers_ += "\x1b[" + std::to_string(row_ + 1) + ";" +
                        std::to_string((pending_ ? columns_ - 1 : column_) + 1) + "R";
        }
        pending_ = pending_ && final_byte == 'n';
        return end + 1;
    }

    unsigned columns_;
    unsigned rows_;
    Charset charset_;
    bool odd_widths_;
    std::vector<std::vector<std::string>> cells_;
    unsigned row_ = 0;
    unsigned column_ = 0;
    bool pending_ = false;
    std::string answers_;
};
