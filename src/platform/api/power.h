#pragma once

#include "platform/api/subscription.h"

#include <QVariantMap>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tillory::platform {

/// A subscription to power-source changes, and how much of them it hears.
struct PowerChanges {
    /// Ends the notifications when destroyed; nothing where the platform cannot tell of any change.
    SubscriptionPtr subscription;
    /// New charge levels are told too; false where only plugging and unplugging are.
    bool levels = false;
};

/// Batteries, power adapters and the machine's thermal pressure. Descriptions are string-keyed dictionaries with
/// the keys the power readings are written against ("Type" with "InternalBattery" for the battery, "Current
/// Capacity", "Max Capacity", "Is Charging", "Time to Full Charge", "Time to Empty", and "Power Source State"
/// ("AC Power" or "Battery Power") where the backend can tell; the battery entry's
/// "Voltage" in millivolts and "Amperage"/"InstantAmperage" in milliamperes); a backend maps its own sources onto
/// them. Called from the sampling thread; the battery notices also list the sources on the main thread, so a
/// backend's `powerSources` must be safe beside the sampling thread (the Linux one only reads files).
class PowerSources {
public:
    virtual ~PowerSources() = default;
    /// Every power source in order; an entry is nothing when its description cannot be read. Nothing at all when
    /// the list cannot be copied.
    virtual std::optional<std::vector<std::optional<QVariantMap>>> powerSources() = 0;
    /// The battery's own measurements; nothing without a battery.
    virtual std::optional<QVariantMap> batteryProperties() = 0;
    /// 0 nominal, 1 fair, 2 serious, 3 critical.
    virtual int thermalState() = 0;
    /// Calls `onChange` on the main thread, after the event, whenever a power source changes (plugged, unplugged,
    /// and where `levels` says so a new charge level). Called on the main thread. No subscription where the
    /// platform cannot tell.
    virtual PowerChanges observeChanges(std::function<void()> onChange) {
        (void)onChange;
        return {};
    }
};

/// An open conversation with the system management controller: 80-byte records in, 80-byte records out (key,
/// key info, result, command and a 32-byte big-endian value at the offsets the fan readings use).
class SmcClient {
public:
    using Record = std::array<std::uint8_t, 80>;
    virtual ~SmcClient() = default;
    /// One call of the controller's record method; nothing when the call itself fails.
    virtual std::optional<Record> call(const Record& input) = 0;
};

/// The system management controller, or something that answers like it (fan speeds) where there is none.
class Smc {
public:
    virtual ~Smc() = default;
    /// Opens a client; nothing when there is no controller or it refuses. The client closes when destroyed.
    virtual std::unique_ptr<SmcClient> open() = 0;
};

} // namespace tillory::platform
