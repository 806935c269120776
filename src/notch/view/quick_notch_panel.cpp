#include "notch/view/quick_notch_panel.h"

#include "notch/notch_controller.h"
#include "notch/view/notch_images.h"
#include "ui/view/color_scheme.h"
#include "ui/view/overlay_surface.h"
#include "ui/view/panel_presence.h"
#include "ui/view/scene_graph.h"
#include "ui/view/screen_space.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPainterPath>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>

namespace tillory::notch {
namespace {

// As a window of its own (X11). Bypassing the window manager keeps the island above full-screen windows; such a window
// never takes the focus, so showing it never activates this program.
const ui::OverlayRole kRole{QStringLiteral("island"), false, false,
                            Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                Qt::WindowDoesNotAcceptFocus | Qt::BypassWindowManagerHint |
                                Qt::WindowTransparentForInput};

Q_LOGGING_CATEGORY(lcNotchView, "tillory.notch.view", QtWarningMsg)

/// The strip's outline: the top edge spans the whole width and flares into the bar above, the body is inset by
/// `t` on each side with bottom corners of radius `b`. The view draws the same path.
QPainterPath notchPath(QRectF r, double t, double b) {
    QPainterPath p(r.topLeft());
    p.quadTo(QPointF(r.left() + t, r.top()), QPointF(r.left() + t, r.top() + t));
    p.lineTo(r.left() + t, r.bottom() - b);
    p.quadTo(QPointF(r.left() + t, r.bottom()), QPointF(r.left() + t + b, r.bottom()));
    p.lineTo(r.right() - t - b, r.bottom());
    p.quadTo(QPointF(r.right() - t, r.bottom()), QPointF(r.right() - t, r.bottom() - b));
    p.lineTo(r.right() - t, r.top() + t);
    p.quadTo(QPointF(r.right() - t, r.top()), r.topRight());
    p.closeSubpath();
    return p;
}

/// What the view shows, as a window shape: each entry of `shapes` is [x, y, width, height, radius, isNotch].
QRegion shapeRegion(const QVariantList& shapes) {
    QRegion region;
    for (const QVariant& entry : shapes) {
        const QVariantList s = entry.toList();
        if (s.size() < 6) {
            continue;
        }
        const QRectF r(s[0].toDouble(), s[1].toDouble(), s[2].toDouble(), s[3].toDouble());
        if (r.width() < 1 || r.height() < 1) {
            continue;
        }
        QPainterPath path;
        if (s[5].toBool()) {
            path = notchPath(r, 6, 14);
        } else {
            path.addRoundedRect(r, s[4].toDouble(), s[4].toDouble());
        }
        region += QRegion(path.toFillPolygon().toPolygon());
    }
    return region;
}

/// Where the view tells what it draws (see shapeRegion).
class NotchShapeSink final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariantList shapes MEMBER shapes NOTIFY changed)

public:
    QVariantList shapes;

Q_SIGNALS:
    void changed();
};

class QuickNotchPanel final : public NotchPanel {
public:
    QuickNotchPanel(NotchController* controller, QuickNotchPanelFactory::KeepOnTop keepOnTop,
                    QuickNotchPanelFactory::Translucency translucency, QuickNotchPanelFactory::Dark dark)
        : keepOnTop_(std::move(keepOnTop)), translucency_(std::move(translucency)), dark_(std::move(dark)) {
        view_.setColor(Qt::transparent);
        view_.setResizeMode(QQuickView::SizeRootObjectToView);
        view_.engine()->addImageProvider(QLatin1String(NotchImageProvider::kName),
                                         new NotchImageProvider(&controller->media()));
        view_.setInitialProperties({{QStringLiteral("controller"), QVariant::fromValue<QObject*>(controller)},
                                    {QStringLiteral("media"), QVariant::fromValue<QObject*>(&controller->media())},
                                    {QStringLiteral("shape"), QVariant::fromValue<QObject*>(&shape_)}});
        view_.setSource(QUrl(QStringLiteral("qrc:/tillory/notch/NotchView.qml")));
        QObject::connect(&shape_, &NotchShapeSink::changed, &shape_, [this] { update(); });
        // The island stays up for hours: its glass takes the desktop's colours each time it opens, not only when
        // the strip first showed. Before the next frame, so the card never shows in the old colours.
        QObject::connect(controller, &NotchController::isExpandedChanged, &view_, [this, controller] {
            if (controller->isExpanded()) {
                followDesktop();
            }
        });
        QObject::connect(controller, &NotchController::hudChanged, &view_, [this, controller] {
            if (controller->hasHud()) {
                followDesktop();
            }
        });
    }

    ~QuickNotchPanel() override {
        // The items bind to the controller: let them go while it still exists, and let the scene graph free the
        // cover's texture at one last sync.
        view_.setSource(QUrl());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ui::releaseSceneGraphPictures(view_);
    }

    bool loaded() const { return view_.status() == QQuickView::Ready && view_.rootObject() != nullptr; }

    void setFrame(platform::Rect frame) override { overlay_->setGeometry(ui::toWindowGeometry(frame)); }

    void setIgnoresMouseEvents(bool ignores) override { overlay_->setTransparentForInput(ignores); }

    void orderFrontRegardless() override {
        ordered_ = true;
        view_.rootObject()->setProperty("translucent", !translucency_ || translucency_());
        followDesktop();
        update();
        if (overlay_->isVisible()) {
            overlay_->raise();
        }
    }

    void orderOut() override {
        ordered_ = false;
        update();
    }

    bool isVisible() const override { return overlay_->isVisible(); }

    bool tellsHover() const override { return overlay_->tellsHover(); }

    void setHoverArea(const platform::Rect& area, std::function<void(bool)> onHover) override {
        overlay_->setHoverArea(QRectF(area.x, area.y, area.width, area.height).toAlignedRect(), std::move(onHover));
    }

private:
    void followDesktop() {
        if (QQuickItem* root = view_.rootObject()) {
            root->setProperty("dark", ui::darkViews(dark_));
        }
    }

    /// The window is shaped to what the view draws, as it grows and shrinks: clicks beside the island reach the
    /// windows below, and without a compositing manager no clear pixel shows as black.
    void update() {
        const QRegion region = shapeRegion(shape_.shapes);
        const bool shows = ordered_ && !region.isEmpty();
        presence_.update(shows, region);
    }

    QuickNotchPanelFactory::KeepOnTop keepOnTop_;
    QuickNotchPanelFactory::Translucency translucency_;
    QuickNotchPanelFactory::Dark dark_;
    NotchShapeSink shape_;
    std::unique_ptr<ui::OverlaySurface> overlay_ =
        ui::makeOverlay(kRole); // after what its QML refers to, so it goes first
    QQuickView& view_ = overlay_->view();
    ui::PanelPresence presence_{*overlay_, keepOnTop_}; // lets go of the keeper before the window ends
    bool ordered_ = false;
};

} // namespace

void QuickNotchPanelFactory::setController(NotchController* controller) {
    controller_ = controller;
}

std::unique_ptr<NotchPanel> QuickNotchPanelFactory::create() {
    if (!controller_) {
        return nullptr;
    }
    auto panel = std::make_unique<QuickNotchPanel>(controller_, keepOnTop_, translucency_, dark_);
    if (!panel->loaded()) {
        qCWarning(lcNotchView) << "the notch view did not load";
        return nullptr;
    }
    return panel;
}

} // namespace tillory::notch

#include "quick_notch_panel.moc"
