#pragma once

#include "platform/api/power.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace tillory::monitor {

enum class ThermalLevel : int { nominal = 0, fair = 1, serious = 2, critical = 3 };

/// The level for a raw value; nothing outside 0...3.
std::optional<ThermalLevel> thermalLevel(int raw);
/// Every level, in order.
std::vector<ThermalLevel> allThermalLevels();

struct PowerStats {
    bool isPresent = false;
    double charge = 0; ///< 0...1
    bool isCharging = false;
    double watts = 0;       ///< battery power flow, sign dropped
    int timeRemaining = -1; ///< minutes to full while charging, else to empty; -1 unknown
    ThermalLevel thermal = ThermalLevel::nominal;
    friend bool operator==(const PowerStats&, const PowerStats&) = default;
};

struct FanStats {
    int index = 0;
    int rpm = 0;
    int minRPM = 0;
    int maxRPM = 0;
    friend bool operator==(const FanStats&, const FanStats&) = default;
};

/// Battery, power draw, thermal pressure and fans. Owned by the sampling thread and called only from it; reports
/// no errors, only neutral values.
class PowerSampler {
public:
    PowerSampler(platform::PowerSources& sources, platform::Smc& smc);
    ~PowerSampler();
    PowerSampler(const PowerSampler&) = delete;
    PowerSampler& operator=(const PowerSampler&) = delete;

    std::optional<PowerStats> samplePower();
    /// The fans in index order; empty without a controller.
    std::vector<FanStats> sampleFans();

    /// The four-character key or type code, folded big-endian from the first four UTF-8 bytes.
    static std::uint32_t fourCC(const QString& key);
    /// A value as the controller stores it: "flt " (native float), "fpe2" (big-endian 14.2 fixed point) or a
    /// big-endian unsigned integer of up to 8 bytes.
    static double decode(const std::uint8_t* bytes, std::size_t count, std::uint32_t type);

private:
    struct Reading {
        double value = 0;
        std::uint32_t type = 0;
    };

    platform::SmcClient* connection();
    std::optional<platform::SmcClient::Record> smcCall(platform::SmcClient& client,
                                                       const platform::SmcClient::Record& input);
    std::optional<Reading> smcRead(platform::SmcClient& client, const QString& key);
    double batteryWatts();

    platform::PowerSources& sources_;
    platform::Smc& smc_;
    std::unique_ptr<platform::SmcClient> smcConn_;
    bool smcOpened_ = false;
};

} // namespace tillory::monitor
