#pragma once

#include "platform/api/power.h"

#include <QString>

namespace tillory::platform::nix {

// How Linux stands in for the power readings (the one place that documents it):
// - Power sources are /sys/class/power_supply/*. A "Battery" whose scope is not "Device" (so not a mouse or a
//   headset) is the internal battery: "Current Capacity" = capacity (percent), "Max Capacity" = 100, "Is
//   Charging" = status "Charging", "Time to Full Charge" / "Time to Empty" in minutes from energy (or charge)
//   now, full and the power (or current) flowing, when the driver reports them. A "Mains" supply is listed with
//   "Type" "AC Power".
// - The battery's measurements: "Voltage" = voltage_now in millivolts, "Amperage" = current_now in milliamperes,
//   or, from drivers that report power_now instead, power over voltage.
// - Thermal pressure from /sys/class/thermal: a zone at or above a critical trip point is critical (3), at or
//   above a passive or hot trip point serious (2), within 10 °C of one fair (1); otherwise nominal (0).
// - The fan controller is hwmon: every fanN_input of /sys/class/hwmon/* in order is fan index 0, 1, …; the
//   controller's keys "FNum", "F<i>Ac", "F<i>Mn", "F<i>Mx" answer the fan count, fanN_input, fanN_min and
//   fanN_max as single-precision floats ("flt ").

/// Power sources, battery measurements and thermal pressure from sysfs under `sysRoot`.
class SysfsPowerSources final : public PowerSources {
public:
    explicit SysfsPowerSources(QString sysRoot = QStringLiteral("/sys"));
    std::optional<std::vector<std::optional<QVariantMap>>> powerSources() override;
    std::optional<QVariantMap> batteryProperties() override;
    int thermalState() override;

private:
    QString batteryPath() const;
    QString root_;
};

/// The fan controller stand-in over hwmon under `sysRoot`.
class HwmonSmc final : public Smc {
public:
    explicit HwmonSmc(QString sysRoot = QStringLiteral("/sys"));
    /// Nothing without a sysfs to read; a machine without fans answers a fan count of 0.
    std::unique_ptr<SmcClient> open() override;

private:
    QString root_;
};

} // namespace tillory::platform::nix
