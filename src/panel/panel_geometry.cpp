#include "panel/panel_geometry.h"

#include <algorithm>

namespace tillory::panel {

platform::Rect panelFrame(const PanelAnchor& anchor) {
    platform::Rect button{anchor.pointer.x, anchor.pointer.y, 0, 0};
    if (anchor.icon && anchor.icon->isFinite() && anchor.icon->width > 0 && anchor.icon->height > 0) {
        button = *anchor.icon;
    }
    const platform::Rect& v = anchor.visibleFrame;

    // The left edge wins on a screen too narrow for both insets.
    const double right = v.maxX() - kPanelWidth - kPanelEdgeInset;
    const double x = std::max(v.minX() + kPanelEdgeInset, std::min(button.midX() - kPanelWidth / 2, right));

    const double below = button.maxY() + kPanelGap;
    const double roomBelow = v.maxY() - below;
    const double roomAbove = button.minY() - kPanelGap - v.minY();
    if (roomBelow >= kPanelHeight) {
        return {x, below, kPanelWidth, kPanelHeight};
    }
    if (roomAbove >= kPanelHeight) {
        return {x, button.minY() - kPanelGap - kPanelHeight, kPanelWidth, kPanelHeight};
    }
    // Room on neither side: the roomier side, the panel shortened to it (its page scrolls), so that it never covers
    // the icon that closes it. Only where even that is too short does it take the screen's height over the icon.
    const double room = std::max(roomAbove, roomBelow);
    if (room >= kPanelMinHeight) {
        return {x, roomAbove > roomBelow ? v.minY() : below, kPanelWidth, room};
    }
    const double height = std::min(kPanelHeight, v.height);
    return {x, std::max(v.minY(), v.maxY() - height), kPanelWidth, height};
}

} // namespace tillory::panel
