#include "platform/terminal_encoding.hpp"

#include "platform/code_page.hpp"
#include "platform/console_windows.hpp"

#include <cstring>

namespace platform {

namespace {

// The letter's bytes in the code page, none where the code page lacks it
// (Windows would put a look-alike or a question mark there).
Spelling letter_in(unsigned code_page, char16_t letter)
{
    const wchar_t wide = letter;
    std::array<char, 8> bytes{};
    BOOL lacks = FALSE;
    const int size = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes.data(),
                                         static_cast<int>(bytes.size()), nullptr, &lacks);
    Spelling spelling;
    if (size > 0 && static_cast<std::size_t>(size) <= spelling.bytes.size() && lacks == FALSE) {
        std::memcpy(spelling.bytes.data(), bytes.data(), static_cast<std::size_t>(size));
        spelling.size = static_cast<std::size_t>(size);
    }
    return spelling;
}

} // namespace

// A console hands over what is typed as UTF-16, which reading turns into
// UTF-8; a file or a pipe is taken to be in the console's code page.
Charset input_charset()
{
    return console_of(0) != nullptr ? Charset::utf8 : charset_of_code_page(GetConsoleCP());
}

// A console is written in UTF-16, from UTF-8; a file or a pipe gets the
// bytes of the console's output code page, as the console would show them.
Letters letters_for(std::FILE* stream)
{
    return console_of(_fileno(stream)) != nullptr
               ? utf8_letters()
               : letters_of_code_page(GetConsoleOutputCP(), letter_in);
}

} // namespace platform
