#pragma once

#include "monitor/metric_stats.h"
#include "platform/api/system_counters.h"

#include <optional>

namespace tillory::monitor {

/// The busiest graphics accelerator's utilization and memory in use. Sampling thread only.
class GraphicsSampler {
public:
    explicit GraphicsSampler(platform::SystemCounters& counters);

    /// Nothing when no accelerator reports a utilization.
    std::optional<GPUStats> sample();

private:
    platform::SystemCounters& counters_;
};

} // namespace tillory::monitor
