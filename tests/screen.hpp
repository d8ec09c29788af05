#pragma once

// What a terminal of some columns shows of what is written to it: enough of
// xterm for the line editor's output (text that wraps at the right edge, a
// wide character that does not fit going to the next row whole, CR, LF and
// the cursor movements and erasures), its widths from the C library.

#include <charconv>
#include <clocale>
#include <cstddef>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

class Screen {
public:
    explicit Screen(unsigned columns) : columns_(columns)
    {
        (void)std::setlocale(LC_CTYPE, "C.UTF-8");
    }

    void write(std::string_view bytes)
    {
        for (std::size_t at = 0; at < bytes.size();) {
            if (bytes[at] == '\x1b' && at + 1 < bytes.size() && bytes[at + 1] == '[') {
                std::size_t end = at + 2;
                while (end < bytes.size() && (bytes[end] < '@' || bytes[end] > '~')) {
                    ++end;
                }
                control(bytes.substr(at + 2, end - at - 2), end < bytes.size() ? bytes[end] : '\0');
                at = end + 1;
            } else if (bytes[at] == '\r') {
                column_ = 0;
                pending_ = false;
                ++at;
            } else if (bytes[at] == '\n') {
                ++row_;
                pending_ = false;
                ++at;
            } else {
                std::mbstate_t state{};
                wchar_t c = 0;
                const std::size_t size =
                    std::mbrtowc(&c, bytes.data() + at, bytes.size() - at, &state);
                const std::size_t taken = size == 0 || size > 4 ? 1 : size;
                // A byte that starts no character shows as U+FFFD.
                put(std::string(bytes.substr(at, taken)), size > 4 ? 1 : wcwidth(c));
                at += taken;
            }
        }
    }

    // A row as it shows, without the blanks at its end.
    [[nodiscard]] std::string row(unsigned row) const
    {
        std::string text;
        if (row < cells_.size()) {
            for (const std::string& cell : cells_[row]) {
                text += cell.empty() ? " " : cell == "\x01" ? "" : cell;
            }
        }
        return text.erase(text.find_last_not_of(' ') + 1);
    }

    [[nodiscard]] unsigned cursor_row() const { return row_; }
    [[nodiscard]] unsigned cursor_column() const { return column_; }

private:
    void put(const std::string& cluster, int width)
    {
        if (width <= 0) { // a mark: it joins the character before
            cell(row_, column_ > 0 ? column_ - 1 : 0) += cluster;
            return;
        }
        const auto w = static_cast<unsigned>(width);
        if (pending_ || column_ + w > columns_) {
            ++row_;
            column_ = 0;
        }
        pending_ = false;
        cell(row_, column_) = cluster;
        if (w == 2) {
            cell(row_, column_ + 1) = "\x01"; // the wide character's second half
        }
        column_ += w;
        if (column_ == columns_) {
            column_ = columns_ - 1;
            pending_ = true;
        }
    }

    void control(std::string_view parameters, char final_byte)
    {
        unsigned n = 1;
        (void)std::from_chars(parameters.data(), parameters.data() + parameters.size(), n);
        pending_ = false;
        if (final_byte == 'A') {
            row_ = n > row_ ? 0 : row_ - n;
        } else if (final_byte == 'B') {
            row_ += n;
        } else if (final_byte == 'C') {
            column_ = std::min(column_ + n, columns_ - 1);
        } else if (final_byte == 'J') {
            cells_.resize(std::min<std::size_t>(cells_.size(), row_ + 1));
            if (row_ < cells_.size() && column_ < cells_[row_].size()) {
                cells_[row_].resize(column_);
            }
        }
    }

    std::string& cell(unsigned row, unsigned column)
    {
        if (cells_.size() <= row) {
            cells_.resize(row + 1);
        }
        if (cells_[row].size() <= column) {
            cells_[row].resize(column + 1);
        }
        return cells_[row][column];
    }

    unsigned columns_;
    std::vector<std::vector<std::string>> cells_;
    unsigned row_ = 0;
    unsigned column_ = 0;
    bool pending_ = false; // the last column was written: the next character wraps
};
