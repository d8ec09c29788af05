#include "platform/code_page.hpp"

Charset charset_of_code_page(unsigned code_page) noexcept
{
    return code_page == code_page::utf8 ? Charset::utf8 : Charset::single_byte;
}

Letters letters_of_code_page(unsigned code_page,
                             Spelling (*letter_in)(unsigned code_page, char16_t letter)) noexcept
{
    switch (code_page) {
    case code_page::none:
    case code_page::oem_us:
    case code_page::oem_multilingual:
        return code_page_850_letters();
    case code_page::utf8:
        return utf8_letters();
    default:
        break;
    }
    const auto spelt = [&](char16_t letter, char code_page_850_byte) {
        const Spelling spelling = letter_in(code_page, letter);
        return spelling.size > 0 ? spelling : single_byte_spelling(code_page_850_byte);
    };
    return {spelt(u'\u00e4', cp850_a_umlaut), spelt(u'\u00f6', cp850_o_umlaut)};
}
