#pragma once

#include "encoding.hpp"

#include <array>
#include <cstdint>
#include <string_view>

// The tool's texts, in code page 850 (ä is 0x84, ö is 0x94).
namespace messages {

inline constexpr std::string_view banner =
    "Ohjelma tutkii annetun tekstin pituuden (maks 256 merkki\x84)\n\n";
inline constexpr std::string_view prompt = "Anna tutkittava teksti: ";
// %u stands for the length in characters.
inline constexpr std::string_view result_line = "Tekstin mitta on %u merkki\x84.\n";

// Failures, each followed by the system's reason.
inline constexpr std::string_view read_failed = "pituus: sy\x94tteen lukeminen ep\x84onnistui: ";
inline constexpr std::string_view write_failed =
    "pituus: tulosteen kirjoittaminen ep\x84onnistui: ";

// Said when a line typed at a terminal reached the most the terminal passes
// on (%u bytes): it dropped the rest without a word.
inline constexpr std::string_view line_cut =
    "pituus: p\x84\x84te v\x84litt\x84\x84 rivist\x84 enint\x84\x84n %u tavua, joten rivi on "
    "voinut katketa; pidemm\x84n tekstin voi mitata ohjaamalla sen tiedostosta: "
    "pituus < tiedosto\n";

} // namespace messages

// A message as the terminal is to receive it.
class Rendered {
public:
    [[nodiscard]] std::string_view view() const { return {bytes_.data(), size_}; }

    void append(std::string_view text) noexcept;

private:
    // Room for the longest message with every letter four bytes long and a
    // 20-digit count.
    std::array<char, 384> bytes_{};
    std::size_t size_ = 0;
};

// The message with its letters spelt as `letters` and %u replaced by count.
Rendered render(std::string_view message, const Letters& letters, std::uint64_t count = 0);
