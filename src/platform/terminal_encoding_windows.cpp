#include "terminal_encoding.hpp"

namespace platform {

// The Windows console shows the OEM code page (850 or 437) that the messages
// are written in, so they go out byte for byte and each byte is a character.
Encoding terminal_encoding()
{
    return console_code_page_850();
}

} // namespace platform
