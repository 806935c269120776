// What the system monitor's readings cost on this machine: one system tick (processor, memory, graphics, disk,
// volumes, network, power, and the slow readings every other tick) and one process tick over every process,
// read from the real /proc and /sys. bench/monitor_compare.py prints these beside ps and top.
#include "monitor/metrics_sampler.h"
#include "platform/linux/proc_system_counters.h"
#include "platform/linux/sysfs_power.h"

#include <benchmark/benchmark.h>

namespace {

using namespace tillory;

struct Machine {
    platform::nix::ProcSystemCounters counters;
    platform::nix::SysfsPowerSources power;
    platform::nix::HwmonSmc smc;
    monitor::MetricsSampler sampler{counters, power, smc};
};

void SystemTick(benchmark::State& state) {
    Machine machine;
    machine.sampler.sampleSystem();
    for (auto _ : state) {
        benchmark::DoNotOptimize(machine.sampler.sampleSystem());
    }
}
BENCHMARK(SystemTick)->Unit(benchmark::kMicrosecond);

void ProcessTick(benchmark::State& state) {
    Machine machine;
    const monitor::AppMap apps;
    const int cores = machine.counters.activeProcessorCount();
    machine.sampler.sampleProcesses(apps, cores);
    std::size_t listed = 0;
    for (auto _ : state) {
        const auto list = machine.sampler.sampleProcesses(apps, cores);
        listed = list ? list->size() : 0;
        benchmark::DoNotOptimize(list);
    }
    state.counters["processes"] = double(listed);
}
BENCHMARK(ProcessTick)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
