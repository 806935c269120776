#include "snap/view/quick_snap_panel.h"

#include "snap/snap_controller.h"
#include "snap/view/snap_images.h"
#include "snap/view/snap_view_layout.h"
#include "ui/view/color_scheme.h"
#include "ui/view/key_labels.h"
#include "ui/view/overlay_surface.h"
#include "ui/view/panel_presence.h"
#include "ui/view/scene_graph.h"
#include "ui/view/screen_space.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>

namespace tillory::snap {
namespace {

// As a window of its own (X11). Bypassing the window manager puts the panel above full-screen windows and docks on
// every window manager tried; such a window never gets the focus, and the keys reach the controller through the key
// hub. Where overlays hold the keyboard themselves (Wayland) it takes it: the picker and Snap Assist answer keys.
const ui::OverlayRole kRole{QStringLiteral("snap"), true, false,
                            Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                Qt::WindowDoesNotAcceptFocus | Qt::BypassWindowManagerHint};

Q_LOGGING_CATEGORY(lcSnapView, "tillory.snap.view", QtWarningMsg)

class QuickSnapPanel final : public SnapPanel {
public:
    QuickSnapPanel(SnapController* controller, platform::KeyNames keyNames, QuickSnapPanelFactory::KeepOnTop keepOnTop,
                   QuickSnapPanelFactory::Translucency translucency, QuickSnapPanelFactory::Dark dark)
        : keys_(std::move(keyNames)), keepOnTop_(std::move(keepOnTop)), translucency_(std::move(translucency)),
          dark_(std::move(dark)), layout_(controller) {
        view_.setColor(Qt::transparent);
        view_.setResizeMode(QQuickView::SizeRootObjectToView);
        view_.engine()->addImageProvider(QLatin1String(SnapImageProvider::kName), new SnapImageProvider(controller));
        view_.setInitialProperties({{QStringLiteral("controller"), QVariant::fromValue<QObject*>(controller)},
                                    {QStringLiteral("layout"), QVariant::fromValue<QObject*>(&layout_)},
                                    {QStringLiteral("keys"), QVariant::fromValue<QObject*>(&keys_)}});
        view_.setSource(QUrl(QStringLiteral("qrc:/tillory/snap/SnapView.qml")));
        QObject::connect(&layout_, &SnapViewLayout::maskChanged, &view_, [this] { update(); });
    }

    ~QuickSnapPanel() override {
        // The items bind to the controller and the layout: let them go while both still exist. The scene graph
        // frees the textures of pictures that went away at its next sync, so sync once while the window exists.
        view_.setSource(QUrl());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ui::releaseSceneGraphPictures(view_);
        ui::returnFreedMemorySoon(); // runs once the view itself is gone
    }

    bool loaded() const { return view_.status() == QQuickView::Ready && view_.rootObject() != nullptr; }

    void setFrame(platform::Rect frame) override {
        const QRect display = ui::toWindowGeometry(frame);
        overlay_->setGeometry(display);
        layout_.setWindowSize(display.size());
        update();
    }

    void setIgnoresMouseEvents(bool ignores) override { overlay_->setTransparentForInput(ignores); }

    void orderFrontRegardless() override {
        ordered_ = true;
        layout_.setTranslucent(!translucency_ || translucency_());
        view_.rootObject()->setProperty("dark", ui::darkViews(dark_));
        update();
        if (overlay_->isVisible()) {
            overlay_->raise();
        }
    }

    void orderOut() override {
        ordered_ = false;
        update();
    }

private:
    /// Without compositing the window's clear pixels would hide the desktop as black: it then shows only what it
    /// draws (a shape mask, which also lets clicks elsewhere through), and nothing at all while that is nothing.
    void update() {
        const QRegion region = layout_.translucent() ? QRegion() : layout_.opaqueMask();
        const bool shows = ordered_ && (layout_.translucent() || !region.isEmpty());
        presence_.update(shows, region);
    }

    ui::KeyLabels keys_;
    QuickSnapPanelFactory::KeepOnTop keepOnTop_;
    QuickSnapPanelFactory::Translucency translucency_;
    QuickSnapPanelFactory::Dark dark_;
    SnapViewLayout layout_;
    std::unique_ptr<ui::OverlaySurface> overlay_ =
        ui::makeOverlay(kRole); // after what its QML refers to, so it goes first
    QQuickView& view_ = overlay_->view();
    ui::PanelPresence presence_{*overlay_, keepOnTop_}; // lets go of the keeper before the window ends
    bool ordered_ = false;
};

} // namespace

void QuickSnapPanelFactory::setController(SnapController* controller) {
    controller_ = controller;
}

std::unique_ptr<SnapPanel> QuickSnapPanelFactory::create() {
    if (!controller_) {
        return nullptr;
    }
    auto panel = std::make_unique<QuickSnapPanel>(controller_, keyNames_, keepOnTop_, translucency_, dark_);
    if (!panel->loaded()) {
        qCWarning(lcSnapView) << "the snap view did not load";
        return nullptr;
    }
    return panel;
}

} // namespace tillory::snap
