#include "monitor/memory_sampler.h"

#include <algorithm>

namespace tillory::monitor {

namespace {

// Only a lower bound: the page counters are sampled at slightly different moments and may overshoot together.
double atLeastZero(double value) {
    return value <= 0 ? 0.0 : value;
}

} // namespace

MemorySampler::MemorySampler(platform::SystemCounters& counters)
    : counters_(counters), totalBytes_(counters.physicalMemory()) {}

MemoryStats MemorySampler::sample() {
    MemoryStats stats;
    stats.totalBytes = totalBytes_;

    const auto vm = counters_.vmStatistics();
    if (vm && totalBytes_ > 0) {
        const double page = static_cast<double>(vm->pageSize);
        const double total = static_cast<double>(totalBytes_);
        const auto share = [&](double pages) { return atLeastZero(pages * page / total); };
        // In doubles, so purgeable pages outnumbering anonymous ones give a negative share rather than a wrap.
        stats.app = share(static_cast<double>(vm->internalPages) - static_cast<double>(vm->purgeablePages));
        stats.wired = share(static_cast<double>(vm->wiredPages));
        stats.compressed = share(static_cast<double>(vm->compressorPages));
        stats.cached = share(static_cast<double>(vm->externalPages));
        stats.used = std::min(stats.app + stats.wired + stats.compressed, 1.0);
    }

    if (const auto swap = counters_.swapUsage()) {
        stats.swapUsed = swap->usedBytes;
        stats.swapTotal = swap->totalBytes;
    }
    return stats;
}

} // namespace tillory::monitor
