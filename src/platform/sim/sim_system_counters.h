#pragma once

#include "platform/api/system_counters.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace tillory::platform::sim {

/// A machine whose counters the test sets by hand. Each answer starts as "nothing" (or empty) until set; a setter
/// given `std::nullopt` makes that read fail. The monotonic clock starts at one second and moves only when told.
class SimSystemCounters final : public SystemCounters {
public:
    // Processors.
    void setCpuLoad(std::optional<CpuTicks> ticks) { cpuLoad_ = ticks; }
    void setProcessorLoad(std::optional<std::vector<CpuTicks>> perProcessor) {
        processorLoad_ = std::move(perProcessor);
    }
    void setActiveProcessorCount(int count) { activeProcessors_ = count; }

    // Memory.
    void setPhysicalMemory(std::uint64_t bytes) { physicalMemory_ = bytes; }
    void setVmStatistics(std::optional<VmStatistics> statistics) { vm_ = statistics; }
    void setSwapUsage(std::optional<SwapUsage> swap) { swap_ = swap; }

    // Devices.
    void setAccelerators(std::optional<std::vector<AcceleratorStatistics>> list) { accelerators_ = std::move(list); }
    void setBlockDevices(std::optional<std::vector<BlockDeviceStatistics>> list) { blockDevices_ = std::move(list); }
    /// Safe from any thread: the monitor reads the mount table on a thread of its own.
    void setMounts(std::optional<std::vector<MountedVolume>> table);
    /// From now on a read of the mount table blocks, like statvfs on a stuck mount, until `releaseMounts`.
    void holdMounts();
    void releaseMounts();
    /// Reads of the mount table begun so far, blocked ones included.
    int mountReads() const;
    void setInterfaces(std::optional<std::vector<InterfaceCounters>> list) { interfaces_ = std::move(list); }
    void setTemperatures(std::vector<TemperatureReading> readings) { temperatures_ = std::move(readings); }

    // Clock.
    void setMonotonicNanos(std::uint64_t nanos) { clock_ = nanos; }
    void advanceNanos(std::uint64_t nanos) { clock_ += nanos; }
    void advanceSeconds(double seconds);

    // Processes, listed in the order they were added.
    /// Adds a process at the end of the list, or replaces the one holding `pid` in place (the pid was reused).
    void addProcess(std::int32_t pid, const QString& name, const ProcessUsage& usage = {});
    void removeProcess(std::int32_t pid);
    /// Nothing makes the process uninspectable while it stays listed.
    void setProcessUsage(std::int32_t pid, std::optional<ProcessUsage> usage);
    /// Adds CPU time (nanoseconds) and disk traffic (bytes) to a listed process.
    void addProcessWork(std::int32_t pid, std::uint64_t cpuNanos, std::uint64_t diskBytesRead = 0,
                        std::uint64_t diskBytesWritten = 0);
    void setProcessListReadable(bool readable) { processListReadable_ = readable; }
    void setProcessCommandLine(std::int32_t pid, const QString& line);
    /// How many times each process's command line was asked for.
    int commandLineReads() const { return commandLineReads_; }

    std::optional<CpuTicks> cpuLoad() override { return cpuLoad_; }
    std::optional<std::vector<CpuTicks>> processorLoad() override { return processorLoad_; }
    int activeProcessorCount() override { return activeProcessors_; }
    std::uint64_t physicalMemory() override { return physicalMemory_; }
    std::optional<VmStatistics> vmStatistics() override { return vm_; }
    std::optional<SwapUsage> swapUsage() override { return swap_; }
    std::optional<std::vector<AcceleratorStatistics>> accelerators() override { return accelerators_; }
    std::optional<std::vector<BlockDeviceStatistics>> blockDevices() override { return blockDevices_; }
    std::optional<std::vector<MountedVolume>> mounts() override;
    std::optional<std::vector<InterfaceCounters>> interfaces() override { return interfaces_; }
    std::vector<TemperatureReading> temperatures() override { return temperatures_; }
    std::uint64_t monotonicNanos() override { return clock_; }
    std::optional<std::vector<std::int32_t>> processIds() override;
    std::optional<ProcessUsage> processUsage(std::int32_t pid) override;
    QString processName(std::int32_t pid) override;
    QString processCommandLine(std::int32_t pid) override;

private:
    struct Process {
        std::int32_t pid = 0;
        QString name;
        std::optional<ProcessUsage> usage;
        QString commandLine;
    };
    int commandLineReads_ = 0;
    Process* find(std::int32_t pid);

    std::optional<CpuTicks> cpuLoad_;
    std::optional<std::vector<CpuTicks>> processorLoad_;
    int activeProcessors_ = 0;
    std::uint64_t physicalMemory_ = 0;
    std::optional<VmStatistics> vm_;
    std::optional<SwapUsage> swap_;
    std::optional<std::vector<AcceleratorStatistics>> accelerators_;
    std::optional<std::vector<BlockDeviceStatistics>> blockDevices_;
    mutable std::mutex mountsMutex_;
    std::condition_variable mountsReleased_;
    std::optional<std::vector<MountedVolume>> mounts_;
    bool mountsHeld_ = false;
    int mountReads_ = 0;
    std::optional<std::vector<InterfaceCounters>> interfaces_;
    std::vector<TemperatureReading> temperatures_;
    std::uint64_t clock_ = 1'000'000'000; // a real monotonic clock is never 0, which callers read as "no sample yet"
    std::vector<Process> processes_;
    bool processListReadable_ = true;
};

} // namespace tillory::platform::sim
