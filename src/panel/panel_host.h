#pragma once

#include "platform/api/geometry.h"

#include <memory>

namespace tillory::panel {

class MenuPanelController;

/// The tray panel's window. It reports to its controller when it loses the focus (`focusLost()`), when Escape is
/// pressed or the transparent area is clicked (`hide()`). Main thread.
class PanelHost {
public:
    virtual ~PanelHost() = default;
    /// Shows the panel with a new view tree at `frame` (global top-left space) and gives it the keyboard focus.
    virtual void present(const platform::Rect& frame) = 0;
    /// Takes the panel off the screen and releases its view tree.
    virtual void orderOut() = 0;
};

/// Makes the panel's window on its first show; the view layer supplies the real one. Main thread.
class PanelHostFactory {
public:
    virtual ~PanelHostFactory() = default;
    /// Nothing when no window can be made.
    virtual std::unique_ptr<PanelHost> create(MenuPanelController& controller) = 0;
};

} // namespace tillory::panel
