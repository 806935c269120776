#include "platform/x11/x11_compositor.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace tillory::platform::nix {

X11Compositor::X11Compositor(const std::string& display) {
    int screenNumber = 0;
    c_ = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
    if (xcb_connection_has_error(c_) != 0) {
        xcb_disconnect(c_);
        c_ = nullptr;
        return;
    }
    const std::string name = "_NET_WM_CM_S" + std::to_string(screenNumber);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
    if (atom) {
        selection_ = atom->atom;
        std::free(atom);
    }
}

X11Compositor::~X11Compositor() {
    if (c_) {
        xcb_disconnect(c_);
    }
}

bool X11Compositor::isRunning() const {
    if (!c_ || selection_ == XCB_NONE || xcb_connection_has_error(c_) != 0) {
        return false;
    }
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, selection_), nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    std::free(reply);
    return owned;
}

} // namespace tillory::platform::nix
