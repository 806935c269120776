#include "platform/x11/x11_raw_pointer.h"

#include "platform/x11/x11_reply.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>

namespace tillory::platform::nix {
struct X11RawPointer::Connection {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = XCB_NONE;
    std::uint8_t opcode = 0; // 0: no XInput 2
    std::unique_ptr<QSocketNotifier> notifier;

    ~Connection() {
        notifier.reset();
        if (c) {
            xcb_disconnect(c);
        }
    }
};

X11RawPointer::X11RawPointer(bool releases, Handler handler)
    : x_(std::make_unique<Connection>()), releases_(releases), handler_(std::move(handler)),
      alive_(std::make_shared<bool>(true)) {
    int screenNumber = 0;
    x_->c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(x_->c)) {
        return;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(x_->c));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    const xcb_query_extension_reply_t* xi = xcb_get_extension_data(x_->c, &xcb_input_id);
    const Reply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(x_->c, xcb_input_xi_query_version(x_->c, 2, 2), nullptr));
    if (!screens.rem || !xi || !xi->present || !version) {
        return;
    }
    x_->root = screens.data->root;
    x_->opcode = xi->major_opcode;
    select();
    x_->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(x_->c), QSocketNotifier::Read);
    QObject::connect(x_->notifier.get(), &QSocketNotifier::activated, x_->notifier.get(), [this] { read(); });
}

X11RawPointer::~X11RawPointer() = default;

bool X11RawPointer::available() const {
    return x_->opcode != 0 && !xcb_connection_has_error(x_->c);
}

void X11RawPointer::setMotion(bool on) {
    if (motion_ != on) {
        motion_ = on;
        select();
    }
}

void X11RawPointer::setActive(bool on) {
    if (active_ != on) {
        active_ = on;
        select();
    }
}

void X11RawPointer::select() {
    if (!available()) {
        return;
    }
    std::uint32_t bits = 0;
    if (active_) {
        bits = XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS;
        bits |= releases_ ? XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE : 0;
        bits |= motion_ ? XCB_INPUT_XI_EVENT_MASK_RAW_MOTION : 0;
    }
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, bits};
    xcb_input_xi_select_events(x_->c, x_->root, 1, &mask.head);
    xcb_flush(x_->c);
}

void X11RawPointer::read() {
    const std::weak_ptr<bool> alive = alive_;
    const auto take = [this](xcb_generic_event_t* raw, std::vector<Report>& reports) {
        const Reply<xcb_generic_event_t> event(raw);
        if ((raw->response_type & 0x7f) != XCB_GE_GENERIC) {
            return;
        }
        const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(raw);
        if (generic->extension != x_->opcode) {
            return;
        }
        // Press, release and motion share one layout.
        const auto* r = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(raw);
        switch (generic->event_type) {
        case XCB_INPUT_RAW_BUTTON_PRESS:
            reports.push_back({Report::Kind::Press, int(r->detail), r->time});
            break;
        case XCB_INPUT_RAW_BUTTON_RELEASE:
            reports.push_back({Report::Kind::Release, int(r->detail), r->time});
            break;
        case XCB_INPUT_RAW_MOTION:
            // A deselection reaches the server after motion already on its way; what follows it is dropped.
            if (motion_) {
                reports.push_back({Report::Kind::Motion, 0, r->time});
            }
            break;
        default:
            break;
        }
    };
    // Events read while waiting for a reply stay in xcb's queue, where the socket notifier never sees them: go on
    // until both the socket and the queue are empty.
    for (;;) {
        std::vector<Report> reports;
        while (xcb_generic_event_t* raw = xcb_poll_for_event(x_->c)) {
            take(raw, reports);
        }
        if (reports.empty() || !active_) {
            break;
        }
        const Reply<xcb_query_pointer_reply_t> pointer(
            xcb_query_pointer_reply(x_->c, xcb_query_pointer(x_->c, x_->root), nullptr));
        // What came before the reply belongs to this batch: the position describes it best.
        while (xcb_generic_event_t* raw = xcb_poll_for_queued_event(x_->c)) {
            take(raw, reports);
        }
        if (!pointer) {
            break;
        }
        const Handler handler = handler_; // the handler may end this object
        handler(reports, Pointer{Point{double(pointer->root_x), double(pointer->root_y)}, pointer->mask});
        if (alive.expired()) {
            return;
        }
    }
    if (xcb_connection_has_error(x_->c)) {
        x_->notifier->setEnabled(false);
    }
}

} // namespace tillory::platform::nix
