#pragma once

#include "platform/api/geometry.h"

#include <functional>
#include <memory>

namespace tillory::notch {

/// The transparent window hanging from the top edge around the notch that the island is drawn in. It floats above
/// every window (full-screen ones too), never activates this program and, while it ignores the mouse, lets every
/// click through. Main thread.
class NotchPanel {
public:
    virtual ~NotchPanel() = default;
    /// Takes exactly `frame` (screen space).
    virtual void setFrame(platform::Rect frame) = 0;
    /// True while collapsed: clicks reach the menu bar and the windows below.
    virtual void setIgnoresMouseEvents(bool ignores) = 0;
    /// Shows the panel in front of everything without activating this program.
    virtual void orderFrontRegardless() = 0;
    virtual void orderOut() = 0;
    virtual bool isVisible() const = 0;
    /// Whether the panel itself hears the pointer enter and leave the island, as on desktops where no program may
    /// watch the pointer anywhere else; the island then neither taps nor polls the pointer.
    virtual bool tellsHover() const { return false; }
    /// Where the island is (panel-local, y downwards): that part takes the pointer even while the panel ignores
    /// the mouse, and `onHover` hears the pointer enter (true) and leave (false) it. Only where `tellsHover`.
    virtual void setHoverArea(const platform::Rect& area, std::function<void(bool inside)> onHover) {
        (void)area;
        (void)onHover;
    }
};

/// Makes one panel per enable. Main thread.
class NotchPanelFactory {
public:
    virtual ~NotchPanelFactory() = default;
    /// Nothing when no panel can be made: the notch then runs without showing anything.
    virtual std::unique_ptr<NotchPanel> create() = 0;
};

} // namespace tillory::notch
