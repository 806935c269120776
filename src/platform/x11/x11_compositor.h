#pragma once

#include <cstdint>
#include <string>

struct xcb_connection_t;

namespace tillory::platform::nix {

/// Whether a compositing manager runs on the display's screen, that is, whether someone owns the _NET_WM_CM_S<n>
/// selection: only then does a translucent window show what lies beneath it; without one its clear pixels come
/// out black. Main thread.
class X11Compositor {
public:
    /// Its own connection to `display` ($DISPLAY when empty); without one the answer is always false.
    explicit X11Compositor(const std::string& display = {});
    ~X11Compositor();
    X11Compositor(const X11Compositor&) = delete;
    X11Compositor& operator=(const X11Compositor&) = delete;

    /// Asked anew on every call (one round trip to the server), as compositing managers come and go.
    bool isRunning() const;

private:
    xcb_connection_t* c_ = nullptr;
    std::uint32_t selection_ = 0;
};

} // namespace tillory::platform::nix
