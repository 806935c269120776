#pragma once

#include "platform/api/geometry.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace tillory::platform {

/// One entry of the window list.
struct WindowInfo {
    std::uint32_t number = 0;
    std::int32_t ownerPid = 0;
    QString ownerName;
    QString name;
    int layer = 0;
    double alpha = 1.0;
    /// Global top-left space.
    Rect bounds;
    bool isOnscreen = false;
    friend bool operator==(const WindowInfo&, const WindowInfo&) = default;
};

enum class WindowListOption : unsigned {
    All = 0,
    OnScreenOnly = 1u << 0,
    ExcludeDesktopElements = 1u << 4,
};

inline unsigned operator|(WindowListOption a, WindowListOption b) {
    return static_cast<unsigned>(a) | static_cast<unsigned>(b);
}

/// The window server's list of windows. Main thread.
class WindowList {
public:
    virtual ~WindowList() = default;
    /// Front to back; an empty list when the service is missing. `options` is a set of WindowListOption bits.
    virtual std::vector<WindowInfo> windows(unsigned options) = 0;
};

/// Access checks for capturing other windows' pixels. Main thread.
class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;
    virtual bool hasAccess() const = 0;
    /// Shows the system prompt when access is missing; answers the access at that moment.
    virtual bool requestAccess() = 0;
};

} // namespace tillory::platform
