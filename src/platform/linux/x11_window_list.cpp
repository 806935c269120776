#include "platform/linux/x11_window_list.h"

#include "platform/linux/native_pixels.h"

namespace tillory::platform::nix {
namespace {

int layerOf(const ClientWindow& window) {
    switch (window.kind) {
    case ClientKind::Normal:
    case ClientKind::Dialog:
        return window.skipTaskbar ? X11Layer::Auxiliary : X11Layer::Normal;
    case ClientKind::Utility:
        return X11Layer::Auxiliary;
    case ClientKind::Dock:
        return X11Layer::Dock;
    case ClientKind::Desktop:
        return X11Layer::Desktop;
    case ClientKind::Splash:
        return X11Layer::Splash;
    case ClientKind::Notification:
        return X11Layer::Notification;
    case ClientKind::Menu:
        return X11Layer::Menu;
    case ClientKind::Tooltip:
        return X11Layer::Tooltip;
    }
    return X11Layer::Auxiliary;
}

} // namespace

std::optional<WindowInfo> listedWindow(const ClientWindow& window, const ListingContext& context,
                                       const QString& appName) {
    if ((context.ownPid != 0 && window.pid == context.ownPid) || window.withdrawn) {
        return std::nullopt;
    }
    const bool elsewhere =
        window.desktop != kAllDesktops && context.currentDesktop && window.desktop != *context.currentDesktop;
    // An unmapped window that is neither minimised nor on another workspace is on its way in or out.
    if (!window.viewable && !window.hidden && !elsewhere) {
        return std::nullopt;
    }
    WindowInfo info;
    info.number = window.id;
    info.ownerPid = window.pid;
    info.ownerName = appName;
    info.name = window.title;
    info.layer = layerOf(window);
    info.alpha = window.alpha;
    info.bounds = window.visibleFrame();
    info.isOnscreen = window.viewable && !window.hidden && !elsewhere;
    return info;
}

X11WindowList::X11WindowList(X11Clients& clients, std::int32_t ownPid, DesktopEntryIndex* entries)
    : clients_(clients), ownPid_(ownPid), entries_(entries ? entries : &ownEntries_) {}

QString X11WindowList::applicationName(const ClientWindow& window) {
    const QString entry = entries_->nameFor(window.appId, window.instance, window.className);
    return !entry.isEmpty() ? entry : !window.className.isEmpty() ? window.className : window.instance;
}

std::vector<WindowInfo> X11WindowList::windows(unsigned options) {
    const bool onScreenOnly = (options & static_cast<unsigned>(WindowListOption::OnScreenOnly)) != 0;
    const bool noDesktop = (options & static_cast<unsigned>(WindowListOption::ExcludeDesktopElements)) != 0;
    const ListingContext context{ownPid_, clients_.currentDesktop()};
    std::vector<WindowInfo> list;
    for (const ClientWindow& window : clients_.read()) {
        if (noDesktop && window.kind == ClientKind::Desktop) {
            continue;
        }
        auto info = listedWindow(window, context, applicationName(window));
        if (!info || (onScreenOnly && !info->isOnscreen)) {
            continue;
        }
        info->bounds = logicalFromNative(info->bounds);
        list.push_back(std::move(*info));
    }
    return list;
}

} // namespace tillory::platform::nix
