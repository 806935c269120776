#pragma once

#include "platform/api/accessibility.h"
#include "platform/wayland/sway_ipc.h"
#include "platform/wayland/sway_tree.h"
#include "platform/wayland/sway_window_list.h"

#include <cstdint>
#include <map>
#include <optional>

namespace tillory::platform::nix {

/// Application and window elements of a sway session, answered from its tree over the IPC: what the accessibility
/// interface's "AXWindows" and "AXFocusedWindow" stand for, their title, frame, scratchpad state, moves and
/// raising. Each element carries its container id (`windowNumber`). Every call reads the tree afresh; nothing is
/// waited for, since sway has applied a command to its tree by the time it answers. Main thread.
class SwayWindowElements {
public:
    SwayWindowElements(SwayIpc& ipc, SwayFocusHistory& history);

    /// True for elements this class made.
    static bool owns(const Element& element);

    /// The application with that process, when it has a view; nothing otherwise.
    Element application(std::int32_t pid);

    /// On an application: "AXWindows" (its views, front to back, those of other workspaces and the scratchpad
    /// included) and "AXFocusedWindow" (the focused view when it is the application's, else its front-most visible
    /// one). On a window: "AXTitle", "AXRole" ("AXWindow"), "AXMinimized" (hidden in the scratchpad), "AXPosition"
    /// and "AXSize" (the frame, title bar included, global top-left layout coordinates). Nothing once the window is
    /// gone, and for other names.
    AXValue attribute(const Element& element, const QString& name);
    /// "AXPosition" (Point), "AXSize" (Size) and "AXFrame" (Rect: both) in one command that makes the window
    /// floating (and ends full screen), resizes it, then moves it: `resize set` re-centres a floating window, so the
    /// move comes last. Sizes are whole layout pixels within sway's floating limits (75×50 up to the layout's
    /// size by default), so what is read back is what was written unless it fell outside them. "AXMinimized" true
    /// moves the window to the scratchpad, false shows it from there. False for anything else, a window that has
    /// gone, or a command sway refused.
    bool setAttribute(const Element& element, const QString& name, const AXValue& value);
    /// "AXRaise": `[con_id=N] focus`, which switches to the window's workspace and raises a floating window.
    bool performAction(const Element& element, const QString& action);
    /// The container id of a window element, or 0.
    std::uint32_t windowNumber(const Element& element);

    /// Raises the process's most recent window as "AXRaise" does: the one last raised here while it still exists,
    /// else the process's front-most view. False when the process has none.
    bool activateApplication(std::int32_t pid);

private:
    std::optional<SwayWindow> find(std::uint32_t window);
    bool raise(const SwayWindow& window);

    SwayIpc& ipc_;
    SwayFocusHistory& history_;
    std::map<std::int32_t, std::uint32_t> lastRaised_;
};

} // namespace tillory::platform::nix
