#include "shell/view/quick_shell_windows.h"

#include "shell/info_windows.h"
#include "ui/view/color_scheme.h"

#include <QGuiApplication>
#include <QPointer>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>

#include <algorithm>

namespace tillory::shell {
namespace {

/// The part of the screen a window of ours may take: the work area less a margin, and never the strip at the top
/// where the island hangs when no panel holds that edge.
QRect placementArea(const QScreen& screen) {
    constexpr int kIslandHeight = 32;
    constexpr int kMargin = 20;
    QRect area = screen.availableGeometry().adjusted(0, kMargin, 0, -kMargin);
    area.setTop(std::max(area.top(), screen.geometry().top() + kIslandHeight + kMargin));
    return area;
}

class QuickShellWindow final : public ShellWindow {
public:
    QuickShellWindow(QQuickView* view, std::function<void()> closed) : view_(view) {
        // Closed by the desktop (the window manager's close): the controller lets go of this window.
        closing_ = QObject::connect(view, &QWindow::visibleChanged, view, [closed = std::move(closed)](bool shown) {
            if (!shown) {
                closed();
            }
        });
    }
    ~QuickShellWindow() override {
        QObject::disconnect(closing_);
        if (view_) {
            view_->hide();
            // It may be running the click or close that got here.
            view_->deleteLater();
        }
    }
    void bringForward() override {
        if (view_) {
            view_->show();
            view_->raise();
            view_->requestActivate();
        }
    }

private:
    QPointer<QQuickView> view_;
    QMetaObject::Connection closing_;
};

} // namespace

std::unique_ptr<ShellWindow> QuickShellWindowFactory::createShortcuts(ShortcutsController& controller) {
    return create(QUrl(QStringLiteral("qrc:/tillory/shell/ShortcutsView.qml")), QStringLiteral("Shortcuts & Gestures"),
                  &controller, [c = QPointer<ShortcutsController>(&controller)] {
                      if (c) {
                          c->windowClosed();
                      }
                  });
}

std::unique_ptr<ShellWindow> QuickShellWindowFactory::createWhatsNew(WhatsNewController& controller) {
    return create(QUrl(QStringLiteral("qrc:/tillory/shell/WhatsNewView.qml")), QStringLiteral("What's New in Tillory"),
                  &controller, [c = QPointer<WhatsNewController>(&controller)] {
                      if (c) {
                          c->windowClosed();
                      }
                  });
}

std::unique_ptr<ShellWindow> QuickShellWindowFactory::create(const QUrl& source, const QString& title,
                                                             QObject* controller, std::function<void()> closed) {
    const bool translucent = translucent_ ? translucent_() : true;
    auto* view = new QQuickView;
    view->setFlags(Qt::Window | Qt::FramelessWindowHint);
    view->setTitle(title); // for task lists and the window manager
    view->setColor(translucent ? QColor(Qt::transparent) : QColor(Qt::black));
    view->setResizeMode(QQuickView::SizeViewToRootObject);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? placementArea(*screen) : QRect();
    const bool dark =
        dark_ ? dark_() : ui::darkViews(platform::Appearance::ColorScheme::unstated, QGuiApplication::palette());
    QVariantMap initial{{QStringLiteral("controller"), QVariant::fromValue(controller)},
                        {QStringLiteral("opaque"), !translucent},
                        {QStringLiteral("dark"), dark}};
    if (screen) {
        initial.insert(QStringLiteral("maxHeight"), area.height());
    }
    view->setInitialProperties(initial);
    view->setSource(source);
    if (screen) {
        const auto centre = [view, area] {
            view->setPosition(area.center().x() - view->width() / 2,
                              std::max(area.top(), area.center().y() - view->height() / 2));
        };
        centre();
        // Wrapped texts settle the height only after the first layout: stay centred while it grows.
        QObject::connect(view, &QWindow::heightChanged, view, centre);
    }
    view->show();
    view->raise();
    view->requestActivate();
    return std::make_unique<QuickShellWindow>(view, std::move(closed));
}

} // namespace tillory::shell
