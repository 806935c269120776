#pragma once

#include "platform/api/accessibility.h"
#include "platform/api/window_list.h"
#include "platform/api/workspace.h"
#include "snap/snap_geometry.h"

#include <QSet>

#include <cstdint>
#include <optional>

namespace tillory::snap {

using platform::Element;

/// The ordinary window under a point, from the window list.
struct WindowHit {
    std::int32_t pid = 0;
    std::uint32_t windowID = 0;
    /// The window list's bounds, global top-left space.
    Rect frame;
    std::optional<ScreenInfo> screen;
};

/// The window the keyboard chords and the picker act on.
struct FocusedTarget {
    std::int32_t pid = 0;
    std::uint32_t windowID = 0;
    Element window;
    ScreenInfo screen;
};

/// Finding other applications' windows and giving them a frame through the accessibility interface. Frames are
/// in global top-left space. Every failure answers nothing or stops silently. Main thread.
class SnapWindowAccess {
public:
    static constexpr double kSizeTolerance = 2;
    static constexpr double kEdgeTolerance = 2;

    SnapWindowAccess(platform::Accessibility& accessibility, platform::WindowList& windowList,
                     platform::Workspace& workspace, SnapGeometry& geometry, std::int32_t ownPid);

    /// Owners whose windows are never targets.
    static const QSet<QString>& excludedApps();

    Element focusedAXWindow(std::int32_t pid);
    Element axWindow(std::int32_t pid, std::uint32_t windowID);
    std::optional<Point> axPosition(const Element& window);
    std::optional<Rect> currentFrame(const Element& window);
    std::uint32_t windowNumber(const Element& window);
    std::optional<WindowHit> topmostWindow(Point at);
    std::optional<FocusedTarget> frontmostTarget();
    /// The front application's process, unless it is this program or unknown.
    std::optional<std::int32_t> frontPid();

    /// Position and size in one write.
    void applyFrame(const Rect& frame, const Element& window);
    /// Applies the frame twice; a window that keeps another size is then moved so that it keeps the screen edge
    /// the frame touched (its top edge when the frame reaches from the top to the bottom), without going past the
    /// visible frame's left or top.
    void setFrame(const Rect& frame, const ScreenInfo& screen, const Element& window);
    void unminimize(const Element& window);
    void raise(const Element& window);

    std::int32_t ownPid() const { return ownPid_; }

private:
    platform::Accessibility& ax_;
    platform::WindowList& windowList_;
    platform::Workspace& workspace_;
    SnapGeometry& geometry_;
    std::int32_t ownPid_;
};

} // namespace tillory::snap
