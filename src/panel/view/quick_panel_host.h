#pragma once

#include "panel/panel_host.h"

#include <QtGlobal>

#include <functional>

namespace tillory::panel {

/// The tray panel as a Qt Quick window: frameless, above other windows, taking the keyboard focus for the pages'
/// search fields. Its scene is made at the first show; each show builds the view tree anew and each hide
/// releases it. Main thread.
class QuickPanelHostFactory final : public PanelHostFactory {
public:
    using KeepOnTop = std::function<void(quintptr window)>;
    using Translucency = std::function<bool()>;
    using Dark = std::function<bool()>;

    /// Keeps the window above windows mapped after it; may be empty.
    void setKeepOnTop(KeepOnTop keepOnTop) { keepOnTop_ = std::move(keepOnTop); }
    /// Whether the desktop shows see-through windows; without it the window is cut to the card.
    void setTranslucency(Translucency translucency) { translucency_ = std::move(translucency); }
    /// Whether the desktop's colours are dark; read at each show. The application palette decides when unset.
    void setDark(Dark dark) { dark_ = std::move(dark); }

    std::unique_ptr<PanelHost> create(MenuPanelController& controller) override;

private:
    KeepOnTop keepOnTop_;
    Translucency translucency_;
    Dark dark_;
};

} // namespace tillory::panel
