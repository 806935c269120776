#include "monitor/graphics_sampler.h"

#include <algorithm>

namespace tillory::monitor {

GraphicsSampler::GraphicsSampler(platform::SystemCounters& counters) : counters_(counters) {}

std::optional<GPUStats> GraphicsSampler::sample() {
    const auto accelerators = counters_.accelerators();
    if (!accelerators) {
        return std::nullopt;
    }
    std::optional<GPUStats> busiest;
    for (const auto& statistics : *accelerators) {
        // Drivers name the same figures differently; the first key is the newer one.
        const auto percent =
            statistics.deviceUtilizationPercent ? statistics.deviceUtilizationPercent : statistics.gpuActivityPercent;
        if (!percent) {
            continue;
        }
        const std::int64_t memory = statistics.inUseSystemMemory.value_or(statistics.vramUsedBytes.value_or(0));
        const double utilization = std::clamp(static_cast<double>(*percent) / 100.0, 0.0, 1.0);
        // Strictly greater: on a tie the accelerator listed first stays.
        if (!busiest || utilization > busiest->utilization) {
            busiest = GPUStats{utilization, memory > 0 ? static_cast<std::uint64_t>(memory) : 0};
        }
    }
    return busiest;
}

} // namespace tillory::monitor
