#include "platform/x11/x11_click_monitors.h"

#include "platform/linux/native_pixels.h"
#include "platform/x11/x11_raw_pointer.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace tillory::platform::nix {
namespace {

std::optional<EventType> typeForButton(int button) {
    if (button == 1) {
        return EventType::LeftMouseDown;
    }
    if (button == 3) {
        return EventType::RightMouseDown;
    }
    return std::nullopt;
}

/// Whether `point` (logical, global) falls on one of this program's windows. A window with a mask (shaped where
/// there is no compositor) takes clicks only inside it: the rest goes to what lies below.
bool inOwnWindow(const QPoint& point) {
    const QWindowList windows = QGuiApplication::topLevelWindows();
    return std::any_of(windows.begin(), windows.end(), [&point](const QWindow* window) {
        if (!window->isVisible() || !window->frameGeometry().contains(point)) {
            return false;
        }
        const QRegion mask = window->mask();
        return mask.isEmpty() || mask.contains(point - window->geometry().topLeft());
    });
}

class ElsewhereMonitor final : public Subscription {
public:
    ElsewhereMonitor(std::uint64_t mask, std::function<void(const Event&)> onClick)
        : mask_(mask), onClick_(std::move(onClick)), alive_(std::make_shared<bool>(true)),
          pointer_(false, [this](const std::vector<X11RawPointer::Report>& reports,
                                 const X11RawPointer::Pointer& pointer) { read(reports, pointer); }) {}

private:
    void read(const std::vector<X11RawPointer::Report>& reports, const X11RawPointer::Pointer& pointer) {
        const Point logical = logicalFromNative(pointer.native);
        if (inOwnWindow(QPoint(qRound(logical.x), qRound(logical.y)))) {
            return; // the own-window monitor reports it
        }
        for (const X11RawPointer::Report& report : reports) {
            const auto type = typeForButton(report.button);
            if (report.kind == X11RawPointer::Report::Kind::Press && type && (mask_ & eventMaskBit(*type))) {
                deliver(*type, logical);
            }
        }
    }

    void deliver(EventType type, Point logical) {
        Event event;
        event.type = type;
        event.location = logical;
        event.clickState = 1;
        // Delivered after the click, from the main loop, as a monitor of other applications' input is.
        std::weak_ptr<bool> alive = alive_;
        auto onClick = onClick_;
        QTimer::singleShot(0, qApp, [alive, onClick, event] {
            if (alive.lock()) {
                onClick(event);
            }
        });
    }

    std::uint64_t mask_;
    std::function<void(const Event&)> onClick_;
    std::shared_ptr<bool> alive_;
    X11RawPointer pointer_;
};

class OwnMonitor final : public QObject, public Subscription {
public:
    OwnMonitor(std::uint64_t mask, std::function<void(const Event&, std::uint64_t)> onClick)
        : mask_(mask), onClick_(std::move(onClick)) {
        if (qApp) {
            qApp->installEventFilter(this);
        }
    }
    ~OwnMonitor() override {
        if (qApp) {
            qApp->removeEventFilter(this);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonPress || !watched->isWindowType()) {
            return false;
        }
        auto* mouse = static_cast<QMouseEvent*>(event);
        const auto type = typeForButton(mouse->button() == Qt::LeftButton    ? 1
                                        : mouse->button() == Qt::RightButton ? 3
                                                                             : 0);
        if (!type || !(mask_ & eventMaskBit(*type))) {
            return false;
        }
        Event click;
        click.type = *type;
        const QPoint at = QCursor::pos();
        click.location = {double(at.x()), double(at.y())};
        click.clickState = 1;
        // A copy: the callback may end this subscription, and with it this filter.
        const auto onClick = onClick_;
        onClick(click, static_cast<std::uint64_t>(static_cast<QWindow*>(watched)->winId()));
        return false; // the click always goes on
    }

private:
    std::uint64_t mask_;
    std::function<void(const Event&, std::uint64_t)> onClick_;
};

} // namespace

SubscriptionPtr X11ClickMonitors::elsewhere(std::uint64_t mask, std::function<void(const Event&)> onClick) {
    return std::make_unique<ElsewhereMonitor>(mask, std::move(onClick));
}

SubscriptionPtr X11ClickMonitors::own(std::uint64_t mask, std::function<void(const Event&, std::uint64_t)> onClick) {
    return std::make_unique<OwnMonitor>(mask, std::move(onClick));
}

} // namespace tillory::platform::nix
