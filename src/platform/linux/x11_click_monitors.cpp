#include "platform/linux/x11_click_monitors.h"

#include "platform/linux/native_pixels.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <memory>

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

bool inOwnWindow(const QPoint& point) {
    const QWindowList windows = QGuiApplication::topLevelWindows();
    return std::any_of(windows.begin(), windows.end(), [&point](const QWindow* window) {
        return window->isVisible() && window->frameGeometry().contains(point);
    });
}

class ElsewhereMonitor final : public Subscription {
public:
    ElsewhereMonitor(std::uint64_t mask, std::function<void(const Event&)> onClick)
        : mask_(mask), onClick_(std::move(onClick)), alive_(std::make_shared<bool>(true)) {
        c_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c_)) {
            return;
        }
        const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c_, &xcb_input_id);
        std::unique_ptr<xcb_input_xi_query_version_reply_t, decltype(&std::free)> version(
            xcb_input_xi_query_version_reply(c_, xcb_input_xi_query_version(c_, 2, 2), nullptr), &std::free);
        if (!xi || !xi->present || !version) {
            return;
        }
        opcode_ = xi->major_opcode;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        struct {
            xcb_input_event_mask_t head;
            std::uint32_t bits;
        } select{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
        xcb_input_xi_select_events(c_, root_, 1, &select.head);
        xcb_flush(c_);
        notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c_), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { read(); });
    }
    ~ElsewhereMonitor() override {
        notifier_.reset();
        if (c_) {
            xcb_disconnect(c_);
        }
    }

private:
    void read() {
        while (xcb_generic_event_t* raw = xcb_poll_for_event(c_)) {
            std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(raw, &std::free);
            if ((raw->response_type & 0x7f) != XCB_GE_GENERIC) {
                continue;
            }
            auto* generic = reinterpret_cast<xcb_ge_generic_event_t*>(raw);
            if (generic->extension != opcode_ || generic->event_type != XCB_INPUT_RAW_BUTTON_PRESS) {
                continue;
            }
            auto* press = reinterpret_cast<xcb_input_raw_button_press_event_t*>(raw);
            const auto type = typeForButton(int(press->detail));
            if (type && (mask_ & eventMaskBit(*type))) {
                deliver(*type);
            }
        }
        if (xcb_connection_has_error(c_)) {
            notifier_->setEnabled(false);
        }
    }

    void deliver(EventType type) {
        std::unique_ptr<xcb_query_pointer_reply_t, decltype(&std::free)> pointer(
            xcb_query_pointer_reply(c_, xcb_query_pointer(c_, root_), nullptr), &std::free);
        if (!pointer) {
            return;
        }
        const Point logical = logicalFromNative(Point{double(pointer->root_x), double(pointer->root_y)});
        const QPoint at(qRound(logical.x), qRound(logical.y));
        if (inOwnWindow(at)) {
            return; // the own-window monitor reports it
        }
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
    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    std::uint8_t opcode_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
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
