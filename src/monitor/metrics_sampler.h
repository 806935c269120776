#pragma once

#include "monitor/cpu_sampler.h"
#include "monitor/graphics_sampler.h"
#include "monitor/io_sampler.h"
#include "monitor/memory_sampler.h"
#include "monitor/metric_stats.h"
#include "monitor/power_sampler.h"
#include "monitor/process_sampler.h"
#include "monitor/temperature_reader.h"

#include <QJsonArray>
#include <QJsonObject>

#include <optional>
#include <vector>

namespace tillory::monitor {

/// One system reading.
struct MetricsSnapshot {
    CPUStats cpu;
    MemoryStats memory;
    std::optional<GPUStats> gpu;
    DiskStats disk;
    NetStats network;
    std::optional<PowerStats> power;
    std::vector<FanStats> fans; ///< the last fan list read
    double temperature = 0;     ///< the last valid temperature, °C; 0 until one was read
    friend bool operator==(const MetricsSnapshot&, const MetricsSnapshot&) = default;
};

/// Owns every sampler and assembles the readings; runs on the sampling thread only, one call at a time.
class MetricsSampler {
public:
    MetricsSampler(platform::SystemCounters& counters, platform::PowerSources& power, platform::Smc& smc);

    /// One system tick. Temperature and fans, the slow readings, are taken on every other tick (the first
    /// included) and kept in between.
    MetricsSnapshot sampleSystem();
    /// One process tick; nothing on the first tick after `resetProcesses`.
    std::optional<std::vector<ProcessSample>> sampleProcesses(const AppMap& apps, int coreCount);
    /// A new process run starts from scratch.
    void resetProcesses() { processes_.reset(); }

private:
    CPUSampler cpu_;
    MemorySampler memory_;
    GraphicsSampler graphics_;
    IOSampler io_;
    PowerSampler power_;
    TemperatureReader temperature_;
    ProcessSampler processes_;
    int slowTick_ = 0;
    double lastTemperature_ = 0;
    std::vector<FanStats> lastFans_;
};

/// The snapshot with the records' own field names (`cpu.total`, `memory.used`, `disk.volumes[].name`, …); an
/// absent GPU or power reading is null.
QJsonObject snapshotToJson(const MetricsSnapshot& snapshot);
/// The process list with its fields and `memoryText` for the given physical memory size.
QJsonArray processesToJson(const std::vector<ProcessSample>& processes, std::uint64_t physicalMemoryBytes);

} // namespace tillory::monitor
