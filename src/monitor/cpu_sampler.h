#pragma once

#include "monitor/metric_stats.h"
#include "platform/api/system_counters.h"

#include <optional>
#include <vector>

namespace tillory::monitor {

/// Turns the cumulative processor counters into busy shares over the interval since the previous call. The first
/// call (and the first after the processor count changes) reports zeros. Sampling thread only.
class CPUSampler {
public:
    explicit CPUSampler(platform::SystemCounters& counters);

    /// Shares of the interval since the previous call; zeros where a counter read failed.
    CPUStats sample();

private:
    struct Ticks {
        double user = 0;
        double system = 0;
        double idle = 0;
        double nice = 0;
        friend bool operator==(const Ticks&, const Ticks&) = default;
    };
    static Ticks toTicks(const platform::CpuTicks& raw);

    std::optional<Ticks> aggregateTicks();
    std::vector<double> perCoreBusy();

    platform::SystemCounters& counters_;
    std::optional<Ticks> prevAggregate_;
    std::vector<Ticks> prevCores_;
    std::vector<Ticks> newCores_; // scratch swapped with prevCores_, so steady sampling keeps its buffers
};

} // namespace tillory::monitor
