#pragma once

#include "encoding.hpp"

// Windows code pages, by the numbers the console reports (GetConsoleCP,
// GetConsoleOutputCP), and what each means for the tool's text.
namespace code_page {

inline constexpr unsigned none = 0; // the process has no console
inline constexpr unsigned oem_us = 437;
inline constexpr unsigned oem_multilingual = 850;
inline constexpr unsigned utf8 = 65001;

} // namespace code_page

// How text in the code page is counted: UTF-8 as what a person sees as one
// character; any other code page, or none, a byte a character.
Charset charset_of_code_page(unsigned code_page) noexcept;

// How the letters are spelt in the code page. `letter_in` gives a letter's
// bytes in a code page, or an empty spelling where the code page lacks it;
// there the code page 850 byte stands, as in the console of old.
Letters letters_of_code_page(unsigned code_page,
                             Spelling (*letter_in)(unsigned code_page, char16_t letter)) noexcept;
