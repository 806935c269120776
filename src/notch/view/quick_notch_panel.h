#pragma once

#include "notch/notch_panel.h"

#include <QPointer>

#include <functional>

namespace tillory::notch {

class NotchController;

/// The notch panel as one Qt Quick window hanging from the top edge: outside the window manager's control (above
/// full-screen windows, never focused) and shaped to the island, so clicks beside it reach the windows below and,
/// without a compositing manager, nothing but the island shows. Main thread.
class QuickNotchPanelFactory final : public NotchPanelFactory {
public:
    /// The controller the view binds to; set before the first enable.
    void setController(NotchController* controller);
    /// Called with the panel's native window when it shows and with 0 when it hides, to keep it above windows
    /// that appear after it. Optional.
    using KeepOnTop = std::function<void(quintptr window)>;
    void setKeepOnTop(KeepOnTop keep) { keepOnTop_ = std::move(keep); }
    /// Whether translucent windows show what lies beneath them; asked each time the panel is shown. Translucent
    /// unless set.
    using Translucency = std::function<bool()>;
    void setTranslucency(Translucency translucency) { translucency_ = std::move(translucency); }
    /// Whether the desktop's colours are dark; read as the card or a notice is about to show. The application
    /// palette decides when unset.
    using Dark = std::function<bool()>;
    void setDark(Dark dark) { dark_ = std::move(dark); }
    /// Nothing without a controller or when the view does not load.
    std::unique_ptr<NotchPanel> create() override;

private:
    QPointer<NotchController> controller_;
    KeepOnTop keepOnTop_;
    Translucency translucency_;
    Dark dark_;
};

} // namespace tillory::notch
