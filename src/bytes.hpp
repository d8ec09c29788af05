#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>

// A run of bytes that grows as it needs, on the C library's heap: a line
// edited at the terminal and what draws it, of any length. (The C++
// library's strings would bring its run-time into a program that otherwise
// loads the C library alone.) Where memory runs out, what does not fit is
// left out.
class Bytes {
public:
    Bytes() = default;
    explicit Bytes(std::string_view bytes) noexcept { append(bytes); }
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;
    ~Bytes() { std::free(data_); }

    void insert(std::size_t at, std::string_view bytes) noexcept
    {
        if (bytes.empty() || !reserve(size_ + bytes.size()) || data_ == nullptr) {
            return;
        }
        std::memmove(data_ + at + bytes.size(), data_ + at, size_ - at);
        std::memcpy(data_ + at, bytes.data(), bytes.size());
        size_ += bytes.size();
    }
    void append(std::string_view bytes) noexcept { insert(size_, bytes); }
    void append(std::size_t count, char byte) noexcept
    {
        if (count > 0 && reserve(size_ + count) && data_ != nullptr) {
            std::memset(data_ + size_, byte, count);
            size_ += count;
        }
    }
    void erase(std::size_t from, std::size_t to) noexcept
    {
        if (from >= to) {
            return;
        }
        std::memmove(data_ + from, data_ + to, size_ - to);
        size_ -= to - from;
    }
    void clear() noexcept { size_ = 0; }
    void assign(std::string_view bytes) noexcept
    {
        clear();
        append(bytes);
    }

    [[nodiscard]] std::string_view view() const noexcept { return {data_, size_}; }
    [[nodiscard]] std::size_t size() const noexcept { return size_; }
    [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
    [[nodiscard]] unsigned char operator[](std::size_t at) const noexcept
    {
        return static_cast<unsigned char>(data_[at]);
    }

private:
    bool reserve(std::size_t size) noexcept
    {
        if (size <= capacity_) {
            return true;
        }
        const std::size_t capacity = std::max({size, 2 * capacity_, std::size_t{64}});
        void* grown = std::realloc(data_, capacity);
        if (grown == nullptr) {
            return false;
        }
        data_ = static_cast<char*>(grown);
        capacity_ = capacity;
        return true;
    }

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// The same for values that copy as bytes do: a list that grows at its end
// and is cut back from anywhere to its end.
template <class Value> class Growing {
public:
    Growing() = default;
    Growing(const Growing&) = delete;
    Growing& operator=(const Growing&) = delete;
    ~Growing() { std::free(values_); }

    // False where memory ran out, and nothing was added.
    bool push(const Value& value) noexcept
    {
        if (size_ == capacity_) {
            const std::size_t capacity = std::max<std::size_t>(2 * capacity_, 64);
            void* grown = std::realloc(values_, capacity * sizeof(Value));
            if (grown == nullptr) {
                return false;
            }
            values_ = static_cast<Value*>(grown);
            capacity_ = capacity;
        }
        values_[size_++] = value;
        return true;
    }
    void cut_to(std::size_t size) noexcept { size_ = std::min(size, size_); }

    [[nodiscard]] std::size_t size() const noexcept { return size_; }
    [[nodiscard]] const Value& operator[](std::size_t at) const noexcept { return values_[at]; }
    [[nodiscard]] const Value* begin() const noexcept { return values_; }
    [[nodiscard]] const Value* end() const noexcept { return values_ + size_; }

private:
    Value* values_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};
