#pragma once

#include "clipboard/palette_panel.h"

#include <QPointer>

namespace tillory::clipboard {

class ClipboardPaletteController;

/// The palette's panel as a Qt Quick window: frameless, above other windows, never taking focus. Main thread.
class QuickPalettePanelFactory final : public PalettePanelFactory {
public:
    /// The controller the view binds to; set before the first show.
    void setController(ClipboardPaletteController* controller);
    std::unique_ptr<PalettePanel> create() override;

private:
    QPointer<ClipboardPaletteController> controller_;
};

} // namespace tillory::clipboard
