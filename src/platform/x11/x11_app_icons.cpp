#include "platform/x11/x11_app_icons.h"

#include "platform/x11/net_wm_icon.h"
#include "platform/x11/x11_reply.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace tillory::platform::nix {
namespace {

// 4 MiB: a 512 × 512 image and its smaller siblings; a bigger property is read only that far and refused.
constexpr std::uint32_t kMaxIconWords = 1u << 20;
// An icon pixmap larger than this on a side is not an icon; its pixels are never asked for.
constexpr int kMaxPixmapSide = 1024;
// ICCCM WM_HINTS: the flags word, and where the pixmap and its mask sit.
constexpr std::uint32_t kIconPixmapHint = 1u << 2;
constexpr std::uint32_t kIconMaskHint = 1u << 5;
constexpr std::size_t kPixmapWord = 3;
constexpr std::size_t kMaskWord = 7;
constexpr std::uint32_t kHintsWords = 9;
constexpr std::uint32_t kMaxClientWords = 4096;

int stride(const XImage& image) {
    const long bits = long(image.width) * image.bitsPerPixel;
    const long pad = image.scanlinePad > 0 ? image.scanlinePad : 32;
    return int((bits + pad - 1) / pad * pad / 8);
}

bool bitAt(const XImage& image, int x, int y) {
    const auto byte = std::uint8_t(image.data[qsizetype(y) * stride(image) + x / 8]);
    const int bit = image.msbFirstBits ? 7 - x % 8 : x % 8;
    return (byte >> bit) & 1;
}

std::uint32_t valueAt(const XImage& image, int x, int y) {
    const int bytes = image.bitsPerPixel / 8;
    const auto* p = reinterpret_cast<const std::uint8_t*>(image.data.constData()) + qsizetype(y) * stride(image) +
                    qsizetype(x) * bytes;
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        const int shift = image.msbFirstBytes ? 8 * (bytes - 1 - i) : 8 * i;
        value |= std::uint32_t(p[i]) << shift;
    }
    return value;
}

/// The channel under `mask` scaled to 0..255.
std::uint32_t channel(std::uint32_t value, std::uint32_t mask) {
    if (mask == 0) {
        return 0;
    }
    const int shift = std::countr_zero(mask);
    const std::uint32_t max = mask >> shift;
    return ((value & mask) >> shift) * 255 / max;
}

bool readable(const XImage& image) {
    if (image.width <= 0 || image.height <= 0 || image.width > kMaxPixmapSide || image.height > kMaxPixmapSide) {
        return false;
    }
    const bool bitmap = image.depth == 1 && image.bitsPerPixel == 1;
    const bool colour =
        image.depth > 1 &&
        (image.bitsPerPixel == 8 || image.bitsPerPixel == 16 || image.bitsPerPixel == 24 || image.bitsPerPixel == 32) &&
        image.redMask && image.greenMask && image.blueMask;
    return (bitmap || colour) && image.data.size() >= qsizetype(stride(image)) * image.height;
}

} // namespace

std::optional<Bitmap> iconFromPixmap(const XImage& image, const XImage* mask) {
    if (!readable(image)) {
        return std::nullopt;
    }
    if (mask && (!readable(*mask) || mask->depth != 1 || mask->width != image.width || mask->height != image.height)) {
        mask = nullptr; // a mask that does not fit the icon is not its mask
    }
    const std::uint32_t colourBits = image.redMask | image.greenMask | image.blueMask;
    // What the colours leave of 32 bits is the alpha.
    const std::uint32_t alphaMask = image.depth == 32 ? ~colourBits : 0;
    Bitmap bitmap{image.width, image.height, 4 * image.width, QByteArray()};
    bitmap.pixels.resize(qsizetype(bitmap.stride) * bitmap.height);
    auto* out = reinterpret_cast<std::uint32_t*>(bitmap.pixels.data());
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            std::uint32_t argb = 0;
            if (mask && !bitAt(*mask, x, y)) {
                argb = 0;
            } else if (image.depth == 1) {
                argb = bitAt(image, x, y) ? 0xFF000000u : 0xFFFFFFFFu;
            } else {
                const std::uint32_t v = valueAt(image, x, y);
                const std::uint32_t a = alphaMask ? channel(v, alphaMask) : 255;
                // Depth-32 pixels are premultiplied already, as a Bitmap's are.
                argb = (a << 24) | (channel(v, image.redMask) << 16) | (channel(v, image.greenMask) << 8) |
                       channel(v, image.blueMask);
            }
            out[qsizetype(y) * image.width + x] = argb;
        }
    }
    return bitmap;
}

