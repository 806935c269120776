#pragma once

#include "platform/api/geometry.h"

#include <cstdint>
#include <memory>

namespace tillory::clipboard {

/// The floating window the palette list is drawn in: borderless, above ordinary windows and menus, never taking
/// keyboard focus from the application being typed into. Main thread.
class PalettePanel {
public:
    virtual ~PalettePanel() = default;

    /// Places the panel at `frame` (screen space: points, origin at the bottom left of the primary screen, y up)
    /// and shows it in front of other windows without activating this program.
    virtual void present(platform::Rect frame) = 0;

    /// Hides the panel; a later `present` shows the same panel again.
    virtual void orderOut() = 0;

    /// The platform's id of the panel's window, as the own-click monitor reports it; 0 while it has none.
    virtual std::uint64_t windowId() const = 0;
};

/// Makes the palette's panel. Main thread.
class PalettePanelFactory {
public:
    virtual ~PalettePanelFactory() = default;

    /// Called on the first show; the panel is kept for the life of the controller. Nothing when no panel can be
    /// made: the palette then stays closed and the next show asks again.
    virtual std::unique_ptr<PalettePanel> create() = 0;
};

} // namespace tillory::clipboard
