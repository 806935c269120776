#pragma once

#include "core/scheduler.h"
#include "platform/api/event.h"

#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

namespace tillory::platform {
class Accessibility;
class EventTap;
class EventTaps;
} // namespace tillory::platform

namespace tillory::shell {

/// One system-wide keyboard tap shared by every feature. Handlers see key down, key up and modifier changes in
/// registration order; the first that answers nothing swallows the event. The `exclusive` handler, when set, is
/// the only one that sees events. The tap exists only while somebody uses the hub, is re-enabled when the system
/// switches it off, and a 5-second watchdog repairs it. Main thread.
class KeyEventHub {
public:
    using Handler = platform::EventCallback;

    static constexpr std::uint64_t kKeyboardMask = 0x1C00; // key down, key up, flags changed
    static constexpr double kWatchdogInterval = 5.0;

    KeyEventHub(platform::EventTaps& taps, platform::Accessibility& accessibility, core::Scheduler& scheduler);
    ~KeyEventHub();
    KeyEventHub(const KeyEventHub&) = delete;
    KeyEventHub& operator=(const KeyEventHub&) = delete;

    /// The one hub of the process, set by its owner; null before that.
    static KeyEventHub* shared();
    static void setShared(KeyEventHub* hub);

    /// Appends the handler; creates the tap when possible and starts the watchdog. Never fails.
    QUuid registerHandler(Handler handler);
    /// Removes every registration with this token, then tears down when nobody is left.
    void unregister(const QUuid& token);

    /// Setting a handler makes it the only one that sees events; clearing it tears down when nobody is left.
    void setExclusive(std::optional<Handler> handler);
    bool hasExclusive() const { return exclusive_ != nullptr; }

    /// Creates the tap if it is missing and accessibility is granted.
    void ensureTap();

    /// Runs one event through the handlers; what it answers is what the system delivers (nothing: swallowed).
    platform::EventResult dispatch(platform::EventType type, const platform::Event& event);

    bool hasTap() const { return tap_ != nullptr; }
    bool hasWatchdog() const { return watchdog_ != nullptr; }
    bool isInUse() const { return !registrations_.empty() || exclusive_ != nullptr; }
    std::size_t registrationCount() const { return registrations_.size(); }

private:
    struct Registration {
        QUuid id;
        // Shared so that a handler that registers or unregisters while it runs does not destroy itself.
        std::shared_ptr<const Handler> handler;
    };

    void startWatchdog();
    void watchdogTick();
    void tearDownIfIdle();

    platform::EventTaps& taps_;
    platform::Accessibility& accessibility_;
    core::Scheduler& scheduler_;
    std::vector<Registration> registrations_;
    std::size_t nextHandler_ = 0; // while dispatching: index of the handler due next
    std::unique_ptr<platform::EventTap> tap_;
    core::TimerPtr watchdog_;
    std::shared_ptr<const Handler> exclusive_;
};

} // namespace tillory::shell
