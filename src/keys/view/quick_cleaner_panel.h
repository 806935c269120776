#pragma once

#include "keys/cleaner_panel.h"

#include <QPointer>
#include <QUrl>

namespace tillory::keys {

class KeyboardCleanerController;

/// The lock's overlays as Qt Quick windows: one per screen, above everything (the window manager's panels
/// included), never taking focus, each with its own slider. Main thread.
class QuickCleanerPanelFactory final : public CleanerPanelFactory {
public:
    /// `source` is the overlay's QML; a view that does not load makes no panel.
    explicit QuickCleanerPanelFactory(QUrl source = QUrl(QStringLiteral("qrc:/tillory/keys/KeyboardCleanerView.qml")));
    /// The controller an unlocked slider stops; set before the first start.
    void setController(KeyboardCleanerController* controller);
    std::unique_ptr<CleanerPanel> create(const platform::ScreenInfo& screen) override;

private:
    QUrl source_;
    QPointer<KeyboardCleanerController> controller_;
};

} // namespace tillory::keys
