#pragma once

#include "platform/api/system_counters.h"

#include <QHash>
#include <QString>

#include <functional>
#include <string>

// How the kernel's counters map onto SystemCounters (the one place this is written down):
//
// - cpuLoad / processorLoad: the "cpu" and "cpuN" lines of <proc>/stat. user = user (guest time is already
//   inside it), nice = nice, system = system + irq + softirq, idle = idle + iowait + steal (steal is time the
//   hypervisor gave to other machines, not work done here). Offline processors have no line and are simply
//   absent; activeProcessorCount is the number of "cpuN" lines.
// - physicalMemory = MemTotal. vmStatistics, in pages of the system page size, from <proc>/meminfo:
//   internal = AnonPages; purgeable = 0 (Linux has no anonymous memory it may drop at will); compressor = Zswap
//   (0 without it); external = Buffers + Cached + SReclaimable (the "buff/cache" of free(1));
//   wired = MemTotal - MemAvailable - AnonPages - Zswap, at least 0 (kernel and other memory the system
//   cannot hand out; the zswap pool is taken out so it is not counted twice; without MemAvailable, MemFree +
//   external stands in for it). So app + wired + compressed is the "used" of free(1), total - available.
//   swapUsage: SwapTotal, and SwapTotal - SwapFree as used.
// - accelerators: <sys>/class/drm/cardN/device/gpu_busy_percent as deviceUtilizationPercent and
//   mem_info_vram_used as vramUsedBytes; cards without gpu_busy_percent are not listed; no drm folder gives an
//   empty list.
// - blockDevices: <proc>/diskstats, whole disks only (those named in <sys>/block, which lists no partitions),
//   without loop*, ram*, zram*, dm-* and md* (they would count the same bytes twice or are not storage); sectors
//   are 512 bytes whatever the device's own sector size.
// - mounts: <proc>/self/mountinfo: "/" whatever its source and type (ZFS, overlay, composefs roots), the last
//   mount on "/" when there are several; otherwise only mounts of a /dev/... block device with a disk file system
//   (ext2/3/4, xfs, btrfs, vfat, exfat, ntfs, ntfs3, f2fs, hfsplus, iso9660, udf, fuseblk); network and other FUSE
//   mounts are never passed to statvfs, which can hang on them. "/" stays "/"; a mount at /home, /mnt/X, /media/X,
//   /media/USER/X or /run/media/USER/X is presented as "/Volumes/<last component>"; any other (/boot/efi, /var)
//   keeps its own path, so the volume list leaves it out. local is true for all of them; readOnly from the mount
//   and file system options; blocks, blockSize and availableBlocks are statvfs's f_blocks, f_frsize and f_bavail
//   (what df(1) shows). volumeName is the file system label (from <root>/dev/disk/by-label); "/" without a label
//   takes NAME from <root>/etc/os-release.
// - interfaces: <proc>/net/dev, received bytes from column 1 and transmitted from column 9; the loopback is the
//   interface named "lo" or of type 772 in <sys>/class/net/X/type. Besides the loopback only network cards are
//   listed: interfaces with a <sys>/class/net/X/device link, or wireless ones (X/wireless or X/phy80211).
//   Bridges (docker0, virbr0, br-*), veth pairs, tun/tap, bonds and VLANs are left out, since their traffic
//   also passes a card and would be counted two or three times. Where no interface is a card (a container),
//   every interface is listed.
// - temperatures: <sys>/class/hwmon/hwmonN/tempK_input (millidegrees) as "<chip name> <tempK_label>" (or
//   "<chip name> tempK" without a label); the processor-die sensors (coretemp "Package id N", k10temp "Tdie" or,
//   on chips without Tdie, "Tctl", zenpower "Tdie") carry "Tdie" in their product, e.g.
//   "coretemp Package id 0 (Tdie)". Then <sys>/class/thermal/thermal_zoneN/temp named by its type, the
//   x86_pkg_temp zone counted as a die sensor. A sensor whose value cannot be read or parsed has no reading.
// - monotonicNanos: CLOCK_MONOTONIC.
// - processes: the numeric entries of <proc>; per process <proc>/PID/stat gives utime + stime (clock ticks, as
//   nanoseconds) and the name (the comm field between the first '(' and the last ')'); the footprint is the
//   private resident memory, resident - shared pages of <proc>/PID/statm (top's RES - SHR), since shared library
//   pages would be counted again in every process; <proc>/PID/io gives read_bytes and write_bytes, 0 when it may
//   not be read. A process that has exited gives nothing, and so does a kernel thread (PF_KTHREAD in the stat
//   flags): the kernel's workers are not programs and would crowd the list by the hundred.
namespace tillory::platform::nix {

/// The figures statvfs gives for one mounted file system.
struct FileSystemSpace {
    std::uint64_t blocks = 0;
    std::uint64_t blockSize = 0;
    std::uint64_t availableBlocks = 0;
};
/// Measures the file system mounted at a path (as passed to statvfs); nothing when it cannot be measured.
using FileSystemStat = std::function<std::optional<FileSystemSpace>(const std::string& path)>;

/// The system monitor's counters read from /proc, /sys and statvfs. Not thread-safe: one caller at a time (the
/// sampling thread), except for mounts, which may run beside the others as SystemCounters allows.
class ProcSystemCounters final : public SystemCounters {
public:
    /// `procRoot` and `sysRoot` stand for /proc and /sys; `rootDir` for "/" where /dev/disk/by-label,
    /// /etc/os-release and mount points are looked up. `statFileSystem` replaces statvfs (tests); when empty,
    /// statvfs of `rootDir` + mount point is used.
    explicit ProcSystemCounters(QString procRoot = QStringLiteral("/proc"), QString sysRoot = QStringLiteral("/sys"),
                                QString rootDir = QStringLiteral("/"), FileSystemStat statFileSystem = {});

    std::optional<CpuTicks> cpuLoad() override;
    std::optional<std::vector<CpuTicks>> processorLoad() override;
    int activeProcessorCount() override;

    std::uint64_t physicalMemory() override;
    std::optional<VmStatistics> vmStatistics() override;
    std::optional<SwapUsage> swapUsage() override;

    std::optional<std::vector<AcceleratorStatistics>> accelerators() override;
    std::optional<std::vector<BlockDeviceStatistics>> blockDevices() override;
    std::optional<std::vector<MountedVolume>> mounts() override;
    std::optional<std::vector<InterfaceCounters>> interfaces() override;
    std::vector<TemperatureReading> temperatures() override;

    std::uint64_t monotonicNanos() override;

    std::optional<std::vector<std::int32_t>> processIds() override;
    std::optional<ProcessUsage> processUsage(std::int32_t pid) override;
    QString processName(std::int32_t pid) override;
    QString processCommandLine(std::int32_t pid) override;

private:
    bool readProc(const char* relative, std::string& buffer);
    bool readPidFile(std::int32_t pid, const char* file);
    QHash<QString, QString> labelsByDevice() const;
    QString volumeNameFor(const std::string& source, bool isRoot, const QHash<QString, QString>& labels) const;

    std::string procRoot_;
    QString sysRoot_;
    QString rootDir_;
    FileSystemStat statFileSystem_;
    std::uint64_t pageSize_ = 0;
    std::uint64_t nanosPerTick_ = 0;

    // Reused across calls so a process tick allocates nothing beyond its result.
    std::string path_;
    std::string buffer_;
    std::int32_t statPid_ = 0; // the pid whose stat file buffer_ holds, so processName needs no second read
    std::string statName_;
    std::size_t lastProcessCount_ = 0;
};

} // namespace tillory::platform::nix
