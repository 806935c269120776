#pragma once

#include "core/scheduler.h"
#include "platform/api/event.h"
#include "platform/api/event_taps.h"

#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

namespace tillory::platform {
class Accessibility;
} // namespace tillory::platform

namespace tillory::keyhub {

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

    /// Appends the handler; creates the tap when possible and starts the watchdog. Never fails. `triggers` are
    /// the keys the handler acts on outside a session, for taps that only see what they ask for.
    QUuid registerHandler(Handler handler, std::vector<platform::KeyTrigger> triggers = {});
    /// Removes every registration with this token, then tears down when nobody is left.
    void unregister(const QUuid& token);

    /// Replaces the registration's triggers (a feature that is switched off asks for no keys).
    void setTriggers(const QUuid& token, std::vector<platform::KeyTrigger> triggers);

    /// A registrant in a session that needs every key (an open palette) says so here. Answers false when the
    /// tap exists and could not capture; the registration keeps working for its triggers either way.
    bool setCapturing(const QUuid& token, bool capturing);

    /// Setting a handler makes it the only one that sees events; clearing it tears down when nobody is left.
    /// The exclusive handler needs every key: when the tap exists and cannot capture them, the handler is not
    /// kept and the answer is false.
    bool setExclusive(std::optional<Handler> handler);
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
        std::vector<platform::KeyTrigger> triggers;
        bool capturing = false;
    };

    void startWatchdog();
    void watchdogTick();
    void tearDownIfIdle();
    bool wantsCapture() const;
    void pushTriggers();
    bool pushCapturing();

    platform::EventTaps& taps_;
    platform::Accessibility& accessibility_;
    core::Scheduler& scheduler_;
    std::vector<Registration> registrations_;
    // One per dispatch in progress (a handler may run a nested event loop that dispatches again): the index of
    // the handler due next in that dispatch.
    std::vector<std::size_t*> dispatches_;
    std::unique_ptr<platform::EventTap> tap_;
    core::TimerPtr watchdog_;
    std::shared_ptr<const Handler> exclusive_;
    bool tapCapturing_ = false;
};

} // namespace tillory::keyhub
