// Reads the first line of arbitrary bytes, split into arbitrary reads, in each
// kind of encoding, and checks the count against a plain reference count
// written here from the rules, independently of the tool's own code.

#include "line.hpp"

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what, std::uint64_t got, std::uint64_t expected)
{
    (void)std::fprintf(stderr, "%s: got %llu, expected %llu\n", what,
                       static_cast<unsigned long long>(got),
                       static_cast<unsigned long long>(expected));
    std::abort();
}

// The line's bytes: up to the first line feed, less one carriage return right
// before it, cut at the first zero byte.
std::span<const std::uint8_t> reference_line(std::span<const std::uint8_t> input)
{
    std::size_t end = 0;
    while (end < input.size() && input[end] != '\n') {
        ++end;
    }
    std::size_t zero = 0;
    while (zero < end && input[zero] != 0) {
        ++zero;
    }
    if (zero == end && end < input.size() && end > 0 && input[end - 1] == '\r') {
        --end;
    }
    return input.first(std::min(zero, end));
}

// Code points by the table of well-formed UTF-8 byte sequences in the Unicode
// standard (3.9); a byte that begins none counts one.
std::uint64_t reference_utf8(std::span<const std::uint8_t> s)
{
    std::uint64_t count = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned b = s[i];
        std::size_t length = 1;
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            low = b == 0xE0 ? 0xA0 : 0x80;
            high = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            low = b == 0xF0 ? 0x90 : 0x80;
            high = b == 0xF4 ? 0x8F : 0xBF;
        }
        bool valid = length > 1 && i + length <= s.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const unsigned c = s[i + k];
            valid = k == 1 ? c >= low && c <= high : c >= 0x80 && c <= 0xBF;
        }
        ++count;
        i += valid ? length : 1;
    }
    return count;
}

// The input read in the sizes the split bytes give (1 to 256, over and over).
std::uint64_t read_in_pieces(std::span<const std::uint8_t> input,
                             std::span<const std::uint8_t> sizes, Charset charset)
{
    Line line(charset, true);
    std::size_t at = 0;
    for (std::size_t turn = 0; at < input.size(); ++turn) {
        const std::size_t size =
            sizes.empty() ? input.size() : std::size_t{sizes[turn % sizes.size()]} + 1;
        const std::size_t taken = std::min(size, input.size() - at);
        // A copy of its own, so that reading past a piece is caught.
        std::vector<std::uint8_t> piece(input.begin() + static_cast<std::ptrdiff_t>(at),
                                        input.begin() + static_cast<std::ptrdiff_t>(at + taken));
        at += taken;
        if (line.add(piece)) {
            break;
        }
    }
    return line.length();
}

} // namespace

// The C library's decoder, for Charset::multibyte, decodes UTF-8 here; it is
// checked for splits and bounds only, as it has rules of its own.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    (void)std::setlocale(LC_CTYPE, "C.UTF-8");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // First byte: encoding; second: how many split sizes follow.
    if (size < 2) {
        return 0;
    }
    const auto charset = static_cast<Charset>(data[0] % 3);
    const std::size_t split_count = std::min<std::size_t>(data[1] % 16, size - 2);
    const std::span<const std::uint8_t> sizes(data + 2, split_count);
    const std::span<const std::uint8_t> input(data + 2 + split_count, size - 2 - split_count);

    const std::uint64_t whole = read_in_pieces(input, {}, charset);
    const std::uint64_t pieces = read_in_pieces(input, sizes, charset);
    if (pieces != whole) {
        fail("the read sizes changed the count", pieces, whole);
    }
    const std::span<const std::uint8_t> line = reference_line(input);
    if (whole > line.size()) {
        fail("more characters than bytes", whole, line.size());
    }
    if (charset == Charset::single_byte && whole != line.size()) {
        fail("single-byte count", whole, line.size());
    }
    if (charset == Charset::utf8 && whole != reference_utf8(line)) {
        fail("UTF-8 count", whole, reference_utf8(line));
    }
    return 0;
}
