#pragma once

#include "platform/api/accessibility.h"
#include "platform/x11/x11_clients.h"

#include <cstdint>
#include <map>
#include <optional>

namespace tillory::platform::nix {

/// Application and window elements of an X11 desktop, answered from the window manager's client list (EWMH):
/// what the accessibility interface's "AXWindows" and "AXFocusedWindow" stand for, their title, frame, minimised
/// state, moves and raising. Each element carries its X window id (`windowNumber`). Main thread.
class X11WindowElements {
public:
    explicit X11WindowElements(X11Clients& clients);

    /// True for elements this class made.
    static bool owns(const Element& element);

    /// The application with that process, when one of its windows is managed; nothing otherwise.
    Element application(std::int32_t pid);

    /// On an application: "AXWindows" (its normal, dialog and utility windows, front to back, minimised ones and
    /// those of other workspaces included) and "AXFocusedWindow" (the active window when it is the
    /// application's, else its front-most window shown). On a window: "AXTitle", "AXRole" ("AXWindow"),
    /// "AXMinimized", "AXPosition" and "AXSize" (the visible frame, ClientWindow::visibleFrame, in points,
    /// global top-left space). Nothing once the window is gone, and for other names.
    AXValue attribute(const Element& element, const QString& name);
    /// "AXMinimized" false maps the window again (un-minimises it) and waits until it is shown, true asks the
    /// window manager to iconify it. "AXPosition" (Point), "AXSize" (Size) and "AXFrame" (Rect: both at once) move
    /// and resize the visible frame through one _NET_MOVERESIZE_WINDOW each (sizes within the client's
    /// WM_NORMAL_HINTS, as an application would allow them), after taking away a maximised or full-screen state,
    /// and return once the window manager has applied them (or refused: at most some 100 ms, 250 more to leave a
    /// maximised state); a frame that is already what was asked sends nothing. They return at once, without
    /// waiting, when no window manager runs (no live _NET_SUPPORTING_WM_CHECK) and after a request about the
    /// window went unanswered, until the window's frame changes. False for anything else or a window that has
    /// gone.
    bool setAttribute(const Element& element, const QString& name, const AXValue& value);
    /// "AXRaise": switches to the window's workspace when it is on another one, restacks it on top
    /// (_NET_RESTACK_WINDOW) and activates it with _NET_ACTIVE_WINDOW (source: pager, a real server timestamp),
    /// which also un-minimises it.
    bool performAction(const Element& element, const QString& action);
    /// The X window id of a window element, or 0.
    std::uint32_t windowNumber(const Element& element);
    /// How many bounded waits for the window manager ran to their end.
    std::size_t waitsRunOut() const { return waitsRunOut_; }

    /// Raises the process's most recent window as "AXRaise" does: the one last raised here while it is still
    /// managed (its raise may not have reached the window manager yet), else the process's front-most normal,
    /// dialog or utility window. False when the process has none.
    bool activateApplication(std::int32_t pid);

private:
    void raise(const ClientWindow& window);
    /// The window without its maximised and full-screen states, read again once they have gone; nothing once it
    /// has vanished.
    std::optional<ClientWindow> restored(const ClientWindow& window);
    /// Asks for `target` (the visible frame, X pixels; its size only with `resize`, else the window keeps its own)
    /// and waits, bounded, until the window manager has applied it.
    void moveResize(const ClientWindow& window, const Rect& target, bool resize);
    /// An EWMH window manager runs: _NET_SUPPORTING_WM_CHECK names a window that names itself.
    bool managerRunning();
    /// Whether an answer about `window` is to be waited for: a window manager runs and has not left the last
    /// request about the window unanswered (the window's frame has changed since, if it did).
    bool worthWaiting(const ClientWindow& window);
    /// Waits, bounded, until `done`; a wait that runs out marks the window as one the window manager does not answer.
    template <typename Done> bool waitOrRemember(const ClientWindow& window, int ms, Done done);

    X11Clients& clients_;
    std::map<std::int32_t, xcb_window_t> lastRaised_;
    /// Windows whose last request went unanswered, with their frame then.
    std::map<xcb_window_t, Rect> unanswered_;
    std::size_t waitsRunOut_ = 0;
};

} // namespace tillory::platform::nix
