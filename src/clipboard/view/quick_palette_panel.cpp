#include "clipboard/view/quick_palette_panel.h"

#include "clipboard/clipboard_palette_controller.h"
#include "ui/view/color_scheme.h"
#include "ui/view/key_labels.h"
#include "ui/view/overlay_surface.h"
#include "ui/view/scene_graph.h"
#include "ui/view/screen_space.h"

#include <QCoreApplication>
#include <QPainterPath>
#include <QQuickItem>
#include <QQuickView>
#include <QRegion>

namespace tillory::clipboard {
namespace {

const ui::OverlayRole kRole{QStringLiteral("palette"), true, false,
                            Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                Qt::WindowDoesNotAcceptFocus};

class QuickPalettePanel final : public PalettePanel {
public:
    QuickPalettePanel(ClipboardPaletteController* controller, platform::KeyNames keyNames,
                      QuickPalettePanelFactory::Dark dark)
        : controller_(controller), keys_(std::move(keyNames)), dark_(std::move(dark)) {
        view_.setColor(Qt::transparent);
        // The window follows the card through fit(), which keeps the edge it is anchored to.
        view_.setResizeMode(QQuickView::SizeRootObjectToView);
        view_.setInitialProperties({{QStringLiteral("controller"), QVariant::fromValue<QObject*>(controller)},
                                    {QStringLiteral("keys"), QVariant::fromValue<QObject*>(&keys_)}});
        view_.setSource(QUrl(QStringLiteral("qrc:/tillory/clipboard/ClipboardPaletteView.qml")));
        if (QQuickItem* root = view_.rootObject()) {
            QObject::connect(root, &QQuickItem::implicitHeightChanged, &view_, [this] {
                if (overlay_->isVisible()) {
                    fit();
                }
            });
        }
    }

    ~QuickPalettePanel() override {
        // The rows bind to the controller: let them go while it still exists, and sync once so the scene frees
        // what they drew.
        view_.setSource(QUrl());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ui::releaseSceneGraphPictures(view_);
        ui::returnFreedMemorySoon(); // runs once the view itself is gone
    }

    void present(platform::Rect frame) override {
        panel_ = ui::toWindowGeometry(frame);
        if (QQuickItem* root = view_.rootObject()) {
            root->setProperty("dark", ui::darkViews(dark_));
        }
        fit();
        overlay_->show();
        overlay_->raise();
    }

    void orderOut() override { overlay_->hide(); }

    std::uint64_t windowId() const override { return static_cast<std::uint64_t>(overlay_->windowId()); }

private:
    /// The window is only the card (without a compositor the rest of the panel would not be see-through): it
    /// keeps the panel's top edge when the list drops down and its bottom edge otherwise, also when a row is
    /// added or removed while it shows.
    void fit() {
        const QQuickItem* root = view_.rootObject();
        const int cardHeight = root ? int(root->implicitHeight()) : 0;
        const int top = controller_ && controller_->dropsDown() ? panel_.top() : panel_.bottom() + 1 - cardHeight;
        overlay_->setGeometry(QRect(panel_.x(), top, panel_.width(), cardHeight));
        QPainterPath rounded;
        rounded.addRoundedRect(QRectF(0, 0, panel_.width(), cardHeight), 12, 12);
        overlay_->setMask(QRegion(rounded.toFillPolygon().toPolygon()));
    }

    QPointer<ClipboardPaletteController> controller_;
    ui::KeyLabels keys_;
    QuickPalettePanelFactory::Dark dark_;
    std::unique_ptr<ui::OverlaySurface> overlay_ = ui::makeOverlay(kRole);
    QQuickView& view_ = overlay_->view();
    QRect panel_;
};

} // namespace

void QuickPalettePanelFactory::setController(ClipboardPaletteController* controller) {
    controller_ = controller;
}

std::unique_ptr<PalettePanel> QuickPalettePanelFactory::create() {
    if (!controller_) {
        return nullptr;
    }
    return std::make_unique<QuickPalettePanel>(controller_, keyNames_, dark_);
}

} // namespace tillory::clipboard
