#pragma once

#include "platform/api/system_counters.h"

#include <optional>

namespace tillory::monitor {

/// The processor's temperature: the mean of the die sensors, else the hottest sensor. Sampling thread only.
class TemperatureReader {
public:
    explicit TemperatureReader(platform::SystemCounters& counters);

    /// Degrees Celsius; nothing when no sensor gives a plausible reading.
    std::optional<double> currentTemperature();

private:
    platform::SystemCounters& counters_;
};

} // namespace tillory::monitor
