#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace tillory::platform {

/// Cumulative processor time split four ways, in ticks of the platform's choosing (only differences are used).
struct CpuTicks {
    std::uint64_t user = 0;
    std::uint64_t system = 0;
    std::uint64_t idle = 0;
    std::uint64_t nice = 0;
    friend bool operator==(const CpuTicks&, const CpuTicks&) = default;
};

/// Memory in pages, shaped as the program's memory figures need it; each backend documents how its own
/// counters map onto these.
struct VmStatistics {
    std::uint64_t pageSize = 0;        ///< bytes per page
    std::uint64_t internalPages = 0;   ///< anonymous memory
    std::uint64_t purgeablePages = 0;  ///< anonymous memory the system may drop at will
    std::uint64_t wiredPages = 0;      ///< memory that can be neither paged out nor dropped
    std::uint64_t compressorPages = 0; ///< pages held compressed in memory
    std::uint64_t externalPages = 0;   ///< file-backed pages
    friend bool operator==(const VmStatistics&, const VmStatistics&) = default;
};

struct SwapUsage {
    std::uint64_t totalBytes = 0;
    std::uint64_t usedBytes = 0;
    friend bool operator==(const SwapUsage&, const SwapUsage&) = default;
};

/// The performance statistics one graphics accelerator reports; a key it does not report is absent.
struct AcceleratorStatistics {
    std::optional<std::int64_t> deviceUtilizationPercent{}; ///< "Device Utilization %"
    std::optional<std::int64_t> gpuActivityPercent{};       ///< "GPU Activity(%)"
    std::optional<std::int64_t> inUseSystemMemory{};        ///< "In use system memory", bytes
    std::optional<std::int64_t> vramUsedBytes{};            ///< "vramUsedBytes"
    friend bool operator==(const AcceleratorStatistics&, const AcceleratorStatistics&) = default;
};

/// Cumulative bytes moved by one block-storage driver (a whole disk, never a partition of it).
struct BlockDeviceStatistics {
    std::optional<std::uint64_t> bytesRead{};
    std::optional<std::uint64_t> bytesWritten{};
    friend bool operator==(const BlockDeviceStatistics&, const BlockDeviceStatistics&) = default;
};

/// One entry of the mount table, in table order. `mountPoint` follows the convention the volume list is written
/// against: the system volume is "/", the user's other volumes sit under "/Volumes/"; a backend whose own paths
/// differ presents them so (and documents how).
struct MountedVolume {
    QString mountPoint;
    bool local = false;
    bool readOnly = false;
    std::uint64_t blocks = 0;          ///< f_blocks
    std::uint64_t blockSize = 0;       ///< bytes per block
    std::uint64_t availableBlocks = 0; ///< blocks free for an ordinary user (f_bavail)
    QString volumeName;                ///< the file system's own display name; empty when it has none
    friend bool operator==(const MountedVolume&, const MountedVolume&) = default;
};

/// Cumulative bytes of one network interface, by the name the platform gives it. `loopback` marks the interface
/// that stands for "lo0".
struct InterfaceCounters {
    QString name;
    std::uint64_t rxBytes = 0;
    std::uint64_t txBytes = 0;
    bool loopback = false;
    friend bool operator==(const InterfaceCounters&, const InterfaceCounters&) = default;
};

/// One temperature sensor, read now. `product` contains "tdie" (in any case) for sensors on the processor die.
struct TemperatureReading {
    QString product;
    std::optional<double> celsius{}; ///< absent when the sensor gave no reading
    friend bool operator==(const TemperatureReading&, const TemperatureReading&) = default;
};

/// Cumulative usage of one process.
struct ProcessUsage {
    std::uint64_t cpuTimeNanos = 0; ///< user plus system time
    std::uint64_t physicalFootprintBytes = 0;
    std::uint64_t diskBytesRead = 0;
    std::uint64_t diskBytesWritten = 0;
    friend bool operator==(const ProcessUsage&, const ProcessUsage&) = default;
};

/// The machine's raw counters, as the system monitor reads them once a second. Every method may be called from
/// the sampling thread (never concurrently); each answers nothing (or an empty list) when the platform cannot
/// tell, and never blocks for long. The one exception is `mounts`: measuring a file system can hang (a stuck
/// network mount, a failing disk), so it is called from a thread of its own, one call at a time but possibly
/// while the other methods run, and must share no unguarded state with them.
class SystemCounters {
public:
    virtual ~SystemCounters() = default;

    /// Machine-wide processor time.
    virtual std::optional<CpuTicks> cpuLoad() = 0;
    /// Processor time per logical processor, in the order the kernel lists them.
    virtual std::optional<std::vector<CpuTicks>> processorLoad() = 0;
    /// Logical processors online now; 0 when unknown.
    virtual int activeProcessorCount() = 0;

    /// Physical memory in bytes; 0 when unknown.
    virtual std::uint64_t physicalMemory() = 0;
    virtual std::optional<VmStatistics> vmStatistics() = 0;
    virtual std::optional<SwapUsage> swapUsage() = 0;

    /// Every graphics accelerator that reports statistics, in registry order; nothing when none can be listed.
    virtual std::optional<std::vector<AcceleratorStatistics>> accelerators() = 0;
    /// Every block-storage driver; nothing when they cannot be listed.
    virtual std::optional<std::vector<BlockDeviceStatistics>> blockDevices() = 0;
    virtual std::optional<std::vector<MountedVolume>> mounts() = 0;
    virtual std::optional<std::vector<InterfaceCounters>> interfaces() = 0;
    /// Every temperature sensor, in a stable order; empty when there are none.
    virtual std::vector<TemperatureReading> temperatures() = 0;

    /// A monotonic clock in nanoseconds.
    virtual std::uint64_t monotonicNanos() = 0;

    /// Every process id, in the kernel's order; nothing when the list cannot be read.
    virtual std::optional<std::vector<std::int32_t>> processIds() = 0;
    /// Nothing when the process has exited or may not be inspected.
    virtual std::optional<ProcessUsage> processUsage(std::int32_t pid) = 0;
    /// The process's short name; empty when unknown.
    virtual QString processName(std::int32_t pid) = 0;
    /// The command the process was started with, arguments separated by spaces, shortened to a few thousand
    /// characters; empty when unknown.
    virtual QString processCommandLine(std::int32_t pid) {
        (void)pid;
        return {};
    }
};

} // namespace tillory::platform
