#pragma once

#include "platform/api/app_icons.h"
#include "platform/x11/x11_clients.h"

#include <QByteArray>

#include <utility>
#include <vector>

namespace tillory::platform::nix {

/// An X image as GetImage gives it in Z format, with what the server's setup says about its layout.
struct XImage {
    int width = 0;
    int height = 0;
    int depth = 0;
    int bitsPerPixel = 0;
    /// Rows are padded to a multiple of this many bits.
    int scanlinePad = 32;
    bool msbFirstBytes = false; // image byte order
    bool msbFirstBits = false;  // bitmap bit order, for depth 1
    /// The channels of a true-colour visual of this depth; all 0 for depth 1.
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;
    QByteArray data;
};

/// The picture of an ICCCM icon pixmap with its optional mask (depth 1, the same size): a depth-1 pixmap is black
/// where set and white elsewhere; deeper ones are read through their visual's channel masks, with any bits beyond
/// them as alpha on depth 32. Nothing when the layout is one this program does not read or the data is short.
std::optional<Bitmap> iconFromPixmap(const XImage& image, const XImage* mask);

/// Application icons from the process's windows: the given window first, then the process's managed windows front
/// to back; each window's _NET_WM_ICON first, else the icon pixmap of its WM_HINTS (what classic X clients such as
/// xterm carry). The first well-formed image wins. Main thread.
class X11AppIcons final : public AppIcons {
public:
    explicit X11AppIcons(X11Clients& clients) : clients_(clients) {}
    std::optional<Bitmap> icon(std::int32_t pid, std::uint32_t window, int size) override;

private:
    std::optional<Bitmap> iconOf(xcb_window_t window, int size);
    std::optional<Bitmap> hintsIconOf(xcb_window_t window);
    /// The drawable read whole, refused before any pixels are asked for when it is not a sane icon.
    std::optional<XImage> readPixmap(xcb_pixmap_t pixmap);
    /// The process's managed windows front to back; the whole list is read again only when the manager's client
    /// list has changed since the last call, so a session's misses cost one small read each.
    std::vector<xcb_window_t> windowsOf(std::int32_t pid);
    X11Clients& clients_;
    std::vector<std::uint32_t> knownList_;
    std::vector<std::pair<xcb_window_t, std::int32_t>> knownOwners_; // front to back
};

} // namespace tillory::platform::nix
