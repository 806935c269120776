#include "snapshot_command.h"

#include "monitor/metrics_sampler.h"
#include "platform/linux/proc_system_counters.h"
#include "platform/linux/sysfs_power.h"

#include <QJsonDocument>

#include <chrono>
#include <cstdio>
#include <thread>

namespace tillory::app {

int runSnapshot(bool withProcesses) {
    platform::nix::ProcSystemCounters counters;
    platform::nix::SysfsPowerSources power;
    platform::nix::HwmonSmc smc;
    monitor::MetricsSampler sampler(counters, power, smc);
    // No display is opened, so no application names: processes go by their own names.
    const monitor::AppMap apps;
    const int cores = counters.activeProcessorCount();

    sampler.sampleSystem();
    if (withProcesses) {
        sampler.resetProcesses();
        sampler.sampleProcesses(apps, cores);
    }
    // The loop's second tick, the first with rates, comes 0.6 s after the first.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    QJsonObject json = monitor::snapshotToJson(sampler.sampleSystem());
    if (withProcesses) {
        const auto processes = sampler.sampleProcesses(apps, cores);
        json.insert(QStringLiteral("processes"),
                    monitor::processesToJson(processes.value_or(std::vector<monitor::ProcessSample>{}),
                                             counters.physicalMemory()));
    }
    const QByteArray text = QJsonDocument(json).toJson(QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace tillory::app
