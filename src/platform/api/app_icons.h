#pragma once

#include "platform/api/bitmap.h"

#include <cstdint>
#include <optional>

namespace tillory::platform {

/// Icons of running applications. Main thread.
class AppIcons {
public:
    virtual ~AppIcons() = default;

    /// The icon of the application that owns process `pid`, in the size the source has nearest to `size` pixels
    /// square (the caller scales; it does not have to match). `window`, when not 0, is one of that process's
    /// window numbers to read it from first (on desktops where icons are kept per window). Nothing when the
    /// process is unknown, has no icon, or its icon data is malformed. Answers at once; no caching here.
    virtual std::optional<Bitmap> icon(std::int32_t pid, std::uint32_t window, int size) = 0;
};

} // namespace tillory::platform
