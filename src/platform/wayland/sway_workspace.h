#pragma once

#include "platform/api/workspace.h"
#include "platform/wayland/sway_ipc.h"
#include "platform/wayland/sway_tree.h"

#include <QObject>

#include <functional>
#include <memory>

namespace tillory::platform::nix {

/// The application of a view: pid, bundleId = app_id (the desktop entry id; an X11 window's WM_CLASS instance),
/// name = app_id (an X11 window's class, else its instance).
AppInfo swayApplication(const SwayWindow& window);

/// Running applications of a sway session, read from its tree over the IPC. Construction never fails: without
/// sway every call answers nothing and subscriptions never fire. Main thread only.
class SwayWorkspace final : public Workspace {
public:
    explicit SwayWorkspace(SwayIpc& ipc);
    ~SwayWorkspace() override;
    SwayWorkspace(const SwayWorkspace&) = delete;
    SwayWorkspace& operator=(const SwayWorkspace&) = delete;

    /// The application of the focused view, asked afresh (one GET_TREE); nothing while an empty workspace has the
    /// focus.
    std::optional<AppInfo> frontApplication() override;
    /// One entry per distinct pid of the tree's views, front to back.
    std::vector<AppInfo> runningApplications() override;
    /// On each of sway's window focus events, the front application at that moment (read from the tree: an event
    /// may be older than the subscription or already overtaken), when it is another application than the last one
    /// reported (another window of the same one does not count, nor does an empty workspace). What was in front
    /// at the first subscription is not reported. Needs a running Qt event loop.
    SubscriptionPtr observeActivations(std::function<void(const AppInfo&)> onActivate) override;
    /// Through the activator set with `setActivator`, else `[pid=N] focus` (sway then focuses each of the
    /// process's windows in turn: the last one in its tree wins).
    bool activate(std::int32_t pid) override;
    /// Hands the URL to the desktop's handler; false when the URL is invalid or nothing took it.
    bool openUrl(const QUrl& url) override;
    /// What brings an application's most recent window forward (the window elements, which know its windows).
    void setActivator(std::function<bool(std::int32_t)> activator) { activator_ = std::move(activator); }

private:
    void handle(quint32 type, const QJsonObject& payload);

    SwayIpc& ipc_;
    QObject context_;
    ObserverSet<AppInfo> observers_;
    std::optional<AppInfo> reported_;
    std::function<bool(std::int32_t)> activator_;
};

} // namespace tillory::platform::nix
