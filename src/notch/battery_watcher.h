#pragma once

#include "core/scheduler.h"
#include "notch/now_playing.h"
#include "platform/api/power.h"

#include <QObject>

#include <optional>

namespace tillory::notch {

/// Turns power-source changes into notch notices: plugged in, unplugged, and low battery at 20 % and 10 %.
/// Main thread.
class BatteryWatcher final : public QObject {
    Q_OBJECT
public:
    BatteryWatcher(platform::PowerSources& power, core::Scheduler& scheduler, QObject* parent = nullptr);
    ~BatteryWatcher() override;

    /// Starts listening for changes and learns the current state silently. Does nothing when already started,
    /// and stays stopped where the platform cannot tell of changes.
    void start();
    /// Stops listening; the flags and the last plug state stay.
    void stop();
    bool isStarted() const { return runLoopSource_ != nullptr; }

    /// Reads the power state and updates the flags, emitting notices only when `announceChanges`.
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
    platform::PowerSources& power_;
    core::Scheduler& scheduler_;
    platform::SubscriptionPtr runLoopSource_;
    std::optional<bool> lastCharging_;
    bool warnedAt20_ = false;
    bool warnedAt10_ = false;
};

} // namespace tillory::notch
