#pragma once

namespace platform {

// The value `make` gives, made the first time it is asked for and kept. Not
// a static initialised by the call: that would bring in the C++ run-time's
// guard, and its lock, for a tool that runs on one thread.
template <auto make> const auto& made_on_first_use() noexcept(noexcept(make()))
{
    static decltype(make()) value;
    static bool made = false;
    if (!made) {
        value = make();
        made = true;
    }
    return value;
}

} // namespace platform
