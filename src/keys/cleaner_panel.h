#pragma once

#include "platform/api/workspace.h"

#include <memory>

namespace tillory::keys {

/// One overlay of the keyboard-cleaning lock, covering a whole screen (menu bar and panels included) above
/// everything else. Dropping it closes it. Main thread.
class CleanerPanel {
public:
    virtual ~CleanerPanel() = default;
    /// Takes the panel off the screen; it may still be shown again by its owner.
    virtual void orderOut() = 0;
};

/// Makes the overlays; the view layer supplies the real one. Main thread.
class CleanerPanelFactory {
public:
    virtual ~CleanerPanelFactory() = default;
    /// A borderless, non-activating panel with the lock's view, its frame exactly `screen.frame` (screen space),
    /// ordered to the front without activating the program, on every workspace. Nothing when it could not be made.
    virtual std::unique_ptr<CleanerPanel> create(const platform::ScreenInfo& screen) = 0;
};

} // namespace tillory::keys
