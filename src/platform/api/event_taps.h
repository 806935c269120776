#pragma once

#include "platform/api/event.h"

#include <memory>

namespace tillory::platform {

/// A live event tap. Destroying it detaches it: no callback runs afterwards.
class EventTap {
public:
    virtual ~EventTap() = default;
    /// Switches delivery on or off; the system may also switch a tap off by itself.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};

/// System-wide input observation and synthesized input. Main thread: every callback runs there.
class EventTaps {
public:
    virtual ~EventTaps() = default;

    /// An active session tap at the head of the list for the event types in `mask`, enabled and attached to the
    /// main loop. Nothing without accessibility trust or when the system refuses. Notices of a disabled tap
    /// arrive through the same callback as `TapDisabledByTimeout` or `TapDisabledByUserInput`.
    virtual std::unique_ptr<EventTap> createTap(std::uint64_t mask, EventCallback callback) = 0;

    /// Posts a synthesized event at the hardware level; it reaches the front application as if typed. Returns
    /// false when the event could not be created.
    virtual bool post(const Event& event) = 0;

    /// The modifier flags held right now.
    virtual std::uint64_t currentFlags() const = 0;
};

} // namespace tillory::platform
