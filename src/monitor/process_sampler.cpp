#include "monitor/process_sampler.h"

#include <algorithm>

namespace tillory::monitor {

namespace {

constexpr double kNanosPerSecond = 1e9;

constexpr auto byPid = [](const auto& a, const auto& b) { return a.pid < b.pid; };

} // namespace

ProcessSampler::ProcessSampler(platform::SystemCounters& counters) : counters_(counters) {}

void ProcessSampler::reset() {
    previous_.clear();
    previousSampleTime_ = 0;
}

const ProcessSampler::Previous* ProcessSampler::previousOf(std::int32_t pid) const {
    const auto it = std::lower_bound(previous_.begin(), previous_.end(), Previous{pid, 0, 0, {}}, byPid);
    return it != previous_.end() && it->pid == pid ? &*it : nullptr;
}

QString ProcessSampler::nameOf(std::int32_t pid, const AppMap& apps, bool& isApp) {
    const auto app = apps.find(pid);
    isApp = app != apps.end() && app->second.isApp;
    if (app != apps.end() && !app->second.name.isEmpty()) {
        return app->second.name;
    }
    return counters_.processName(pid);
}

std::optional<ProcessSample> ProcessSampler::measure(std::int32_t pid, const AppMap& apps, const Interval& interval) {
    const auto usage = counters_.processUsage(pid);
    std::uint64_t diskBytes = 0;
    if (!usage || __builtin_add_overflow(usage->diskBytesRead, usage->diskBytesWritten, &diskBytes)) {
        return std::nullopt;
    }
    ProcessSample sample;
    sample.pid = pid;
    const Previous* before = previousOf(pid);
    // CPU time never decreases for one process, so a smaller value means the pid now belongs to another.
    const bool sameProcess = before && usage->cpuTimeNanos >= before->cpuTimeNanos;
    sample.commandLine = sameProcess ? before->commandLine : counters_.processCommandLine(pid);
    current_.push_back({pid, usage->cpuTimeNanos, diskBytes, sample.commandLine});
    if (sameProcess && interval.nanos > 0) {
        const auto cpuNanos = static_cast<double>(usage->cpuTimeNanos - before->cpuTimeNanos);
        sample.cpu = std::min(cpuNanos / interval.nanos / interval.cores * 100.0, 100.0);
        if (diskBytes >= before->diskBytes) {
            sample.disk = static_cast<double>(diskBytes - before->diskBytes) / (interval.nanos / kNanosPerSecond);
        }
    }
    if (interval.physicalMemory > 0) {
        sample.memory = static_cast<double>(usage->physicalFootprintBytes) / interval.physicalMemory * 100.0;
    }
    sample.name = nameOf(pid, apps, sample.isApp);
    return sample;
}

std::optional<std::vector<ProcessSample>> ProcessSampler::sample(const AppMap& apps, int coreCount) {
    const std::uint64_t now = counters_.monotonicNanos();
    // A clock that went backwards gives no usable interval: the call then counts as a first one.
    const std::uint64_t elapsed =
        previousSampleTime_ != 0 && now >= previousSampleTime_ ? now - previousSampleTime_ : 0;

    const auto pids = counters_.processIds();
    if (!pids || pids->empty()) {
        return elapsed > 0 ? std::optional(std::vector<ProcessSample>()) : std::nullopt;
    }

    const std::size_t count = std::min(kMaxProcesses, pids->size());
    const Interval interval{static_cast<double>(elapsed), static_cast<double>(std::max(coreCount, 1)),
                            static_cast<double>(counters_.physicalMemory())};
    std::vector<ProcessSample> samples;
    samples.reserve(count);
    current_.clear();
    current_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t pid = (*pids)[i];
        if (pid < 1) {
            continue;
        }
        auto sample = measure(pid, apps, interval);
        if (sample && !sample->name.isEmpty()) {
            samples.push_back(std::move(*sample));
        }
    }

    std::sort(current_.begin(), current_.end(), byPid);
    std::swap(previous_, current_);
    previousSampleTime_ = now;
    if (elapsed == 0) {
        return std::nullopt;
    }
    return samples;
}

} // namespace tillory::monitor
