#include "platform/linux/x11_app_icons.h"

#include "platform/linux/net_wm_icon.h"

#include <cstdlib>
#include <memory>

namespace tillory::platform::nix {
namespace {

// 4 MiB: a 512 × 512 image and its smaller siblings; a bigger property is read only that far and refused.
constexpr std::uint32_t kMaxIconWords = 1u << 20;

} // namespace

std::optional<Bitmap> X11AppIcons::iconOf(xcb_window_t window, int size) {
    xcb_connection_t* c = clients_.connection();
    const auto cookie =
        xcb_get_property(c, 0, window, clients_.atom("_NET_WM_ICON"), XCB_ATOM_CARDINAL, 0, kMaxIconWords);
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(c, cookie, nullptr), &std::free);
    if (!reply || reply->format != 32 || reply->type != XCB_ATOM_CARDINAL || reply->bytes_after != 0) {
        return std::nullopt;
    }
    const auto* words = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return pickNetWmIcon(words, std::size_t(xcb_get_property_value_length(reply.get())) / 4, size);
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
    for (const ClientWindow& w : clients_.read()) {
        if (w.pid == pid && w.id != window) {
            if (auto found = iconOf(w.id, size)) {
                return found;
            }
        }
    }
    return std::nullopt;
}

} // namespace tillory::platform::nix
