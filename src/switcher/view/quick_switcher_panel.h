#pragma once

#include "platform/api/key_names.h"
#include "switcher/switcher_panel.h"

#include <QPointer>
#include <QRect>

#include <functional>

namespace tillory::switcher {

class WindowSwitcherEngine;

/// The switcher's panel as a Qt Quick window: borderless, outside the window manager's control (so it sits above
/// full-screen windows and docks and never takes focus), built and drawn once when made and only moved and shown
/// by a session. Main thread.
class QuickSwitcherPanelFactory final : public SwitcherPanelFactory {
public:
    /// The engine the view binds to; set before the first enable.
    void setEngine(WindowSwitcherEngine* engine);
    /// How the hint names the modifier keys; the symbols themselves unless set.
    void setKeyNames(platform::KeyNames names) { keyNames_ = std::move(names); }
    /// What keeps the shown panel above windows that appear after it (tooltips, menus, overlays): called with
    /// the panel's native window when it shows and with 0 when it hides. Optional.
    using KeepOnTop = std::function<void(quintptr window)>;
    void setKeepOnTop(KeepOnTop keep) { keepOnTop_ = std::move(keep); }
    /// Whether the desktop's colours are dark; read at each show. The application palette decides when unset.
    using Dark = std::function<bool()>;
    void setDark(Dark dark) { dark_ = std::move(dark); }
    /// Nothing without an engine or when the view does not load.
    std::unique_ptr<SwitcherPanel> create() override;

    /// Where the card goes on `display` (Qt's window coordinates): centred, its size rounded up to whole pixels.
    static QRect cardGeometry(const QRect& display, double cardWidth, double cardHeight);

private:
    QPointer<WindowSwitcherEngine> engine_;
    platform::KeyNames keyNames_;
    KeepOnTop keepOnTop_;
    Dark dark_;
};

} // namespace tillory::switcher
