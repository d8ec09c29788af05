#include "platform/line_editing.hpp"

namespace platform {

// The console edits the line itself, with its own keys.
Edited edit_line(Charset /*charset*/, std::string_view /*prompt*/, Bytes& /*line*/)
{
    return Edited::not_here;
}

} // namespace platform
