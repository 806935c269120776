#pragma once

#include "platform/api/geometry.h"

#include <memory>

namespace tillory::switcher {

/// The window the switcher is drawn in: borderless, above everything, never taking keyboard focus, so the
/// application that was in front stays in front until the switch. Main thread.
class SwitcherPanel {
public:
    virtual ~SwitcherPanel() = default;

    /// Covers `frame` (a whole display, screen space: points, origin at the bottom left of the primary screen,
    /// y up) and shows the panel in front of everything without activating this program.
    virtual void present(platform::Rect frame) = 0;

    /// Hides the panel; a later `present` shows the same panel again.
    virtual void orderOut() = 0;

    /// Pixels per point of the display the panel was last presented on; 1 before the first `present`.
    virtual double backingScale() const { return 1; }
};

/// Makes the switcher's panel. Main thread.
class SwitcherPanelFactory {
public:
    virtual ~SwitcherPanelFactory() = default;

    /// Called at the first enable that finds accessibility granted; the panel and its scene are kept for the life
    /// of the engine. Nothing when no panel can be made: sessions then run without one, and the next session
    /// asks again.
    virtual std::unique_ptr<SwitcherPanel> create() = 0;
};

} // namespace tillory::switcher
