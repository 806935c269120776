#pragma once

#include "platform/api/bitmap.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace tillory::switcher {

/// One window of the switcher's catalogue.
struct SwitcherWindow {
    /// The window server's number; the entry's identity.
    std::uint32_t id = 0;
    std::int32_t pid = 0;
    /// The window's name, or the application's name when the window has none.
    QString title;
    QString appName;
    std::optional<platform::Bitmap> icon;
    /// The latest capture of the window, if any.
    std::optional<platform::Bitmap> thumbnail;
    friend bool operator==(const SwitcherWindow&, const SwitcherWindow&) = default;
};

} // namespace tillory::switcher
