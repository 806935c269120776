#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace tillory::monitor {

// One reading of each metric. Fractions are 0...1, rates bytes per second, sizes bytes.

struct CPUStats {
    double total = 0;            ///< user + system, capped at 1
    double user = 0;             ///< user plus nice share
    double system = 0;           ///< system share
    std::vector<double> perCore; ///< busy share per logical processor, in kernel order
    friend bool operator==(const CPUStats&, const CPUStats&) = default;
};

/// Fractions of physical memory.
struct MemoryStats {
    double app = 0; ///< anonymous memory minus purgeable memory
    double wired = 0;
    double compressed = 0;
    double cached = 0; ///< file-backed pages; not part of `used`
    double used = 0;   ///< app + wired + compressed, capped at 1
    std::uint64_t totalBytes = 0;
    std::uint64_t swapUsed = 0;
    std::uint64_t swapTotal = 0;
    friend bool operator==(const MemoryStats&, const MemoryStats&) = default;
};

struct GPUStats {
    double utilization = 0;
    std::uint64_t vramInUseBytes = 0;
    friend bool operator==(const GPUStats&, const GPUStats&) = default;
};

struct VolumeSpace {
    QString name;
    std::uint64_t freeBytes = 0; ///< available to a non-privileged user
    std::uint64_t totalBytes = 0;
    friend bool operator==(const VolumeSpace&, const VolumeSpace&) = default;
};

struct DiskStats {
    double readBytesPerSec = 0;
    double writeBytesPerSec = 0;
    std::vector<VolumeSpace> volumes; ///< volumes shown to the user, in mount-table order
    friend bool operator==(const DiskStats&, const DiskStats&) = default;
};

struct IfaceRate {
    QString name;
    double downBytesPerSec = 0;
    double upBytesPerSec = 0;
    friend bool operator==(const IfaceRate&, const IfaceRate&) = default;
};

struct NetStats {
    double downBytesPerSec = 0;
    double upBytesPerSec = 0;
    std::vector<IfaceRate> perInterface; ///< only interfaces with traffic, busiest first
    friend bool operator==(const NetStats&, const NetStats&) = default;
};

} // namespace tillory::monitor
