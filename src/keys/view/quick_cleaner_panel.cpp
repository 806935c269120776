#include "keys/view/quick_cleaner_panel.h"

#include "keys/keyboard_cleaner_controller.h"
#include "keys/slide_to_unlock.h"
#include "ui/view/overlay_surface.h"
#include "ui/view/screen_space.h"

#include <QLoggingCategory>
#include <QQuickItem>
#include <QQuickView>

namespace tillory::keys {
namespace {

// As a window of its own (X11). Bypassing the window manager is what lets the overlay cover its docks and panels
// too.
const ui::OverlayRole kRole{QStringLiteral("keyboard-cleaning"), true, false,
                            Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                Qt::WindowDoesNotAcceptFocus | Qt::BypassWindowManagerHint,
                            true};

Q_LOGGING_CATEGORY(lcOverlay, "tillory.keys.overlay", QtWarningMsg)

class QuickCleanerPanel final : public CleanerPanel {
public:
    QuickCleanerPanel(const QUrl& source, KeyboardCleanerController* controller) {
        view_.setColor(Qt::transparent);
        view_.setResizeMode(QQuickView::SizeRootObjectToView);
        view_.setInitialProperties({{QStringLiteral("slider"), QVariant::fromValue<QObject*>(&slider_)}});
        view_.setSource(source);
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
    }

    /// False when the view did not load: an overlay without its slider would be a lock without a way out.
    bool loaded() const { return view_.status() == QQuickView::Ready && view_.rootObject() != nullptr; }

    void showOn(const platform::ScreenInfo& screen) {
        overlay_->setGeometry(ui::toWindowGeometry(screen.frame));
        overlay_->show();
        overlay_->raise();
    }

    void orderOut() override { overlay_->hide(); }

private:
    SlideToUnlock slider_; // declared first: the view's QML refers to it until the view is gone
    std::unique_ptr<ui::OverlaySurface> overlay_ = ui::makeOverlay(kRole);
    QQuickView& view_ = overlay_->view();
};

} // namespace

QuickCleanerPanelFactory::QuickCleanerPanelFactory(QUrl source) : source_(std::move(source)) {}

void QuickCleanerPanelFactory::setController(KeyboardCleanerController* controller) {
    controller_ = controller;
}

std::unique_ptr<CleanerPanel> QuickCleanerPanelFactory::create(const platform::ScreenInfo& screen) {
    auto panel = std::make_unique<QuickCleanerPanel>(source_, controller_);
    if (!panel->loaded()) {
        qCWarning(lcOverlay) << "the keyboard-cleaning overlay did not load from" << source_;
        return nullptr;
    }
    panel->showOn(screen);
    return panel;
}

} // namespace tillory::keys
