#include "platform/x11/x11_mouse_tap.h"

#include "platform/linux/native_pixels.h"
#include "platform/linux/key_table.h"
#include "platform/x11/x11_raw_pointer.h"

#include <QGuiApplication>
#include <QStyleHints>

#include <xcb/xproto.h>

#include <cmath>

namespace tillory::platform::nix {
namespace {

constexpr double kDoubleClickDistance = 8;
constexpr std::uint64_t kMouseMask = eventMaskBit(EventType::LeftMouseDown) | eventMaskBit(EventType::LeftMouseUp) |
                                     eventMaskBit(EventType::LeftMouseDragged) | eventMaskBit(EventType::MouseMoved);

class X11MouseTap final : public EventTap {
public:
    X11MouseTap(std::uint64_t mask, EventCallback callback)
        : mask_(mask), callback_(std::move(callback)), alive_(std::make_shared<bool>(true)),
          raw_(true, [this](const std::vector<X11RawPointer::Report>& reports, const X11RawPointer::Pointer& pointer) {
              handle(reports, pointer);
          }) {
        raw_.setMotion(wantsMoves());
    }

    bool available() const { return raw_.available(); }

    void setEnabled(bool enabled) override {
        if (enabled_ == enabled) {
            return;
        }
        enabled_ = enabled;
        down_ = false;
        raw_.setMotion(wantsMoves());
        raw_.setActive(enabled);
    }
    bool isEnabled() const override { return enabled_; }
    bool swallowsEvents() const override { return false; }

private:
    void handle(const std::vector<X11RawPointer::Report>& reports, const X11RawPointer::Pointer& pointer) {
        using Kind = X11RawPointer::Report::Kind;
        Event event;
        event.location = logicalFromNative(pointer.native);
        event.flags = flagsFromXState(pointer.state);
        bool dragged = false; // one dragged event for each run of movements
        bool moved = false;   // and one moved event for each batch
        for (const X11RawPointer::Report& report : reports) {
            if (report.kind == Kind::Motion) {
                if (down_ && !dragged) {
                    dragged = true;
                    if (!deliver(EventType::LeftMouseDragged, event)) {
                        return;
                    }
                } else if (!down_ && !moved && wantsMoves()) {
                    moved = true;
                    if (!deliver(EventType::MouseMoved, event)) {
                        return;
                    }
                }
                continue;
            }
            if (report.button != 1) {
                continue;
            }
            dragged = false;
            if (report.kind == Kind::Press) {
                // Whatever came before, a press starts afresh: a release we never heard of is forgotten.
                const int interval = qGuiApp ? QGuiApplication::styleHints()->mouseDoubleClickInterval() : 400;
                clickState_ = clicks_.press(report.time, event.location, interval);
                down_ = true;
                raw_.setMotion(true);
                if (!deliver(EventType::LeftMouseDown, event)) {
                    return;
                }
            } else if (down_ && !release(event)) {
                return;
            }
        }
        if (down_ && !(pointer.state & XCB_BUTTON_MASK_1)) {
            release(event); // the release went to a grab we did not see
        }
    }

    bool wantsMoves() const { return (mask_ & eventMaskBit(EventType::MouseMoved)) != 0; }

    bool release(const Event& event) {
        down_ = false;
        raw_.setMotion(wantsMoves());
        return deliver(EventType::LeftMouseUp, event);
    }

    /// False once the callback has destroyed the tap.
    bool deliver(EventType type, Event event) {
        if (!enabled_ || !(mask_ & eventMaskBit(type))) {
            return true;
        }
        event.type = type;
        event.clickState = clickState_;
        const std::weak_ptr<bool> alive = alive_;
        const EventCallback callback = callback_;
        callback(type, event);
        return !alive.expired();
    }

    std::uint64_t mask_;
    EventCallback callback_;
    std::shared_ptr<bool> alive_;
    bool enabled_ = true;
    bool down_ = false;
    std::int64_t clickState_ = 0;
    ClickCounter clicks_;
    X11RawPointer raw_;
};

} // namespace

int ClickCounter::press(std::uint32_t time, Point location, int intervalMs) {
    int count = 1;
    if (last_) {
        const std::uint32_t elapsed = time - last_->time; // wraps with the server's clock
        const double distance = std::hypot(location.x - last_->location.x, location.y - last_->location.y);
        if (elapsed <= std::uint32_t(std::max(intervalMs, 0)) && distance < kDoubleClickDistance) {
            count = last_->count + 1;
        }
    }
    last_ = Last{time, location, count};
    return count;
}

std::unique_ptr<EventTap> createMouseTap(std::uint64_t mask, EventCallback callback) {
    if (mask == 0 || (mask & ~kMouseMask) != 0 || !callback) {
        return nullptr;
    }
    auto tap = std::make_unique<X11MouseTap>(mask, std::move(callback));
    if (!tap->available()) {
        return nullptr;
    }
    return tap;
}

} // namespace tillory::platform::nix
