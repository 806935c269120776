#pragma once

#include "platform/api/event.h"
#include "platform/api/subscription.h"

#include <functional>

namespace tillory::platform::nix {

/// Mouse-down observation for the event taps: clicks other applications receive, seen through XInput 2 raw
/// events on a connection of its own (nothing is grabbed, so no click is delayed), and clicks in this program's
/// own windows, seen in Qt's event stream.
class X11ClickMonitors {
public:
    /// Calls `onClick` on the main thread, after the click, for each left or right mouse-down of `mask` outside
    /// this program's windows. A subscription that does nothing when the server has no XInput 2.
    static SubscriptionPtr elsewhere(std::uint64_t mask, std::function<void(const Event&)> onClick);
    /// Calls `onClick` at once for each mouse-down of `mask` in one of this program's windows.
    static SubscriptionPtr own(std::uint64_t mask, std::function<void(const Event&, std::uint64_t window)> onClick);
};

} // namespace tillory::platform::nix
