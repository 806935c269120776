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
    const double above = button.minY() - kPanelGap - kPanelHeight;
    double y = below;
    if (below + kPanelHeight > v.maxY()) {
        if (above >= v.minY()) {
            y = above;
        } else {
            // Room on neither side: the side with more of it, pushed back onto the screen.
            const bool roomierAbove = button.minY() - v.minY() > v.maxY() - button.maxY();
            y = roomierAbove ? v.minY() : std::max(v.minY(), v.maxY() - kPanelHeight);
        }
    }
    return {x, y, kPanelWidth, kPanelHeight};
}

} // namespace tillory::panel
