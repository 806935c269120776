#include "monitor/cpu_sampler.h"

#include <algorithm>

namespace tillory::monitor {

namespace {

double clamp01(double value) {
    if (value <= 0) {
        return 0;
    }
    return std::min(value, 1.0);
}

} // namespace

CPUSampler::CPUSampler(platform::SystemCounters& counters) : counters_(counters) {}

CPUSampler::Ticks CPUSampler::toTicks(const platform::CpuTicks& raw) {
    return {static_cast<double>(raw.user), static_cast<double>(raw.system), static_cast<double>(raw.idle),
            static_cast<double>(raw.nice)};
}

std::optional<CPUSampler::Ticks> CPUSampler::aggregateTicks() {
    const auto raw = counters_.cpuLoad();
    if (!raw) {
        return std::nullopt;
    }
    return toTicks(*raw);
}

CPUStats CPUSampler::sample() {
    CPUStats stats;
    const auto current = aggregateTicks();
    if (current && prevAggregate_) {
        const double dU = current->user - prevAggregate_->user;
        const double dS = current->system - prevAggregate_->system;
        const double dI = current->idle - prevAggregate_->idle;
        const double dN = current->nice - prevAggregate_->nice;
        const double sum = dU + dS + dN + dI;
        if (sum > 0) {
            stats.user = clamp01((dU + dN) / sum);
            stats.system = clamp01(dS / sum);
            stats.total = std::min(stats.user + stats.system, 1.0);
        }
    }
    // A failed read keeps the last good counters, so the next interval is measured from them.
    if (current) {
        prevAggregate_ = current;
    }
    stats.perCore = perCoreBusy();
    return stats;
}

std::vector<double> CPUSampler::perCoreBusy() {
    const auto raw = counters_.processorLoad();
    if (!raw) {
        return std::vector<double>(prevCores_.size(), 0.0);
    }
    newCores_.clear();
    newCores_.reserve(raw->size());
    for (const auto& core : *raw) {
        newCores_.push_back(toTicks(core));
    }

    std::vector<double> busyShares(newCores_.size(), 0.0);
    // A different count means processors came or went: pairing them by position would be meaningless.
    if (newCores_.size() == prevCores_.size()) {
        for (std::size_t i = 0; i < newCores_.size(); ++i) {
            const Ticks& now = newCores_[i];
            const Ticks& before = prevCores_[i];
            const double busy = (now.user - before.user) + (now.system - before.system) + (now.nice - before.nice);
            const double sum = busy + (now.idle - before.idle);
            busyShares[i] = sum > 0 ? clamp01(busy / sum) : 0.0;
        }
    }
    std::swap(prevCores_, newCores_);
    return busyShares;
}

} // namespace tillory::monitor
