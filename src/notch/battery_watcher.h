#pragma once

#include "core/scheduler.h"
#include "notch/now_playing.h"
#include "platform/api/power.h"

#include <QObject>

#include <optional>

namespace tillory::notch {

/// Turns power-source changes into notch notices: plugged in, unplugged, and low battery at 20 % and 10 % (each
/// once until the next charge). Where the platform does not tell of new charge levels, the power state is read
/// again every minute while on battery, and also while charging where it tells of no change at all. Main thread.
class BatteryWatcher final : public QObject {
    Q_OBJECT
public:
    static constexpr double kPollInterval = 60;

    BatteryWatcher(platform::PowerSources& power, core::Scheduler& scheduler, QObject* parent = nullptr);
    ~BatteryWatcher() override;

    /// Starts listening for changes and learns the current state silently. Does nothing when already started.
    void start();
    /// Stops listening and re-reading, and drops a notice still waiting; the flags and the last plug state stay.
    void stop();
    bool isStarted() const { return started_; }
    /// Re-reading the power state on a timer.
    bool isPolling() const { return pollTimer_ != nullptr; }

    /// Reads the power state and updates the flags, emitting notices only when `announceChanges`. A warning that
    /// comes with a plug notice follows it once the notch has shown it.
    void check(bool announceChanges);

    /// On external power at the last check; nothing before a usable battery was seen.
    std::optional<bool> lastCharging() const { return lastCharging_; }
    bool warnedAt20() const { return warnedAt20_; }
    bool warnedAt10() const { return warnedAt10_; }

    struct Reading {
        qint64 percent = 0; // 0–100
        bool charging = false;
    };
    /// The machine's own battery, nothing when there is none with usable capacities.
    static std::optional<Reading> read(platform::PowerSources& power);

Q_SIGNALS:
    /// A notice for the notch (the `events` stream; QObject::event is taken).
    void batteryEvent(const tillory::notch::TransportHUD& hud);

private:
    void updatePolling();

    platform::PowerSources& power_;
    core::Scheduler& scheduler_;
    platform::SubscriptionPtr runLoopSource_;
    bool started_ = false;
    /// The platform tells of new charge levels, not only of plugging.
    bool hearsLevels_ = false;
    core::TimerPtr pollTimer_;
    /// A warning waiting for the plug notice before it to have its time.
    core::TimerPtr laterNotice_;
    std::optional<bool> lastCharging_;
    bool warnedAt20_ = false;
    bool warnedAt10_ = false;
};

} // namespace tillory::notch
