#include "platform/x11/x11_top_keeper.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <cstdlib>

namespace tillory::platform::nix {

X11TopKeeper::X11TopKeeper(const std::string& display) {
    int screenNumber = 0;
    c_ = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
    if (xcb_connection_has_error(c_) != 0) {
        xcb_disconnect(c_);
        c_ = nullptr;
        return;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(c_));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    root_ = screens.data->root;
    if (QCoreApplication::instance()) {
        notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c_), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { handleEvents(); });
    }
}

X11TopKeeper::~X11TopKeeper() {
    notifier_.reset();
    if (c_) {
        xcb_disconnect(c_);
    }
}

void X11TopKeeper::keepOnTop(std::uint32_t window) {
    if (!c_ || xcb_connection_has_error(c_) != 0) {
        return;
    }
    kept_ = window;
    // Only while a window is kept: every map and move on the desktop would otherwise wake this program.
    const std::uint32_t mask = window ? XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY : 0;
    xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
    if (window) {
        raise();
    }
    // A round trip, so that a window mapped by anyone after this call is reported.
    std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    handleEvents();
}

void X11TopKeeper::handleEvents() {
    if (!c_) {
        return;
    }
    bool covered = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
        const std::uint8_t type = event->response_type & 0x7f;
        if (type == XCB_MAP_NOTIFY) {
            covered = covered || reinterpret_cast<xcb_map_notify_event_t*>(event)->window != kept_;
        } else if (type == XCB_CONFIGURE_NOTIFY) {
            covered = covered || reinterpret_cast<xcb_configure_notify_event_t*>(event)->window != kept_;
        }
        std::free(event); // errors too: a kept window destroyed meanwhile is nothing to report
    }
    if (covered && kept_) {
        raise();
    }
}

void X11TopKeeper::raise() {
    const auto now = std::chrono::steady_clock::now();
    if (now - since_ >= std::chrono::seconds(1)) {
        since_ = now;
        raises_ = 0;
    }
    if (raises_ >= kMaxRaisesPerSecond) {
        return;
    }
    ++raises_;
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(c_, kept_, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(c_);
}

} // namespace tillory::platform::nix
