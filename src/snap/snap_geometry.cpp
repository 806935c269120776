#include "snap/snap_geometry.h"

#include <algorithm>
#include <cmath>

namespace tillory::snap {
namespace {

constexpr double kThird = 1.0 / 3.0;
constexpr double kTwoThirds = 2.0 / 3.0;

constexpr double kCardGap = 12;
constexpr double kBarPadding = 16;
constexpr double kBarTopInset = 14;
constexpr double kCardTopInset = 12;
constexpr double kCardInset = 6;
constexpr double kZoneInset = 3;
constexpr double kCardHitMargin = 4;
constexpr double kCorner = 16;
constexpr double kBandBelowBar = 12;
constexpr double kSideEdge = 10;

constexpr double kStripMinSide = 120;
constexpr double kStripMinHeight = 48;
constexpr double kStripMaxHeight = 88;
constexpr double kStripShare = 0.16;
constexpr double kStripSideInset = 4;
constexpr double kCornerButtonsWidth = 88;
constexpr double kCornerButtonsHeight = 38;

constexpr double kFullScreenTolerance = 12;
constexpr double kRestoreMinWidth = 180;
constexpr double kRestoreMinHeight = 140;

SnapLayout layout(const char* name, const char* symbol, std::vector<Rect> units) {
    SnapLayout made{QUuid::createUuid(), QString::fromUtf8(name), QString::fromUtf8(symbol), {}};
    for (const Rect& unit : units) {
        made.zones.push_back({QUuid::createUuid(), unit});
    }
    return made;
}

Rect inset(const Rect& r, double by) {
    return {r.x + by, r.y + by, r.width - 2 * by, r.height - 2 * by};
}

bool intersects(const Rect& a, const Rect& b) {
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

} // namespace

const std::vector<SnapLayout>& SnapLayouts::all() {
    static const std::vector<SnapLayout> catalogue{
        layout("Halves", "rectangle.split.2x1", {{0, 0, 0.5, 1}, {0.5, 0, 0.5, 1}}),
        layout("Wide + Narrow", "rectangle.lefthalf.inset.filled", {{0, 0, kTwoThirds, 1}, {kTwoThirds, 0, kThird, 1}}),
        layout("Thirds", "rectangle.split.3x1",
               {{0, 0, kThird, 1}, {kThird, 0, kThird, 1}, {kTwoThirds, 0, kThird, 1}}),
        layout("Half + Stack", "uiwindow.split.2x1", {{0, 0, 0.5, 1}, {0.5, 0, 0.5, 0.5}, {0.5, 0.5, 0.5, 0.5}}),
        layout("Grid", "rectangle.split.2x2",
               {{0, 0, 0.5, 0.5}, {0.5, 0, 0.5, 0.5}, {0, 0.5, 0.5, 0.5}, {0.5, 0.5, 0.5, 0.5}}),
    };
    return catalogue;
}

Rect mapUnit(const Rect& unit, const Rect& area) {
    return {area.x + unit.x * area.width, area.y + unit.y * area.height, unit.width * area.width,
            unit.height * area.height};
}

Rect SnapBarGeometry::barRect() const {
    const double n = static_cast<double>(layouts.size());
    const double width = n * kCardWidth + std::max(n - 1, 0.0) * kCardGap + 2 * kBarPadding;
    return {(screenSize.width - width) / 2, workArea.minY() + kBarTopInset, width, kBarHeight};
}

Rect SnapBarGeometry::cardRect(int layout) const {
    const Rect bar = barRect();
    return {bar.minX() + kBarPadding + (kCardWidth + kCardGap) * layout, bar.minY() + kCardTopInset, kCardWidth,
            kCardHeight};
}

Rect SnapBarGeometry::zoneRect(int layout, int zone) const {
    const Rect inner = inset(cardRect(layout), kCardInset);
    const Rect& u = layouts[static_cast<std::size_t>(layout)].zones[static_cast<std::size_t>(zone)].unit;
    return {inner.minX() + u.x * inner.width + kZoneInset, inner.minY() + u.y * inner.height + kZoneInset,
            u.width * inner.width - 2 * kZoneInset, u.height * inner.height - 2 * kZoneInset};
}

std::optional<std::pair<int, int>> SnapBarGeometry::hitTest(Point point) const {
    for (int i = 0; i < static_cast<int>(layouts.size()); ++i) {
        if (!inset(cardRect(i), -kCardHitMargin).contains(point)) {
            continue;
        }
        const int zones = static_cast<int>(layouts[static_cast<std::size_t>(i)].zones.size());
        for (int j = 0; j < zones; ++j) {
            if (zoneRect(i, j).contains(point)) {
                return std::pair{i, j};
            }
        }
    }
    return std::nullopt;
}

DragTarget dragTarget(Point p, const SnapBarGeometry& geo) {
    const Rect& w = geo.workArea;
    const bool top = p.y <= w.minY() + kCorner;
    const bool bottom = p.y >= w.maxY() - kCorner;
    const bool left = p.x <= w.minX() + kCorner;
    const bool right = p.x >= w.maxX() - kCorner;
    const auto unit = [](const Rect& u) { return DragTarget{DragTarget::Kind::Unit, -1, -1, u}; };
    if (top && left) {
        return unit(SnapUnits::kTopLeft);
    }
    if (top && right) {
        return unit(SnapUnits::kTopRight);
    }
    if (bottom && left) {
        return unit(SnapUnits::kBottomLeft);
    }
    if (bottom && right) {
        return unit(SnapUnits::kBottomRight);
    }
    if (p.y <= geo.barRect().maxY() + kBandBelowBar) {
        if (const auto hit = geo.hitTest(p)) {
            return {DragTarget::Kind::Bar, hit->first, hit->second, {}};
        }
        return {DragTarget::Kind::BarGap, -1, -1, {}};
    }
    if (p.x <= w.minX() + kSideEdge) {
        return unit(SnapUnits::kLeftHalf);
    }
    if (p.x >= w.maxX() - kSideEdge) {
        return unit(SnapUnits::kRightHalf);
    }
    return {};
}

bool isTopStrip(Point p, const Rect& f) {
    if (f.width <= kStripMinSide || f.height <= kStripMinSide) {
        return false;
    }
    const double height = std::min(std::max(f.height * kStripShare, kStripMinHeight), kStripMaxHeight);
    const Rect strip{f.minX() + kStripSideInset, f.minY(), std::max(f.width - 2 * kStripSideInset, 0.0), height};
    const Rect buttons{f.minX(), f.minY(), kCornerButtonsWidth, kCornerButtonsHeight};
    return strip.contains(p) && !buttons.contains(p);
}

bool isClose(const Rect& a, const Rect& b, double t) {
    return std::abs(a.minX() - b.minX()) <= t && std::abs(a.minY() - b.minY()) <= t &&
           std::abs(a.width - b.width) <= 2 * t && std::abs(a.height - b.height) <= 2 * t;
}

double SnapGeometry::primaryMaxY() const {
    // The platform lists the screen it flips against first: a fixed reference, unlike the screen with keyboard
    // focus, and the right one also where another screen's corner happens to lie at the origin.
    const auto list = screens_.screens();
    return list.empty() ? 0 : list.front().frame.maxY();
}

Rect SnapGeometry::toTopLeft(const Rect& r) const {
    return {r.minX(), primaryMaxY() - r.maxY(), r.width, r.height};
}

Rect SnapGeometry::visibleTopLeft(const ScreenInfo& screen) const {
    return toTopLeft(screen.visibleFrame);
}

Rect SnapGeometry::localWorkArea(const ScreenInfo& s) const {
    return {s.visibleFrame.minX() - s.frame.minX(), s.frame.maxY() - s.visibleFrame.maxY(), s.visibleFrame.width,
            s.visibleFrame.height};
}

Point SnapGeometry::toLocal(Point p, const ScreenInfo& s) const {
    return {p.x - s.frame.minX(), p.y - (primaryMaxY() - s.frame.maxY())};
}

Rect SnapGeometry::rect(const Rect& unit, const ScreenInfo& screen) const {
    const Rect exact = mapUnit(unit, visibleTopLeft(screen));
    const double left = std::round(exact.minX());
    const double top = std::round(exact.minY());
    return {left, top, std::round(exact.maxX()) - left, std::round(exact.maxY()) - top};
}

bool SnapGeometry::isFullScreenSized(const Rect& frame, const ScreenInfo& screen) const {
    return isClose(frame, toTopLeft(screen.frame), kFullScreenTolerance) ||
           isClose(frame, toTopLeft(screen.visibleFrame), kFullScreenTolerance);
}

std::optional<Rect> SnapGeometry::validRestoreFrame(const Rect& frame, const ScreenInfo& screen) const {
    if (frame.width > kRestoreMinWidth && frame.height > kRestoreMinHeight && !isFullScreenSized(frame, screen) &&
        intersects(frame, toTopLeft(screen.frame))) {
        return frame;
    }
    return std::nullopt;
}

std::optional<ScreenInfo> SnapGeometry::screen(Point p) const {
    // Tested in top-left space, where the top edge is inclusive: the row the pointer stops on at the top of a
    // screen belongs to that screen.
    const double flip = primaryMaxY();
    for (const ScreenInfo& s : screens_.screens()) {
        if (Rect{s.frame.minX(), flip - s.frame.maxY(), s.frame.width, s.frame.height}.contains(p)) {
            return s;
        }
    }
    return std::nullopt;
}

std::optional<ScreenInfo> SnapGeometry::screenContainingFrame(const Rect& f) const {
    return screen(Point{f.midX(), f.midY()});
}

std::optional<ScreenInfo> SnapGeometry::screenForWindow(std::uint32_t windowID) const {
    if (windowID == 0) {
        return std::nullopt;
    }
    using platform::WindowListOption;
    for (const platform::WindowInfo& w :
         windowList_.windows(WindowListOption::OnScreenOnly | WindowListOption::ExcludeDesktopElements)) {
        if (w.number == windowID) {
            return screenContainingFrame(w.bounds);
        }
    }
    return std::nullopt;
}

std::optional<ScreenInfo> SnapGeometry::targetScreenFallback() const {
    // Flipped first: in screen space the pointer's top row on a screen lies on that screen's excluded maximum edge.
    const Point mouse = screens_.mouseLocation();
    if (auto found = screen(Point{mouse.x, primaryMaxY() - mouse.y})) {
        return found;
    }
    const auto list = screens_.screens();
    return list.empty() ? std::nullopt : std::optional<ScreenInfo>(list.front());
}

std::optional<ScreenInfo> SnapGeometry::stillAttached(const ScreenInfo& screen) const {
    for (const ScreenInfo& s : screens_.screens()) {
        if (s.frame == screen.frame) {
            return s;
        }
    }
    return std::nullopt;
}

} // namespace tillory::snap
