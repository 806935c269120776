#pragma once

#include "panel/panel_host.h"

#include <QtGlobal>

#include <functional>

class QQmlEngine;

namespace tillory::panel {

/// The tray panel as a Qt Quick window: frameless, above other windows, taking the keyboard focus for the pages'
/// search fields. Its scene is made at the first show; each show builds the view tree anew and each hide
/// releases it. Main thread.
class QuickPanelHostFactory final : public PanelHostFactory {
public:
    using KeepOnTop = std::function<void(quintptr window)>;
    using Translucency = std::function<bool()>;
    using Dark = std::function<bool()>;
    using EngineSetup = std::function<void(QQmlEngine& engine)>;

    /// Keeps the window above windows mapped after it; may be empty.
    void setKeepOnTop(KeepOnTop keepOnTop) { keepOnTop_ = std::move(keepOnTop); }
    /// Whether the desktop shows see-through windows; without it the window is cut to the card.
    void setTranslucency(Translucency translucency) { translucency_ = std::move(translucency); }
    /// Whether the desktop's colours are dark; read at each show. The application palette decides when unset.
    void setDark(Dark dark) { dark_ = std::move(dark); }

    /// Runs once on the window's QML engine when it is made (image providers of the pages, say).
    void setEngineSetup(EngineSetup setup) { engineSetup_ = std::move(setup); }

    std::unique_ptr<PanelHost> create(MenuPanelController& controller) override;

private:
    KeepOnTop keepOnTop_;
    Translucency translucency_;
    Dark dark_;
    EngineSetup engineSetup_;
};

} // namespace tillory::panel
