#pragma once

#include "platform/api/window_list.h"
#include "platform/linux/desktop_entries.h"
#include "platform/x11/x11_clients.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace tillory::platform::nix {

/// Layers of the window list on X11. Only ordinary application windows (normal windows and dialogs) are on layer
/// 0; every other kind of managed window keeps its place in the list with a layer that says what it is, so that
/// callers looking for application windows skip it.
namespace X11Layer {
constexpr int Desktop = -2147483623; // below everything, like a desktop background
constexpr int Normal = 0;
/// Tool palettes, toolbars, and windows that ask to be left out of task lists (skip taskbar or pager).
constexpr int Auxiliary = 3;
constexpr int Dock = 20;
constexpr int Splash = 21;
constexpr int Notification = 23;
constexpr int Menu = 101;
constexpr int Tooltip = 102;
} // namespace X11Layer

/// What `listedWindow` needs besides the window itself.
struct ListingContext {
    /// Windows of this process are never listed (the program's own panels); 0 lists every process.
    std::int32_t ownPid = 0;
    /// The workspace on screen; nothing when the window manager does not say.
    std::optional<std::uint32_t> currentDesktop;
};

/// The window list's entry for one managed window, or nothing when it is not listed: the program's own windows,
/// withdrawn windows, and unmapped windows that are neither minimised nor on another workspace. Minimised windows
/// and windows of other workspaces are listed with `isOnscreen` false. Bounds are the visible frame, the same
/// rectangle as the window element's position and size, in X root pixels (the caller turns them into points).
/// `appName` becomes the owner name.
std::optional<WindowInfo> listedWindow(const ClientWindow& window, const ListingContext& context,
                                       const QString& appName);

/// The window list of an X11 desktop with an EWMH window manager: every managed client window, front to back
/// (_NET_CLIENT_LIST_STACKING), numbered by X window id, owned by _NET_WM_PID (else the X-Resource owner), titled
/// by _NET_WM_NAME (else WM_NAME), named after the application's desktop entry (else WM_CLASS's class), with
/// bounds in points in the global top-left space. Each call reads the server afresh in one round trip; a window
/// that vanishes meanwhile is left out, and the list never stops half-way. Empty without a server or an EWMH
/// window manager. Main thread.
class X11WindowList final : public WindowList {
public:
    /// `ownPid`: the process whose windows are never listed (normally this program's).
    explicit X11WindowList(X11Clients& clients, std::int32_t ownPid, DesktopEntryIndex* entries = nullptr);

    ~X11WindowList() override;
    X11WindowList(const X11WindowList&) = delete;
    X11WindowList& operator=(const X11WindowList&) = delete;

    /// `WindowListOption::OnScreenOnly` drops minimised windows and those of other workspaces;
    /// `ExcludeDesktopElements` drops desktop windows (the background and its icons).
    std::vector<WindowInfo> windows(unsigned options) override;
    /// From _NET_ACTIVE_WINDOW on a connection of its own (the first subscription opens it; what was active before
    /// is not reported). A moment without an active window, and the same window again, are not reported. Needs a
    /// running Qt event loop.
    SubscriptionPtr observeActiveWindow(std::function<void(std::uint32_t)> onChange) override;
    /// As a pager asks: switches to the window's workspace, restacks it on top and activates it with
    /// _NET_ACTIVE_WINDOW (which also un-minimises it). False when the window is not a managed client.
    bool activateWindow(std::uint32_t window) override;

    /// The owner name `windows` gives a client window.
    QString applicationName(const ClientWindow& window);

private:
    class ActiveWatch;
    X11Clients& clients_;
    std::shared_ptr<ActiveWatch> watch_;
    std::int32_t ownPid_;
    DesktopEntryIndex ownEntries_;
    DesktopEntryIndex* entries_;
};

} // namespace tillory::platform::nix
