#pragma once

#include "core/scheduler.h"
#include "monitor/metrics_sampler.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace tillory::core {
class SerialQueue;
}

namespace tillory::monitor {

/// The system monitor the views observe. Readings are taken on the sampling queue (one job at a time, so the
/// samplers never run concurrently) and published here on the main thread: the latest snapshot, the latest
/// process list and a one-minute history per chart. The system loop ticks at 0 s, 0.6 s, then every second;
/// the process loop, while someone shows a process list, at 0 s, 0.6 s, then every 2 seconds. Main thread.
class SystemMonitor : public QObject {
    Q_OBJECT

public:
    static constexpr int kHistoryCap = 60;
    static constexpr double kSystemInterval = 1.0;
    static constexpr double kProcessInterval = 2.0;
    static constexpr double kSecondTickDelay = 0.6;

    /// `currentApps` answers the running applications (main thread); `coreCount` and `physicalMemory` are read
    /// once by the owner.
    SystemMonitor(std::shared_ptr<MetricsSampler> sampler, core::SerialQueue& queue, core::Scheduler& scheduler,
                  std::function<AppMap()> currentApps, int coreCount, std::uint64_t physicalMemory,
                  QObject* parent = nullptr);
    ~SystemMonitor() override;

    const MetricsSnapshot& snapshot() const { return snapshot_; }
    const std::vector<ProcessSample>& processes() const { return processes_; }
    void setProcesses(std::vector<ProcessSample> processes);
    const std::vector<double>& cpuHistory() const { return cpuHistory_; }
    const std::vector<double>& gpuHistory() const { return gpuHistory_; }
    const std::vector<double>& memoryHistory() const { return memoryHistory_; }
    const std::vector<double>& diskHistory() const { return diskHistory_; }
    const std::vector<double>& networkHistory() const { return networkHistory_; }
    int coreCount() const { return coreCount_; }
    double totalMemoryGB() const { return totalMemoryGB_; }

    /// Set by the application state before it starts the system loop, once.
    bool systemRunning() const { return systemRunning_; }
    void setSystemRunning(bool running) { systemRunning_ = running; }
    /// Whether a process list is wanted; the pages that show one set it and start or stop the loop.
    bool processRunning() const { return processRunning_; }
    void setProcessRunning(bool running) { processRunning_ = running; }

    /// Starts (or restarts) the system loop.
    void startPolling();
    /// Starts (or restarts, from scratch) the process loop.
    void startProcessPolling();
    void stopProcessPolling();

    /// Marks the process list wanted and starts its loop, unless it is already wanted.
    void startProcessSampling();
    /// Marks it unwanted, stops the loop and empties the list; a reading still on its way is dropped, so it cannot
    /// refill the list. Nothing when it was not wanted.
    void stopProcessSampling();

    /// Publishes one reading and extends the histories; the system loop calls it with each tick (tools and tests
    /// replay readings through it).
    void apply(const MetricsSnapshot& snapshot);

Q_SIGNALS:
    void snapshotChanged();
    void processesChanged();

private:
    void systemTick(std::uint64_t generation, bool first);
    void processTick(std::uint64_t generation, bool first);
    static void append(std::vector<double>& history, double value);

    std::shared_ptr<MetricsSampler> sampler_; // shared with the queued jobs, which may outlive the monitor
    core::SerialQueue& queue_;
    core::Scheduler& scheduler_;
    std::function<AppMap()> currentApps_;
    MetricsSnapshot snapshot_;
    std::vector<ProcessSample> processes_;
    std::vector<double> cpuHistory_;
    std::vector<double> gpuHistory_;
    std::vector<double> memoryHistory_;
    std::vector<double> diskHistory_;
    std::vector<double> networkHistory_;
    int coreCount_ = 0;
    double totalMemoryGB_ = 0;
    bool systemRunning_ = false;
    bool processRunning_ = false;
    // A restarted or stopped loop bumps its generation; readings of an older one are dropped.
    std::uint64_t systemGeneration_ = 0;
    std::uint64_t processGeneration_ = 0;
    core::TimerPtr systemTimer_;
    core::TimerPtr processTimer_;
    std::shared_ptr<bool> alive_;
};

} // namespace tillory::monitor
