#pragma once

#include "platform/api/geometry.h"

#include <memory>

namespace tillory::snap {

/// The one window snapping draws in: it covers a whole display, floats above every window, never activates this
/// program and, while it only shows the drag overlay, lets every click through. Main thread.
class SnapPanel {
public:
    virtual ~SnapPanel() = default;
    /// Takes exactly `frame` (a display's full frame, screen space) and redraws.
    virtual void setFrame(platform::Rect frame) = 0;
    /// True: clicks pass to the windows below (the drag overlay); false: the panel takes them (picker, Snap Assist).
    virtual void setIgnoresMouseEvents(bool ignores) = 0;
    /// Shows the panel in front of everything without activating this program.
    virtual void orderFrontRegardless() = 0;
    virtual void orderOut() = 0;
};

/// Makes the panel, once, at the first enable that finds accessibility granted. Main thread.
class SnapPanelFactory {
public:
    virtual ~SnapPanelFactory() = default;
    /// Nothing when no panel can be made: snapping then works without showing anything.
    virtual std::unique_ptr<SnapPanel> create() = 0;
};

} // namespace tillory::snap
