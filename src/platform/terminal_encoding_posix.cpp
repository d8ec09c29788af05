#include "platform/terminal_encoding.hpp"

#include "platform/first_use.hpp"

#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <langinfo.h>
#include <string_view>

namespace platform {

namespace {

// Compares code set names the way they are written in locale names: case and
// punctuation vary ("UTF-8", "utf8").
bool same_code_set(std::string_view name, std::string_view wanted)
{
    std::size_t at = 0;
    for (const char c : name) {
        if (c == '-' || c == '_') {
            continue;
        }
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (at == wanted.size() || wanted[at] != lower) {
            return false;
        }
        ++at;
    }
    return at == wanted.size();
}

// The letter in the locale's code set, or the plain letter without its dots
// where the code set has no such letter: any other byte would mean
// something else there (0x84 is a control in ISO-8859-7, and a lead byte
// that swallows the next in BIG5).
Spelling spell(wchar_t letter, char without_dots)
{
    std::array<char, MB_LEN_MAX> bytes{};
    std::mbstate_t state{};
    const std::size_t size = std::wcrtomb(bytes.data(), letter, &state);
    Spelling spelling;
    if (size > spelling.bytes.size()) { // (std::size_t)-1 when the code set lacks it
        return single_byte_spelling(without_dots);
    }
    std::memcpy(spelling.bytes.data(), bytes.data(), size);
    spelling.size = size;
    return spelling;
}

// The locale name that the user's settings give for character types: the
// first of LC_ALL, LC_CTYPE and LANG that is set and not empty.
std::string_view locale_name_in_effect()
{
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable); // NOLINT(concurrency-mt-unsafe): one thread
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

// True if a locale name such as fi_FI.UTF-8 or en_US.utf8@euro names UTF-8,
// or is just the code set's name, as macOS sends it over SSH (UTF-8).
bool names_utf8(std::string_view locale)
{
    std::string_view code_set = locale;
    if (const std::size_t dot = locale.find('.'); dot != std::string_view::npos) {
        code_set.remove_prefix(dot + 1);
    }
    if (const std::size_t modifier = code_set.find('@'); modifier != std::string_view::npos) {
        code_set.remove_suffix(code_set.size() - modifier);
    }
    return same_code_set(code_set, "utf8");
}

// The terminal's encoding, as the locale gives it.
struct LocaleEncoding {
    Charset charset = Charset::single_byte;
    Letters letters = code_page_850_letters();
};

LocaleEncoding encoding_of_locale()
{
    const std::string_view name = locale_name_in_effect();
    // A category this system lacks (an LC_TIME made elsewhere) fails the
    // whole setting; the character types alone are what counts here.
    const bool found =
        std::setlocale(LC_ALL, "") != nullptr || std::setlocale(LC_CTYPE, "") != nullptr;
    // No locale set at all, as in a container or under env -i: terminals are
    // UTF-8 nowadays (Python takes them so too). A UTF-8 locale that this
    // system lacks, as a terminal logged in from elsewhere often sends: the
    // terminal is UTF-8 all the same. UTF-8 is counted without the C library.
    if (name.empty() || (!found && names_utf8(name))) {
        return {Charset::utf8, utf8_letters()};
    }
    const char* code_set = nl_langinfo(CODESET);
    // The C locale's ASCII has no ä: it gets the bytes of the tool's own console.
    if (same_code_set(code_set, "ansix3.41968") || same_code_set(code_set, "ascii") ||
        same_code_set(code_set, "usascii")) {
        return {};
    }
    LocaleEncoding encoding;
    if (same_code_set(code_set, "utf8")) {
        encoding.charset = Charset::utf8;
    } else {
        encoding.charset = MB_CUR_MAX == 1 ? Charset::single_byte : Charset::multibyte;
    }
    encoding.letters = {spell(L'\u00e4', 'a'), spell(L'\u00f6', 'o')};
    return encoding;
}

// Taken from the locale once, on first use, which also sets the locale for
// the C library's decoder.
const LocaleEncoding& locale_encoding()
{
    return made_on_first_use<encoding_of_locale>();
}

} // namespace

Charset input_charset()
{
    return locale_encoding().charset;
}

// Both streams go to the same terminal, or to where the user sent them: one
// locale speaks for all.
Letters letters_for(std::FILE* /*stream*/)
{
    return locale_encoding().letters;
}

} // namespace platform
