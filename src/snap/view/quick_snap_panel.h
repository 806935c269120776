#pragma once

#include "platform/api/key_names.h"
#include "snap/snap_panel.h"

#include <QPointer>

#include <functional>

namespace tillory::snap {

class SnapController;

/// The snap panel as one Qt Quick window over a whole display: outside the window manager's control (above
/// full-screen windows and docks, never focused), click-through while it only shows the drag overlay. Without a
/// compositing manager it shows only the parts it draws, opaque, and the desktop around them stays visible.
/// Main thread.
class QuickSnapPanelFactory final : public SnapPanelFactory {
public:
    /// The controller the view binds to; set before the first enable.
    void setController(SnapController* controller);
    /// How the picker's hint names the modifier keys; the symbols themselves unless set.
    void setKeyNames(platform::KeyNames names) { keyNames_ = std::move(names); }
    /// What keeps the shown panel above windows that appear after it (tooltips, menus, overlays): called with
    /// the panel's native window when it shows and with 0 when it hides. Optional.
    using KeepOnTop = std::function<void(quintptr window)>;
    void setKeepOnTop(KeepOnTop keep) { keepOnTop_ = std::move(keep); }
    /// Whether translucent windows show what lies beneath them (a compositing manager runs); asked each time the
    /// panel is shown. Translucent unless set.
    using Translucency = std::function<bool()>;
    void setTranslucency(Translucency translucency) { translucency_ = std::move(translucency); }
    /// Whether the desktop's colours are dark; read at each show. The application palette decides when unset.
    using Dark = std::function<bool()>;
    void setDark(Dark dark) { dark_ = std::move(dark); }
    /// Nothing without a controller or when the view does not load.
    std::unique_ptr<SnapPanel> create() override;

private:
    QPointer<SnapController> controller_;
    platform::KeyNames keyNames_;
    KeepOnTop keepOnTop_;
    Translucency translucency_;
    Dark dark_;
};

} // namespace tillory::snap
