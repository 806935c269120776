#pragma once

#include "platform/api/power.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace tillory::platform::nix {

// How Linux stands in for the power readings (the one place that documents it):
// - Power sources are /sys/class/power_supply/*. A "Battery" whose scope is not "Device" (so not a mouse or a
//   headset) and whose present is not 0 (an empty bay) is one of the machine's batteries, and the first of them
//   in name order is the internal battery: "Current Capacity" = capacity (percent), "Max Capacity" = 100, "Is
//   Charging" = status "Charging", "Time to Full Charge" / "Time to Empty" in minutes from energy (or charge)
//   now, full and the power (or current) flowing, when the driver reports them. A "Mains" supply is listed with
//   "Type" "AC Power". Where a Mains or USB input of the machine reports online, the batteries also carry
//   "Power Source State": "AC Power" when any of them is online, else "Battery Power".
// - Change events: UPower's signals on the system bus when it runs, else the kernel's power_supply uevents, which
//   tell plugging but not reliably each new charge level; the readings themselves always come from sysfs.
// - The battery's measurements: "Voltage" = voltage_now in millivolts, "Amperage" = current_now in milliamperes,
//   or, from drivers that report power_now instead, power over voltage.
// - Thermal pressure from /sys/class/thermal: a zone at or above a critical trip point is critical (3), at or
//   above a passive or hot trip point serious (2), within 10 °C of one fair (1); otherwise nominal (0).
// - The fan controller is hwmon: every fanN_input of /sys/class/hwmon/* in order is fan index 0, 1, …; the
//   controller's keys "FNum", "F<i>Ac", "F<i>Mn", "F<i>Mx" answer the fan count, fanN_input, fanN_min and
//   fanN_max as single-precision floats ("flt ").

/// The readings below, each from the attributes of one sysfs folder, so they can be checked without a tree.
/// `read` answers an attribute's contents ("capacity", "trip_point_0_type", …), nothing when it is missing.
namespace sysfs {
using AttributeReader = std::function<std::optional<QByteArray>(const QString& attribute)>;
/// A one-value attribute as a signed 64-bit decimal; nothing when missing or anything else.
std::optional<qint64> integer(const std::optional<QByteArray>& text);
/// A battery of the machine (not a mouse's or a headset's, not an empty bay).
bool isMachineBattery(const AttributeReader& read);
/// Whether a Mains or USB input of the machine (not a device's own) has power; nothing for other supplies and
/// for inputs that do not report online.
std::optional<bool> externalPower(const AttributeReader& read);
/// A supply's description with the keys the power readings use; nothing when it has no type.
std::optional<QVariantMap> describeSupply(const AttributeReader& read);
/// The battery's "Voltage" (mV) and "Amperage" (mA), each absent when it cannot be told.
QVariantMap batteryMeasurements(const AttributeReader& read);
/// A thermal zone's pressure, 0 nominal to 3 critical.
int zoneLevel(const AttributeReader& read);
/// The fan controller's answer to one record, for `fanCount` fans whose files `readFan` answers ("input", "min",
/// "max" of fan index 0, 1, …).
SmcClient::Record answerFanRecord(const SmcClient::Record& input, int fanCount,
                                  const std::function<std::optional<QByteArray>(int fan, const char* file)>& readFan);
} // namespace sysfs

/// Power sources, battery measurements and thermal pressure from sysfs under `sysRoot`.
class SysfsPowerSources final : public PowerSources {
public:
    explicit SysfsPowerSources(QString sysRoot = QStringLiteral("/sys"));
    std::optional<std::vector<std::optional<QVariantMap>>> powerSources() override;
    std::optional<QVariantMap> batteryProperties() override;
    int thermalState() override;
    PowerChanges observeChanges(std::function<void()> onChange) override;

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
