#include "keys/view/quick_cleaner_panel.h"

#include "keys/keyboard_cleaner_controller.h"
#include "keys/slide_to_unlock.h"
#include "ui/view/screen_space.h"

#include <QQuickView>

namespace tillory::keys {
namespace {

class QuickCleanerPanel final : public CleanerPanel {
public:
    QuickCleanerPanel(const platform::ScreenInfo& screen, KeyboardCleanerController* controller) {
        // Bypassing the window manager is what lets the overlay cover its docks and panels too.
        view_.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                       Qt::BypassWindowManagerHint);
        view_.setColor(Qt::transparent);
        view_.setResizeMode(QQuickView::SizeRootObjectToView);
        view_.setInitialProperties({{QStringLiteral("slider"), QVariant::fromValue<QObject*>(&slider_)}});
        view_.setSource(QUrl(QStringLiteral("qrc:/tillory/keys/KeyboardCleanerView.qml")));
        // Queued: stopping destroys this panel, and with it the slider still emitting.
        QPointer<KeyboardCleanerController> target(controller);
        QObject::connect(
            &slider_, &SlideToUnlock::unlockRequested, &view_,
            [target] {
                if (target) {
                    target->stop();
                }
            },
            Qt::QueuedConnection);
        view_.setGeometry(ui::toWindowGeometry(screen.frame));
        view_.show();
        view_.raise();
    }

    void orderOut() override { view_.hide(); }

private:
    SlideToUnlock slider_; // declared first: the view's QML refers to it until the view is gone
    QQuickView view_;
};

} // namespace

void QuickCleanerPanelFactory::setController(KeyboardCleanerController* controller) {
    controller_ = controller;
}

std::unique_ptr<CleanerPanel> QuickCleanerPanelFactory::create(const platform::ScreenInfo& screen) {
    return std::make_unique<QuickCleanerPanel>(screen, controller_);
}

} // namespace tillory::keys
