#pragma once

#include "platform/api/geometry.h"
#include "platform/api/subscription.h"

#include <QString>

#include <cstdint>
#include <functional>
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
    /// Calls `onChange` on the main thread with the window's number whenever another window becomes the one that
    /// takes keyboard input, also when both belong to one application. Never called where the platform cannot tell.
    virtual SubscriptionPtr observeActiveWindow(std::function<void(std::uint32_t window)> onChange) {
        (void)onChange;
        return std::make_unique<Subscription>();
    }
    /// Brings the window to the front with keyboard input, from another workspace or the minimised state, by its
    /// number alone (for windows whose owning process is unknown). False when the window is unknown or the
    /// platform cannot.
    virtual bool activateWindow(std::uint32_t window) {
        (void)window;
        return false;
    }
};

/// Access checks for capturing other windows' pixels. Main thread.
class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;
    virtual bool hasAccess() const = 0;
    /// Shows the system prompt when access is missing; answers the access at that moment.
    virtual bool requestAccess() = 0;
    /// What this desktop lacks for captures, in a line for the user, while access is missing; empty where the
    /// missing access is the user's permission.
    virtual QString missingCapability() const { return {}; }
};

} // namespace tillory::platform
