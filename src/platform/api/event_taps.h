#pragma once

#include "platform/api/event.h"
#include "platform/api/subscription.h"

#include <QString>

#include <memory>
#include <vector>

namespace tillory::platform {

/// A key a feature acts on while nobody is in a session with it: the key with exactly `flags` held, or, with
/// `otherFlagsAllowed`, with `flags` and any other modifiers too. `onlyInApps` limits it to the front application
/// having one of these identifiers (empty: everywhere).
struct KeyTrigger {
    int keyCode = 0;
    std::uint64_t flags = 0;
    bool otherFlagsAllowed = false;
    std::vector<QString> onlyInApps;
    friend bool operator==(const KeyTrigger&, const KeyTrigger&) = default;
};

/// A live event tap. Destroying it detaches it: no callback runs afterwards.
class EventTap {
public:
    virtual ~EventTap() = default;
    /// Switches delivery on or off; the system may also switch a tap off by itself.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;

    /// False where the platform hands events to their target before the tap hears of them: the callback's answer
    /// then changes nothing, and a caller that wanted to swallow something must cope with it having arrived.
    virtual bool swallowsEvents() const { return true; }

    /// Where the platform shows a program only the keys it asks for, these are the keys the tap must see
    /// (replacing the previous list). A tap that sees every key anyway ignores them.
    virtual void setTriggers(std::vector<KeyTrigger> triggers) { (void)triggers; }
    /// While capturing, the tap sees every key (an open palette, the cleaning lock). Answers false when the
    /// platform refused; a tap that always sees every key answers true.
    virtual bool setCapturing(bool capturing) {
        (void)capturing;
        return true;
    }
};

/// System-wide input observation and synthesized input. Main thread: every callback runs there.
class EventTaps {
public:
    virtual ~EventTaps() = default;

    /// An active session tap at the head of the list for the event types in `mask`, enabled and attached to the
    /// main loop. Nothing without accessibility trust or when the system refuses. Notices of a disabled tap
    /// arrive through the same callback as `TapDisabledByTimeout` or `TapDisabledByUserInput`.
    virtual std::unique_ptr<EventTap> createTap(std::uint64_t mask, EventCallback callback) = 0;
    /// Whether a tap may ever see the pointer over other programs' windows. False where the desktop tells a
    /// program only about the pointer over its own surfaces (Wayland): taps on mouse events are then never made,
    /// whatever trust is granted.
    virtual bool seesPointer() const { return true; }

    /// Posts a synthesized event at the hardware level; it reaches the front application as if typed. Returns
    /// false when the event could not be created.
    virtual bool post(const Event& event) = 0;

    /// The modifier flags held right now.
    virtual std::uint64_t currentFlags() const = 0;

    /// Calls `onClick` on the main thread for every mouse-down of the types in `mask` that another application
    /// receives. Location in global top-left space.
    virtual SubscriptionPtr monitorClicksElsewhere(std::uint64_t mask, std::function<void(const Event&)> onClick) = 0;
    /// Same for mouse-downs in this program's own windows; `window` is the platform's id of the window clicked.
    virtual SubscriptionPtr monitorOwnClicks(std::uint64_t mask,
                                             std::function<void(const Event&, std::uint64_t window)> onClick) = 0;
};

} // namespace tillory::platform
