#pragma once

#include "platform/api/window_list.h"
#include "platform/wayland/sway_ipc.h"
#include "platform/wayland/sway_tree.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <vector>

namespace tillory::platform::nix {

class DesktopEntryIndex;

/// Which windows had the focus, newest first, from sway's window events: what the tree cannot tell across
/// workspaces. Knows only what happened since its construction. Main thread.
class SwayFocusHistory {
public:
    explicit SwayFocusHistory(SwayIpc& ipc);

    /// Window ids, most recently focused first; closed windows are forgotten.
    const std::vector<std::uint32_t>& recent() const { return recent_; }
    /// Records a focus this program gave, before sway's event about it arrives.
    void noteFocus(std::uint32_t window);
    /// The views of a tree, front to back by this history (see byRecency).
    std::vector<SwayWindow> windows(const QJsonObject& tree) const;

private:
    void handle(quint32 type, const QJsonObject& payload);

    QObject context_;
    std::vector<std::uint32_t> recent_;
};

/// The window list of a sway session from its tree: every view, front to back by focus recency, numbered by
/// container id, owned by the view's pid, named after the application's desktop entry (else its app_id, else its
/// X11 class), titled by its title, with its frame (title bar included) as bounds in global top-left layout
/// coordinates. Views on hidden workspaces, in the scratchpad and behind other tabs are listed with `isOnscreen`
/// false. One GET_TREE per call; empty without sway. Main thread.
class SwayWindowList final : public WindowList {
public:
    /// `ownPid`: the process whose windows are never listed (normally this program's). Without `entries` the
    /// owner name is the app_id or class itself.
    SwayWindowList(SwayIpc& ipc, SwayFocusHistory& history, std::int32_t ownPid, DesktopEntryIndex* entries = nullptr);
    ~SwayWindowList() override;
    SwayWindowList(const SwayWindowList&) = delete;
    SwayWindowList& operator=(const SwayWindowList&) = delete;

    /// `OnScreenOnly` keeps the visible views; there are no desktop elements to exclude.
    std::vector<WindowInfo> windows(unsigned options) override;
    /// On each of sway's window focus events, the window focused at that moment (read from the tree: an event may
    /// be older than the subscription or already overtaken), when it is another than the last one reported (the
    /// one focused at the first subscription, to begin with). A moment without a focused window is not reported.
    /// Needs a running Qt event loop.
    SubscriptionPtr observeActiveWindow(std::function<void(std::uint32_t)> onChange) override;
    /// `[con_id=N] focus`: switches to the window's workspace (and shows it from the scratchpad). False when sway
    /// knows no such container.
    bool activateWindow(std::uint32_t window) override;

    /// The owner name `windows` gives a view.
    QString applicationName(const SwayWindow& window) const;

private:
    void handle(quint32 type, const QJsonObject& payload);
    std::uint32_t focusedWindow();

    SwayIpc& ipc_;
    SwayFocusHistory& history_;
    std::int32_t ownPid_;
    DesktopEntryIndex* entries_;
    QObject context_;
    ObserverSet<std::uint32_t> observers_;
    std::uint32_t reported_ = 0;
};

} // namespace tillory::platform::nix