std::optional<XImage> X11AppIcons::readPixmap(xcb_pixmap_t pixmap) {
    xcb_connection_t* c = clients_.connection();
    const Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, pixmap), nullptr));
    if (!geometry || geometry->width == 0 || geometry->height == 0 || geometry->width > kMaxPixmapSide ||
        geometry->height > kMaxPixmapSide) {
        return std::nullopt;
    }
    XImage image;
    image.width = geometry->width;
    image.height = geometry->height;
    image.depth = geometry->depth;
    const xcb_setup_t* setup = xcb_get_setup(c);
    image.msbFirstBytes = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    image.msbFirstBits = setup->bitmap_format_bit_order == XCB_IMAGE_ORDER_MSB_FIRST;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == image.depth) {
            image.bitsPerPixel = f.data->bits_per_pixel;
            image.scanlinePad = f.data->scanline_pad;
        }
    }
    // The pixmap has no visual of its own: read it as a true-colour visual of its depth draws.
    for (auto screen = xcb_setup_roots_iterator(setup); screen.rem && !image.redMask; xcb_screen_next(&screen)) {
        for (auto d = xcb_screen_allowed_depths_iterator(screen.data); d.rem && !image.redMask; xcb_depth_next(&d)) {
            if (d.data->depth != image.depth) {
                continue;
            }
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
                if (v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR || v.data->_class == XCB_VISUAL_CLASS_DIRECT_COLOR) {
                    image.redMask = v.data->red_mask;
                    image.greenMask = v.data->green_mask;
                    image.blueMask = v.data->blue_mask;
                    break;
                }
            }
        }
    }
    if (image.bitsPerPixel == 0 || (image.depth > 1 && !image.redMask)) {
        return std::nullopt;
    }
    const Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, 0, 0, geometry->width, geometry->height, ~0u), nullptr));
    if (!reply) {
        return std::nullopt;
    }
    image.data = QByteArray(reinterpret_cast<const char*>(xcb_get_image_data(reply.get())),
                            xcb_get_image_data_length(reply.get()));
    return image;
}

std::optional<Bitmap> X11AppIcons::hintsIconOf(xcb_window_t window) {
    xcb_connection_t* c = clients_.connection();
    const auto cookie = xcb_get_property(c, 0, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, kHintsWords);
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
    const std::vector<std::uint32_t> hints = words(reply.get());
    if (hints.size() < kHintsWords || !(hints[0] & kIconPixmapHint) || hints[kPixmapWord] == XCB_NONE) {
        return std::nullopt;
    }
    const std::optional<XImage> image = readPixmap(hints[kPixmapWord]);
    if (!image) {
        return std::nullopt;
    }
    std::optional<XImage> mask;
    if ((hints[0] & kIconMaskHint) && hints[kMaskWord] != XCB_NONE) {
        mask = readPixmap(hints[kMaskWord]);
    }
    return iconFromPixmap(*image, mask ? &*mask : nullptr);
}

std::optional<Bitmap> X11AppIcons::iconOf(xcb_window_t window, int size) {
    xcb_connection_t* c = clients_.connection();
    const auto cookie =
        xcb_get_property(c, 0, window, clients_.atom("_NET_WM_ICON"), XCB_ATOM_CARDINAL, 0, kMaxIconWords);
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_CARDINAL && reply->bytes_after == 0) {
        const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
        if (auto found = pickNetWmIcon(values, std::size_t(xcb_get_property_value_length(reply.get())) / 4, size)) {
            return found;
        }
    }
    return hintsIconOf(window);
}

std::optional<Bitmap> X11AppIcons::icon(std::int32_t pid, std::uint32_t window, int size) {
    if (pid <= 0 || !clients_.alive()) {
        return std::nullopt;
    }
    if (window != 0) {
        if (auto found = iconOf(window, size)) {
            return found;
        }
    }
    for (const xcb_window_t w : windowsOf(pid)) {
        if (w != window) {
            if (auto found = iconOf(w, size)) {
                return found;
            }
        }
    }
    return std::nullopt;
}

std::vector<xcb_window_t> X11AppIcons::windowsOf(std::int32_t pid) {
    xcb_connection_t* c = clients_.connection();
    const auto cookie = xcb_get_property(c, 0, clients_.root(), clients_.atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 0,
                                         kMaxClientWords);
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
    std::vector<std::uint32_t> list = words(reply.get());
    if (list.empty() || list != knownList_) {
        knownOwners_.clear();
        for (const ClientWindow& w : clients_.read()) {
            knownOwners_.emplace_back(w.id, w.pid);
        }
        knownList_ = std::move(list);
    }
    std::vector<xcb_window_t> mine;
    for (const auto& [w, owner] : knownOwners_) {
        if (owner == pid) {
            mine.push_back(w);
        }
    }
    return mine;
}

} // namespace tillory::platform::nix
