#include "platform/stream_output.hpp"

namespace platform {

bool write_output(std::FILE* stream, std::string_view bytes) noexcept
{
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

} // namespace platform
