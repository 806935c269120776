#include "snap/snap_window_access.h"

#include "switcher/window_catalogue.h"

#include <algorithm>
#include <cmath>

namespace tillory::snap {
namespace {

using platform::AXValue;
namespace AXAttribute = platform::AXAttribute;

constexpr double kHitMinSide = 120;

} // namespace

SnapWindowAccess::SnapWindowAccess(platform::Accessibility& accessibility, platform::WindowList& windowList,
                                   platform::Workspace& workspace, SnapGeometry& geometry, std::int32_t ownPid)
    : ax_(accessibility), windowList_(windowList), workspace_(workspace), geometry_(geometry), ownPid_(ownPid) {}

const QSet<QString>& SnapWindowAccess::excludedApps() {
    // The same owners the window switcher leaves out: one list, so the two features never disagree.
    return switcher::excludedApps();
}

Element SnapWindowAccess::focusedAXWindow(std::int32_t pid) {
    const Element app = ax_.application(pid);
    if (!app) {
        return nullptr;
    }
    const AXValue value = ax_.attribute(app, AXAttribute::FocusedWindow);
    const Element* window = std::get_if<Element>(&value);
    return window ? *window : nullptr;
}

Element SnapWindowAccess::axWindow(std::int32_t pid, std::uint32_t windowID) {
    if (windowID == 0) {
        return nullptr;
    }
    const Element app = ax_.application(pid);
    if (!app) {
        return nullptr;
    }
    const AXValue value = ax_.attribute(app, AXAttribute::Windows);
    const auto* windows = std::get_if<std::vector<Element>>(&value);
    if (!windows) {
        return nullptr;
    }
    for (const Element& window : *windows) {
        if (window && ax_.windowNumber(window) == windowID) {
            return window;
        }
    }
    return nullptr;
}

std::optional<Point> SnapWindowAccess::axPosition(const Element& window) {
    if (!window) {
        return std::nullopt;
    }
    const AXValue value = ax_.attribute(window, AXAttribute::Position);
    const Point* p = std::get_if<Point>(&value);
    return p ? std::optional<Point>(*p) : std::nullopt;
}

std::optional<Rect> SnapWindowAccess::currentFrame(const Element& window) {
    const auto position = axPosition(window);
    if (!position) {
        return std::nullopt;
    }
    const AXValue value = ax_.attribute(window, AXAttribute::Size);
    const platform::Size* size = std::get_if<platform::Size>(&value);
    if (!size) {
        return std::nullopt;
    }
    return Rect{position->x, position->y, size->width, size->height};
}

std::uint32_t SnapWindowAccess::windowNumber(const Element& window) {
    return window ? ax_.windowNumber(window) : 0;
}

std::optional<WindowHit> SnapWindowAccess::topmostWindow(Point p) {
    using platform::WindowListOption;
    for (const platform::WindowInfo& w :
         windowList_.windows(WindowListOption::OnScreenOnly | WindowListOption::ExcludeDesktopElements)) {
        if (w.layer != 0 || w.ownerPid == 0 || w.ownerPid == ownPid_ || w.number == 0 || w.ownerName.isEmpty() ||
            excludedApps().contains(w.ownerName) || !(w.alpha > 0) || !w.bounds.isFinite() ||
            !(w.bounds.width > kHitMinSide) || !(w.bounds.height > kHitMinSide) || !w.bounds.contains(p)) {
            continue;
        }
        return WindowHit{w.ownerPid, w.number, w.bounds, geometry_.screen(p)};
    }
    return std::nullopt;
}

std::optional<std::int32_t> SnapWindowAccess::frontPid() {
    const auto front = workspace_.frontApplication();
    if (!front || front->pid == ownPid_) {
        return std::nullopt;
    }
    return front->pid;
}

std::optional<FocusedTarget> SnapWindowAccess::frontmostTarget() {
    const auto pid = frontPid();
    if (!pid) {
        return std::nullopt;
    }
    const Element window = focusedAXWindow(*pid);
    if (!window) {
        return std::nullopt;
    }
    const std::uint32_t number = windowNumber(window);
    std::optional<ScreenInfo> screen;
    if (const auto frame = currentFrame(window)) {
        screen = geometry_.screenContainingFrame(*frame);
    }
    if (!screen) {
        screen = geometry_.screenForWindow(number);
    }
    if (!screen) {
        screen = geometry_.targetScreenFallback();
    }
    if (!screen) {
        return std::nullopt;
    }
    return FocusedTarget{*pid, number, window, *screen};
}

void SnapWindowAccess::applyFrame(const Rect& frame, const Element& window) {
    if (!window || !frame.isFinite()) {
        return;
    }
    // One write: a move on its own would show the window at its old size first, and some window managers
    // (fluxbox) resize a window they are only asked to move.
    ax_.setAttribute(window, AXAttribute::Frame, frame);
}

void SnapWindowAccess::setFrame(const Rect& r, const ScreenInfo& screen, const Element& window) {
    applyFrame(r, window);
    applyFrame(r, window);
    const auto actual = currentFrame(window);
    if (!actual) {
        return;
    }
    if (std::abs(actual->width - r.width) <= kSizeTolerance && std::abs(actual->height - r.height) <= kSizeTolerance) {
        return;
    }
    const Rect visible = geometry_.visibleTopLeft(screen);
    double x = r.minX();
    double y = r.minY();
    if (std::abs(r.maxX() - visible.maxX()) < kEdgeTolerance) {
        x = r.maxX() - actual->width;
    }
    // A zone from the top to the bottom keeps the window's title bar where the zone starts, rather than pushing a
    // window that cannot be as tall down to the bottom.
    const bool touchesTop = std::abs(r.minY() - visible.minY()) < kEdgeTolerance;
    if (std::abs(r.maxY() - visible.maxY()) < kEdgeTolerance && !touchesTop) {
        y = r.maxY() - actual->height;
    }
    // A window larger than the work area keeps its title bar on screen rather than its far edge.
    x = std::max(x, visible.minX());
    y = std::max(y, visible.minY());
    ax_.setAttribute(window, AXAttribute::Frame, Rect{x, y, actual->width, actual->height});
}

void SnapWindowAccess::unminimize(const Element& window) {
    if (window) {
        ax_.setAttribute(window, AXAttribute::Minimized, false);
    }
}

void SnapWindowAccess::raise(const Element& window) {
    if (window) {
        ax_.performAction(window, platform::kAXRaiseAction);
    }
}

} // namespace tillory::snap
