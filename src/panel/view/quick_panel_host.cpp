#include "panel/view/quick_panel_host.h"

#include "panel/menu_panel_controller.h"
#include "ui/view/color_scheme.h"
#include "ui/view/overlay_surface.h"
#include "ui/view/panel_presence.h"
#include "ui/view/scene_graph.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainterPath>
#include <QPalette>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTimer>

#include <cmath>

namespace tillory::panel {
namespace {

const QUrl kView(QStringLiteral("qrc:/tillory/panel/MenuBarView.qml"));
const ui::OverlayRole kRole{QStringLiteral("panel"), true, true,
                            Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint};

bool paletteIsDark() {
    return ui::darkViews(platform::Appearance::ColorScheme::unstated, QGuiApplication::palette());
}

class QuickPanelHost final : public PanelHost {
public:
    QuickPanelHost(MenuPanelController& controller, QuickPanelHostFactory::KeepOnTop keepOnTop,
                   QuickPanelHostFactory::Translucency translucency, QuickPanelHostFactory::Dark dark)
        : controller_(&controller), translucency_(std::move(translucency)), dark_(std::move(dark)),
          presence_(*overlay_, std::move(keepOnTop)) {
        view_.setColor(Qt::transparent);
        view_.setResizeMode(QQuickView::SizeRootObjectToView);
        view_.setTitle(QStringLiteral("Tillory"));
        QObject::connect(&view_, &QWindow::activeChanged, &view_, [this] {
            if (view_.isActive()) {
                wasActive_ = true;
            } else if (wasActive_ && overlay_->isVisible() && controller_) {
                wasActive_ = false;
                controller_->focusLost();
            }
        });
    }

    void present(const platform::Rect& frame) override {
        ++generation_;
        wasActive_ = false;
        view_.setInitialProperties({{QStringLiteral("controller"), QVariant::fromValue<QObject*>(controller_)},
                                    {QStringLiteral("dark"), dark_ ? dark_() : paletteIsDark()}});
        view_.setSource(kView);
        overlay_->setGeometry(QRect(int(std::lround(frame.x)), int(std::lround(frame.y)), int(std::lround(frame.width)),
                                    int(std::lround(frame.height))));
        if (QQuickItem* sheet =
                view_.rootObject() ? view_.rootObject()->findChild<QQuickItem*>(QStringLiteral("sheet")) : nullptr) {
            QObject::connect(sheet, &QQuickItem::heightChanged, &view_, [this] {
                if (overlay_->isVisible()) {
                    presence_.update(true, mask());
                }
            });
        }
        presence_.update(true, mask());
        overlay_->requestActivate();
    }

    ~QuickPanelHost() override {
        // The scene graph frees the pictures of released items at its next sync; a closed window has none coming.
        view_.setSource(QUrl());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ui::releaseSceneGraphPictures(view_);
        ui::returnFreedMemorySoon(); // runs once the window and its engine are gone
    }

    QQmlEngine* engine() { return view_.engine(); }

    void orderOut() override {
        presence_.update(false, QRegion());
        // Later: this runs inside a click of the tree being released.
        const int generation = generation_;
        QTimer::singleShot(0, &view_, [this, generation] {
            if (generation == generation_ && !overlay_->isVisible()) {
                view_.setSource(QUrl());
                view_.releaseResources();
            }
        });
    }

private:
    /// Without a compositor nothing is see-through: the window keeps only the card, and a click beside it goes
    /// to the window below, which takes the focus and so closes the panel.
    QRegion mask() const {
        if (!translucency_ || translucency_()) {
            return {};
        }
        const QQuickItem* root = view_.rootObject();
        const double height = root ? root->property("sheetHeight").toDouble() : 0;
        QPainterPath card;
        card.addRoundedRect(QRectF(0, 0, view_.width(), std::max(1.0, height)), 14, 14);
        return QRegion(card.toFillPolygon().toPolygon());
    }

    QPointer<MenuPanelController> controller_;
    QuickPanelHostFactory::Translucency translucency_;
    QuickPanelHostFactory::Dark dark_;
    std::unique_ptr<ui::OverlaySurface> overlay_ = ui::makeOverlay(kRole);
    QQuickView& view_ = overlay_->view();
    ui::PanelPresence presence_; // lets go of the keeper before the window ends
    int generation_ = 0;
    bool wasActive_ = false;
};

} // namespace

std::unique_ptr<PanelHost> QuickPanelHostFactory::create(MenuPanelController& controller) {
    auto host = std::make_unique<QuickPanelHost>(controller, keepOnTop_, translucency_, dark_);
    if (engineSetup_) {
        engineSetup_(*host->engine());
    }
    return host;
}

} // namespace tillory::panel
