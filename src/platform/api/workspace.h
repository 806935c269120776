#pragma once

#include "platform/api/geometry.h"
#include "platform/api/subscription.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tillory::platform {

struct AppInfo {
    std::int32_t pid = 0;
    /// The application's identifier (bundle identifier, or the desktop entry id on Linux); may be empty.
    QString bundleId;
    QString name;
    friend bool operator==(const AppInfo&, const AppInfo&) = default;
};

/// Running applications. Main thread.
class Workspace {
public:
    virtual ~Workspace() = default;
    /// The application that receives keyboard input; nothing when unknown.
    virtual std::optional<AppInfo> frontApplication() = 0;
    virtual std::vector<AppInfo> runningApplications() = 0;
    /// Calls `onActivate` on the main thread whenever another application comes to the front.
    virtual SubscriptionPtr observeActivations(std::function<void(const AppInfo&)> onActivate) = 0;
    /// Brings the application to the front (its most recent window, on its own workspace); the activation
    /// observers hear of it as of any other. False when the process is unknown or the desktop refused.
    virtual bool activate(std::int32_t pid) {
        (void)pid;
        return false;
    }
    /// Opens a URL with the desktop's handler; false when nothing could open it.
    virtual bool openUrl(const QUrl& url) = 0;
};

struct ScreenInfo {
    /// Screen space: origin at the bottom left of the primary screen, y up.
    Rect frame;
    /// The frame without the menu bar, docks and panels.
    Rect visibleFrame;
    /// How far down from the top the camera housing reaches; 0 on a display without one.
    double safeAreaTop = 0;
    /// The usable strips of the top edge left and right of the camera housing (screen space); nothing when unknown.
    std::optional<Rect> auxiliaryTopLeftArea = std::nullopt;
    std::optional<Rect> auxiliaryTopRightArea = std::nullopt;
    friend bool operator==(const ScreenInfo&, const ScreenInfo&) = default;
};

/// Displays and the pointer. Main thread.
class Screens {
public:
    virtual ~Screens() = default;
    /// The reference screen first: the one whose bottom-left corner is screen space's origin, which the program's
    /// flips between screen space and global top-left space use (the primary screen where the platform puts it at
    /// the origin). Empty when none is known.
    virtual std::vector<ScreenInfo> screens() = 0;
    /// The pointer in screen space.
    virtual Point mouseLocation() = 0;
    /// Seconds between two clicks that still make a double-click.
    virtual double doubleClickInterval() = 0;
    /// Calls `onChange` on the main thread whenever screens are added, removed or rearranged.
    virtual SubscriptionPtr observeChanges(std::function<void()> onChange) = 0;
};

} // namespace tillory::platform
