#include "platform/wayland/wayland_screens.h"

#include "platform/linux/screen_layout.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyleHints>

namespace tillory::platform::nix {
namespace {

Rect fromQt(const QRect& r) {
    return Rect{double(r.x()), double(r.y()), double(r.width()), double(r.height())};
}

class ConnectionSubscription final : public Subscription {
public:
    explicit ConnectionSubscription(std::unique_ptr<QObject> context) : context_(std::move(context)) {}

private:
    std::unique_ptr<QObject> context_;
};

} // namespace

std::vector<ScreenInfo> WaylandScreens::screens() {
    std::vector<Monitor> monitors;
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        const Rect frame = fromQt(screen->geometry());
        std::optional<Rect> usable = usableArea_ ? usableArea_(frame) : std::nullopt;
        // An answer outside the output is someone else's mistake: the whole output is still right.
        if (!usable || !frame.contains(Point{usable->x, usable->y}) || usable->width <= 0 || usable->height <= 0 ||
            usable->maxX() > frame.maxX() || usable->maxY() > frame.maxY()) {
            usable = frame;
        }
        monitors.push_back(Monitor{frame, *usable, screen == primary});
    }
    return screenSpace(monitors, &reference_, notchWidth_);
}

Point WaylandScreens::mouseLocation() {
    if (reference_ == 0) {
        screens();
    }
    QPointF p;
    if (pointer_) {
        p = *pointer_;
    } else if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        p = QRectF(primary->geometry()).center();
    }
    return {p.x(), reference_ - p.y()};
}

double WaylandScreens::doubleClickInterval() {
    return QGuiApplication::styleHints()->mouseDoubleClickInterval() / 1000.0;
}

SubscriptionPtr WaylandScreens::observeChanges(std::function<void()> onChange) {
    auto context = std::make_unique<QObject>();
    auto notify = [onChange] { onChange(); };
    auto watch = [context = context.get(), notify](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, context, notify);
    };
    for (QScreen* screen : QGuiApplication::screens()) {
        watch(screen);
    }
    QObject::connect(qGuiApp, &QGuiApplication::screenAdded, context.get(), [watch, notify](QScreen* screen) {
        watch(screen);
        notify();
    });
    QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, context.get(), notify);
    QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, context.get(), notify);
    return std::make_unique<ConnectionSubscription>(std::move(context));
}

} // namespace tillory::platform::nix
