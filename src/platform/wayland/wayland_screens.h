#pragma once

#include "platform/api/workspace.h"

#include <QPointF>

#include <functional>
#include <optional>

namespace tillory::platform::nix {

/// Screens of a Wayland desktop, from Qt's outputs. Clients are not told what panels reserve, so the usable area of
/// each output comes from `usableArea` when given (sway's workspace rectangles), else the whole output. Nor is the
/// pointer known outside this program's own surfaces: its location is the last one seen there. Main thread.
class WaylandScreens final : public Screens {
public:
    /// The usable part of the output at `frame` (global top-left space); nothing when unknown.
    using UsableArea = std::function<std::optional<Rect>(const Rect& frame)>;

    explicit WaylandScreens(UsableArea usableArea = {}) : usableArea_(std::move(usableArea)) {}

    std::vector<ScreenInfo> screens() override;
    Point mouseLocation() override;
    double doubleClickInterval() override;
    SubscriptionPtr observeChanges(std::function<void()> onChange) override;

    void setNotchWidth(double width) { notchWidth_ = width; }
    /// The pointer was seen at `global` (global top-left space) over one of this program's surfaces.
    void pointerSeen(const QPointF& global) { pointer_ = global; }

private:
    UsableArea usableArea_;
    double notchWidth_ = 200;
    double reference_ = 0;
    std::optional<QPointF> pointer_;
};

} // namespace tillory::platform::nix
