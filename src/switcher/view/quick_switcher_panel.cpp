#include "switcher/view/quick_switcher_panel.h"

#include "switcher/view/switcher_images.h"
#include "switcher/view/switcher_tile_model.h"
#include "switcher/window_switcher_engine.h"
#include "ui/view/color_scheme.h"
#include "ui/view/key_labels.h"
#include "ui/view/overlay_surface.h"
#include "ui/view/scene_graph.h"
#include "ui/view/screen_space.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPainterPath>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QRegion>
#include <QTimer>

#include <cmath>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tillory::switcher {
namespace {

// As a window of its own (X11). Bypassing the window manager puts the panel above full-screen windows on every
// window manager tried, and without a round trip through it; such a window never gets the focus either.
const ui::OverlayRole kRole{QStringLiteral("switcher"), true, false,
                            Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                Qt::WindowDoesNotAcceptFocus | Qt::BypassWindowManagerHint};

Q_LOGGING_CATEGORY(lcSwitcherView, "tillory.switcher.view", QtWarningMsg)

constexpr double kCardRadius = 24;
/// Where the view draws its first frame, away from every display, while it is made.
constexpr QPoint kOffDisplay(-32000, -32000);
/// How long after a session the memory it freed is handed back to the system.
constexpr int kTrimDelayMs = 2000;

class QuickSwitcherPanel final : public SwitcherPanel {
public:
    QuickSwitcherPanel(WindowSwitcherEngine* engine, platform::KeyNames keyNames,
                       QuickSwitcherPanelFactory::KeepOnTop keepOnTop, QuickSwitcherPanelFactory::Dark dark)
        : engine_(engine), keys_(std::move(keyNames)), keepOnTop_(std::move(keepOnTop)), dark_(std::move(dark)),
          tiles_(engine) {
        view_.setColor(Qt::transparent);
        view_.setResizeMode(QQuickView::SizeRootObjectToView);
        view_.setPersistentGraphics(true);
        view_.setPersistentSceneGraph(true);
        view_.engine()->addImageProvider(QLatin1String(SwitcherImageProvider::kName),
                                         new SwitcherImageProvider(engine));
        view_.setInitialProperties({{QStringLiteral("engine"), QVariant::fromValue<QObject*>(engine)},
                                    {QStringLiteral("tiles"), QVariant::fromValue<QObject*>(&tiles_)},
                                    {QStringLiteral("keys"), QVariant::fromValue<QObject*>(&keys_)}});
        view_.setSource(QUrl(QStringLiteral("qrc:/tillory/switcher/SwitcherView.qml")));
#ifdef __GLIBC__
        // A session's pictures are freed on the main thread but were made on the capture thread and by the image
        // provider; the allocator keeps such memory for reuse, and the process grew by some 40 MiB over a thousand
        // sessions. Given back once the sessions have stopped for a moment.
        trim_.setSingleShot(true);
        trim_.setInterval(kTrimDelayMs);
        QObject::connect(&trim_, &QTimer::timeout, [] { malloc_trim(0); });
#endif
        QObject::connect(engine, &WindowSwitcherEngine::layoutChanged, &view_, [this] {
            if (overlay_->isVisible()) {
                fit();
            }
        });
        warmUp();
    }

    ~QuickSwitcherPanel() override {
        // The scene graph frees the textures of pictures that went away at its next sync; after the last window
        // there is none, and they would be lost. Let the tiles go and sync once while the window still exists.
        view_.setSource(QUrl());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ui::releaseSceneGraphPictures(view_);
        ui::returnFreedMemorySoon(); // runs once the view itself is gone
    }

    bool loaded() const {
        return view_.status() == QQuickView::Ready && view_.rootObject() != nullptr;
    }

    void present(platform::Rect frame) override {
        warming_ = false;
        firstFramePending_ = true;
        display_ = ui::toWindowGeometry(frame);
        view_.rootObject()->setProperty("dark", ui::darkViews(dark_));
        fit();
        overlay_->show();
        overlay_->raise();
        if (keepOnTop_) {
            keepOnTop_(overlay_->windowId());
        }
    }

    double backingScale() const override {
        return view_.devicePixelRatio();
    }

    void orderOut() override {
        warming_ = false;
        firstFramePending_ = false;
        if (keepOnTop_) {
            keepOnTop_(0);
        }
        overlay_->hide();
        trim_.start();
    }

private:
    /// A window shown for the first time sets up its scene graph and backing store, which takes several times
    /// as long as showing it again: do that now, out of sight, rather than on the first ⌘Tab.
    void warmUp() {
        warming_ = true;
        overlay_->setGeometry(QRect(kOffDisplay, QSize(64, 64)));
        QObject::connect(&view_, &QQuickWindow::frameSwapped, &view_, [this] {
            if (warming_) {
                warming_ = false;
                overlay_->hide();
            } else if (firstFramePending_) {
                firstFramePending_ = false;
                qCDebug(lcSwitcherView) << "first frame of the session shown";
            }
        });
        overlay_->show();
    }

    /// The window is only the card: without a compositing manager the rest of a display-sized window would not
    /// be see-through, and would hide the desktop.
    void fit() {
        if (!engine_) {
            return;
        }
        const QRect card =
            QuickSwitcherPanelFactory::cardGeometry(display_, engine_->cardWidth(), engine_->cardHeight());
        overlay_->setGeometry(card);
        QPainterPath rounded;
        rounded.addRoundedRect(QRectF(0, 0, card.width(), card.height()), kCardRadius, kCardRadius);
        overlay_->setMask(QRegion(rounded.toFillPolygon().toPolygon()));
    }

    QPointer<WindowSwitcherEngine> engine_;
    ui::KeyLabels keys_;
    QuickSwitcherPanelFactory::KeepOnTop keepOnTop_;
    QuickSwitcherPanelFactory::Dark dark_;
    SwitcherTileModel tiles_;
    std::unique_ptr<ui::OverlaySurface> overlay_ =
        ui::makeOverlay(kRole); // after what its QML refers to, so it goes first
    QQuickView& view_ = overlay_->view();
    QTimer trim_;
    QRect display_;
    bool warming_ = false;
    bool firstFramePending_ = false;
};

} // namespace

void QuickSwitcherPanelFactory::setEngine(WindowSwitcherEngine* engine) {
    engine_ = engine;
}

QRect QuickSwitcherPanelFactory::cardGeometry(const QRect& display, double cardWidth, double cardHeight) {
    const int width = static_cast<int>(std::ceil(cardWidth));
    const int height = static_cast<int>(std::ceil(cardHeight));
    return {display.x() + (display.width() - width) / 2, display.y() + (display.height() - height) / 2, width, height};
}

std::unique_ptr<SwitcherPanel> QuickSwitcherPanelFactory::create() {
    if (!engine_) {
        return nullptr;
    }
    auto panel = std::make_unique<QuickSwitcherPanel>(engine_, keyNames_, keepOnTop_, dark_);
    if (!panel->loaded()) {
        qCWarning(lcSwitcherView) << "the switcher's view did not load";
        return nullptr;
    }
    return panel;
}

} // namespace tillory::switcher
