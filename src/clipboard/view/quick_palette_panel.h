#pragma once

#include "clipboard/palette_panel.h"
#include "platform/api/key_names.h"

#include <QPointer>

#include <functional>

namespace tillory::clipboard {

class ClipboardPaletteController;

/// The palette's panel as a Qt Quick window: frameless, above other windows, never taking focus. Main thread.
class QuickPalettePanelFactory final : public PalettePanelFactory {
public:
    /// The controller the view binds to; set before the first show.
    void setController(ClipboardPaletteController* controller);
    /// How the hint names the modifier keys; the symbols themselves unless set.
    void setKeyNames(platform::KeyNames names) { keyNames_ = std::move(names); }
    /// Whether the desktop's colours are dark; read at each show. The application palette decides when unset.
    using Dark = std::function<bool()>;
    void setDark(Dark dark) { dark_ = std::move(dark); }
    std::unique_ptr<PalettePanel> create() override;

private:
    QPointer<ClipboardPaletteController> controller_;
    platform::KeyNames keyNames_;
    Dark dark_;
};

} // namespace tillory::clipboard
