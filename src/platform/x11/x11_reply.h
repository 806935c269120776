#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace tillory::platform::nix {

/// xcb hands out replies allocated with malloc; this frees them.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

/// A property of 32-bit items as a list; empty when it is missing or of another format.
inline std::vector<std::uint32_t> words(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->type == XCB_NONE || reply->format != 32) {
        return {};
    }
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    return {data, data + xcb_get_property_value_length(reply) / 4};
}

} // namespace tillory::platform::nix
