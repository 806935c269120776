#include "monitor/system_monitor.h"

#include "core/serial_queue.h"

namespace tillory::monitor {

SystemMonitor::SystemMonitor(std::shared_ptr<MetricsSampler> sampler, core::SerialQueue& queue,
                             core::Scheduler& scheduler, std::function<AppMap()> currentApps, int coreCount,
                             std::uint64_t physicalMemory, QObject* parent)
    : QObject(parent), sampler_(std::move(sampler)), queue_(queue), scheduler_(scheduler),
      currentApps_(std::move(currentApps)), coreCount_(coreCount),
      totalMemoryGB_(double(physicalMemory) / double(1ull << 30)), alive_(std::make_shared<bool>(true)) {}

SystemMonitor::~SystemMonitor() = default;

void SystemMonitor::setProcesses(std::vector<ProcessSample> processes) {
    if (processes_ != processes) {
        processes_ = std::move(processes);
        Q_EMIT processesChanged();
    }
}

void SystemMonitor::startPolling() {
    systemTimer_.reset();
    systemTick(++systemGeneration_, true);
}

void SystemMonitor::systemTick(std::uint64_t generation, bool first) {
    std::weak_ptr<bool> alive = alive_;
    core::Scheduler& scheduler = scheduler_;
    queue_.post([sampler = sampler_, &scheduler, alive, generation, first, this] {
        const MetricsSnapshot snapshot = sampler->sampleSystem();
        scheduler.post([alive, generation, first, snapshot, this] {
            if (!alive.lock() || generation != systemGeneration_) {
                return;
            }
            apply(snapshot);
            // The next tick is measured from the end of this one, as a sleep after the work would be.
            systemTimer_ = scheduler_.after(first ? kSecondTickDelay : kSystemInterval,
                                            [this, generation] { systemTick(generation, false); });
        });
    });
}

void SystemMonitor::startProcessPolling() {
    processTimer_.reset();
    const std::uint64_t generation = ++processGeneration_;
    queue_.post([sampler = sampler_] { sampler->resetProcesses(); });
    processTick(generation, true);
}

void SystemMonitor::stopProcessPolling() {
    ++processGeneration_;
    processTimer_.reset();
}

void SystemMonitor::startProcessSampling() {
    if (!processRunning_) {
        processRunning_ = true;
        startProcessPolling();
    }
}

void SystemMonitor::stopProcessSampling() {
    if (processRunning_) {
        processRunning_ = false;
        stopProcessPolling(); // first, so the list emptied below stays empty
        setProcesses({});
    }
}

void SystemMonitor::processTick(std::uint64_t generation, bool first) {
    std::weak_ptr<bool> alive = alive_;
    core::Scheduler& scheduler = scheduler_;
    const AppMap apps = currentApps_ ? currentApps_() : AppMap{};
    queue_.post([sampler = sampler_, &scheduler, alive, generation, first, apps, cores = coreCount_, this] {
        auto list = sampler->sampleProcesses(apps, cores);
        scheduler.post([alive, generation, first, list = std::move(list), this]() mutable {
            if (!alive.lock() || generation != processGeneration_) {
                return;
            }
            if (list) {
                setProcesses(std::move(*list));
            }
            processTimer_ = scheduler_.after(first ? kSecondTickDelay : kProcessInterval,
                                             [this, generation] { processTick(generation, false); });
        });
    });
}

void SystemMonitor::apply(const MetricsSnapshot& snapshot) {
    snapshot_ = snapshot;
    append(cpuHistory_, snapshot.cpu.total);
    append(gpuHistory_, snapshot.gpu ? snapshot.gpu->utilization : 0);
    append(memoryHistory_, snapshot.memory.used);
    append(diskHistory_, snapshot.disk.readBytesPerSec + snapshot.disk.writeBytesPerSec);
    append(networkHistory_, snapshot.network.downBytesPerSec + snapshot.network.upBytesPerSec);
    Q_EMIT snapshotChanged();
}

void SystemMonitor::append(std::vector<double>& history, double value) {
    history.push_back(value);
    if (history.size() > std::size_t(kHistoryCap)) {
        history.erase(history.begin(), history.end() - kHistoryCap);
    }
}

} // namespace tillory::monitor
