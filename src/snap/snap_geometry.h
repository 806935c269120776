#pragma once

#include "platform/api/window_list.h"
#include "platform/api/workspace.h"

#include <QString>
#include <QUuid>

#include <optional>
#include <utility>
#include <vector>

namespace tillory::snap {

using platform::Point;
using platform::Rect;
using platform::ScreenInfo;

/// One zone of a layout: fractions of a screen's work area, x from the left edge, y from the top edge.
struct SnapZone {
    QUuid id;
    Rect unit;
};

struct SnapLayout {
    QUuid id;
    QString name;
    /// A system symbol name.
    QString symbol;
    /// A zone's index here is its zone number everywhere.
    std::vector<SnapZone> zones;
};

/// The fixed catalogue; a layout's index is its layout number everywhere.
struct SnapLayouts {
    static const std::vector<SnapLayout>& all();
};

/// Unit rectangles that are not layouts.
namespace SnapUnits {
inline constexpr Rect kFull{0, 0, 1, 1};
inline constexpr Rect kCentred{0.1, 0.08, 0.8, 0.84};
inline constexpr Rect kLeftHalf{0, 0, 0.5, 1};
inline constexpr Rect kRightHalf{0.5, 0, 0.5, 1};
inline constexpr Rect kTopLeft{0, 0, 0.5, 0.5};
inline constexpr Rect kTopRight{0.5, 0, 0.5, 0.5};
inline constexpr Rect kBottomLeft{0, 0.5, 0.5, 0.5};
inline constexpr Rect kBottomRight{0.5, 0.5, 0.5, 0.5};
} // namespace SnapUnits

/// The layout bar laid out for one screen; every rectangle is in that screen's local top-left space.
struct SnapBarGeometry {
    static constexpr double kCardWidth = 116;
    static constexpr double kCardHeight = 72;
    static constexpr double kBarHeight = 96;

    std::vector<SnapLayout> layouts;
    platform::Size screenSize;
    Rect workArea;

    Rect barRect() const;
    Rect cardRect(int layout) const;
    /// Valid indices only.
    Rect zoneRect(int layout, int zone) const;
    std::optional<std::pair<int, int>> hitTest(Point point) const;
};

/// Where a drag position would snap.
struct DragTarget {
    enum class Kind { Bar, Unit, BarGap, None };
    Kind kind = Kind::None;
    int layout = -1;
    int zone = -1;
    Rect unit;
    friend bool operator==(const DragTarget&, const DragTarget&) = default;
};

/// `point` in the screen-local space of the bar's screen.
DragTarget dragTarget(Point point, const SnapBarGeometry& geo);
/// Whether a click at `point` falls in the title strip of a window whose frame is `frame` (both global top-left).
bool isTopStrip(Point point, const Rect& frame);
bool isClose(const Rect& a, const Rect& b, double tolerance);
/// A's unit rectangle mapped into `area`, without rounding (previews).
Rect mapUnit(const Rect& unit, const Rect& area);

/// Geometry that depends on the current screens, re-read on every use. Main thread.
class SnapGeometry {
public:
    SnapGeometry(platform::Screens& screens, platform::WindowList& windowList)
        : screens_(screens), windowList_(windowList) {}

    /// The flip height between screen space and global top-left space.
    double primaryMaxY() const;
    Rect toTopLeft(const Rect& screenRect) const;
    /// The screen's visible frame in global top-left space.
    Rect visibleTopLeft(const ScreenInfo& screen) const;
    /// The screen's visible frame in its own top-left space (the bar's work area).
    Rect localWorkArea(const ScreenInfo& screen) const;
    Point toLocal(Point global, const ScreenInfo& screen) const;

    /// The window frame for `unit` on `screen`, global top-left space, each edge on a whole point so that
    /// neighbouring zones meet without a gap.
    Rect rect(const Rect& unit, const ScreenInfo& screen) const;
    bool isFullScreenSized(const Rect& frame, const ScreenInfo& screen) const;
    std::optional<Rect> validRestoreFrame(const Rect& frame, const ScreenInfo& screen) const;

    std::vector<ScreenInfo> screens() const { return screens_.screens(); }
    std::optional<ScreenInfo> screen(Point containing) const;
    std::optional<ScreenInfo> screenContainingFrame(const Rect& frame) const;
    std::optional<ScreenInfo> screenForWindow(std::uint32_t windowID) const;
    std::optional<ScreenInfo> targetScreenFallback() const;
    /// The attached screen with `screen`'s frame, as it is now (its work area may have changed); nothing once
    /// that display is gone.
    std::optional<ScreenInfo> stillAttached(const ScreenInfo& screen) const;

private:
    platform::Screens& screens_;
    platform::WindowList& windowList_;
};

} // namespace tillory::snap
