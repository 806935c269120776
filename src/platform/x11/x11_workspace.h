#pragma once

#include "platform/api/workspace.h"

#include <memory>

namespace tillory::platform::nix {

/// Running applications on an X11 desktop, read from the window manager's EWMH properties over an own xcb
/// connection to $DISPLAY. Without an EWMH window manager the front application comes from the input focus.
/// Construction never fails: without a server every call answers nothing and subscriptions do nothing.
/// Main thread only.
class X11Workspace final : public Workspace {
public:
    X11Workspace();
    ~X11Workspace() override;
    X11Workspace(const X11Workspace&) = delete;
    X11Workspace& operator=(const X11Workspace&) = delete;

    /// The application owning the active window: pid from _NET_WM_PID (else the X-Resource client pid),
    /// bundleId from _GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE or the WM_CLASS instance, name from the
    /// WM_CLASS class. Answered from a cache kept current by property events, so it costs no round trip unless
    /// something changed. Nothing when no window is active or there is no server.
    std::optional<AppInfo> frontApplication() override;
    /// One entry per distinct pid of _NET_CLIENT_LIST, in the list's (mapping) order; empty without an EWMH
    /// window manager or a server.
    std::vector<AppInfo> runningApplications() override;
    /// Calls `onActivate` on the main thread when the front application changes to a different application
    /// (another window of the front application does not count, nor does a moment with no active window).
    /// Needs a running Qt event loop; without a server the subscription never fires.
    SubscriptionPtr observeActivations(std::function<void(const AppInfo&)> onActivate) override;
    /// Hands the URL to the desktop's handler; false when the URL is invalid or nothing took it.
    bool openUrl(const QUrl& url) override;
    /// Through the activator set with `setActivator`; false without one.
    bool activate(std::int32_t pid) override;
    /// What brings an application's window forward (the window elements, which know its windows).
    void setActivator(std::function<bool(std::int32_t)> activator) { activator_ = std::move(activator); }

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
    std::function<bool(std::int32_t)> activator_;
};

} // namespace tillory::platform::nix
