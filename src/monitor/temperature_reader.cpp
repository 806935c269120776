#include "monitor/temperature_reader.h"

namespace tillory::monitor {

namespace {

// Readings outside this open range come from absent or faulty sensors.
constexpr double kMinPlausible = 0;
constexpr double kMaxPlausible = 130;

bool plausible(const platform::TemperatureReading& reading) {
    return reading.celsius && *reading.celsius > kMinPlausible && *reading.celsius < kMaxPlausible;
}

bool onDie(const platform::TemperatureReading& reading) {
    return reading.product.contains(QLatin1String("tdie"), Qt::CaseInsensitive);
}

} // namespace

TemperatureReader::TemperatureReader(platform::SystemCounters& counters) : counters_(counters) {}

std::optional<double> TemperatureReader::currentTemperature() {
    const auto readings = counters_.temperatures();

    double dieSum = 0;
    int dieCount = 0;
    std::optional<double> hottest;
    for (const auto& reading : readings) {
        if (!plausible(reading)) {
            continue;
        }
        if (onDie(reading)) {
            dieSum += *reading.celsius;
            ++dieCount;
        }
        if (!hottest || *reading.celsius > *hottest) {
            hottest = reading.celsius;
        }
    }
    if (dieCount > 0) {
        return dieSum / dieCount;
    }
    return hottest;
}

} // namespace tillory::monitor
