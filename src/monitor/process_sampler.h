#pragma once

#include "monitor/process_sample.h"
#include "platform/api/system_counters.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tillory::monitor {

/// Every process's share of the machine since the previous call. Sampling thread only.
class ProcessSampler {
public:
    static constexpr std::size_t kMaxProcesses = 4096;

    explicit ProcessSampler(platform::SystemCounters& counters);

    /// The named processes in process-list order. Nothing on the first call after construction or `reset` (there
    /// is no interval yet) and when the clock went backwards; an empty list when the process list is unreadable.
    /// `apps` names the running applications; `coreCount` is the active processor count (0 counts as 1).
    std::optional<std::vector<ProcessSample>> sample(const AppMap& apps, int coreCount);

    /// Forgets the previous call, so the next one starts a new interval.
    void reset();

private:
    struct Previous {
        std::int32_t pid = 0;
        std::uint64_t cpuTimeNanos = 0;
        std::uint64_t diskBytes = 0;
        /// Read once per process: it does not change while the process lives.
        QString commandLine{};
    };

    struct Interval {
        double nanos = 0; ///< 0 when there is no previous call
        double cores = 1;
        double physicalMemory = 0; ///< bytes; 0 when unknown
    };

    const Previous* previousOf(std::int32_t pid) const;
    /// Reads one process and records its counters for the next call; nothing when it cannot be inspected.
    std::optional<ProcessSample> measure(std::int32_t pid, const AppMap& apps, const Interval& interval);
    QString nameOf(std::int32_t pid, const AppMap& apps, bool& isApp);

    platform::SystemCounters& counters_;
    std::vector<Previous> previous_; // sorted by pid
    std::vector<Previous> current_;  // scratch swapped with previous_, so steady sampling keeps its buffers
    std::uint64_t previousSampleTime_ = 0;
};

} // namespace tillory::monitor
