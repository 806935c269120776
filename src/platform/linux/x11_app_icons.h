#pragma once

#include "platform/api/app_icons.h"
#include "platform/linux/x11_clients.h"

namespace tillory::platform::nix {

/// Application icons from the _NET_WM_ICON property of the process's windows: the given window first, then the
/// process's managed windows front to back; the first property that holds a well-formed image wins. Programs that
/// set no such property (xterm, xlogo) have no icon here. Main thread.
class X11AppIcons final : public AppIcons {
public:
    explicit X11AppIcons(X11Clients& clients) : clients_(clients) {}
    std::optional<Bitmap> icon(std::int32_t pid, std::uint32_t window, int size) override;

private:
    std::optional<Bitmap> iconOf(xcb_window_t window, int size);
    X11Clients& clients_;
};

} // namespace tillory::platform::nix
