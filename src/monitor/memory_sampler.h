#pragma once

#include "monitor/metric_stats.h"
#include "platform/api/system_counters.h"

#include <cstdint>

namespace tillory::monitor {

/// Memory use as fractions of physical memory, plus swap. Sampling thread only.
class MemorySampler {
public:
    /// Reads the physical memory size once; it does not change while the machine runs.
    explicit MemorySampler(platform::SystemCounters& counters);

    /// Zero fractions when the statistics cannot be read or the memory size is unknown; zero swap when swap
    /// usage cannot be read.
    MemoryStats sample();

    std::uint64_t totalBytes() const { return totalBytes_; }

private:
    platform::SystemCounters& counters_;
    std::uint64_t totalBytes_ = 0;
};

} // namespace tillory::monitor
