#pragma once

#include "platform/api/geometry.h"

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace tillory::platform::nix {

/// The workspace sway keeps hidden scratchpad windows on.
inline const QString kSwayScratchpad = QStringLiteral("__i3_scratch");

/// One view (a container holding an application's window) of sway's tree.
struct SwayWindow {
    /// The container id, what `[con_id=N]` criteria address; never 0.
    std::uint32_t id = 0;
    /// 0 when sway does not say.
    std::int32_t pid = 0;
    /// The Wayland app_id, else (an X11 window) its WM_CLASS class, else its instance.
    QString appId;
    /// The X11 window's WM_CLASS instance and class; empty for Wayland windows.
    QString x11Instance;
    QString x11Class;
    QString title;
    /// Global top-left layout coordinates, the title bars above the content included: the box that
    /// `resize set` and `move absolute position` address.
    Rect frame;
    /// The application's own surface, borders and title bars left out (global top-left layout coordinates): what
    /// the application's window-relative positions count from.
    Rect surface;
    bool visible = false;
    bool focused = false;
    bool floating = false;
    bool fullscreen = false;
    /// The workspace's name; empty when the view is not inside one (a window event's container).
    QString workspace;

    bool isX11() const { return !x11Class.isEmpty() || !x11Instance.isEmpty(); }
    friend bool operator==(const SwayWindow&, const SwayWindow&) = default;
};

/// Every view of a GET_TREE reply (tiled and floating, of all outputs and workspaces, the scratchpad's too), front
/// to back as far as the tree tells: each container's "focus" array lists its children most recently focused
/// first, so the walk that follows those arrays from the root puts the most recent output first, its most recent
/// workspace, and so on. Fields of the wrong kind count as missing; nodes without a usable id are left out.
std::vector<SwayWindow> swayWindows(const QJsonObject& tree);

/// The view a window event's "container" describes (without a workspace: the event does not say); nothing when it
/// is no view.
std::optional<SwayWindow> swayView(const QJsonObject& container);

/// Where the surface of `pid`'s focused window starts, else that of its front-most visible one (`windows` in tree
/// order); nothing when the process shows no window.
std::optional<Point> surfaceOrigin(const std::vector<SwayWindow>& windows, std::int32_t pid);

/// `windows` (in tree order) re-ordered by what is known to be more recent: the focused window first, then those in
/// `recent` (newest first, as focus events reported them), then the others in their tree order. The tree alone
/// cannot tell a window of another workspace focused in between.
std::vector<SwayWindow> byRecency(std::vector<SwayWindow> windows, const std::vector<std::uint32_t>& recent);

} // namespace tillory::platform::nix
