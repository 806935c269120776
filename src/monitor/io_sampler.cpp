#include "monitor/io_sampler.h"

#include <algorithm>

namespace tillory::monitor {

namespace {

const QString kRoot = QStringLiteral("/");
const QString kVolumesPrefix = QStringLiteral("/Volumes/");

struct Candidate {
    std::uint64_t total = 0;
    std::uint64_t free = 0;
};

/// A mounted file system the user might want to see: local, the root or under the volumes folder, with a size.
std::optional<Candidate> candidate(const platform::MountedVolume& mount) {
    if (!mount.local || (mount.mountPoint != kRoot && !mount.mountPoint.startsWith(kVolumesPrefix))) {
        return std::nullopt;
    }
    Candidate result;
    // A size past 64 bits is a garbled entry, not a volume.
    if (__builtin_mul_overflow(mount.blocks, mount.blockSize, &result.total) ||
        __builtin_mul_overflow(mount.availableBlocks, mount.blockSize, &result.free) || result.total == 0) {
        return std::nullopt;
    }
    return result;
}

QString lastPathComponent(const QString& path) {
    QStringView view(path);
    while (view.size() > 1 && view.endsWith(u'/')) {
        view.chop(1);
    }
    return view.mid(view.lastIndexOf(u'/') + 1).toString();
}

double rate(std::uint64_t now, std::uint64_t before, double dt) {
    return now >= before ? static_cast<double>(now - before) / dt : 0.0;
}

} // namespace

IOSampler::IOSampler(platform::SystemCounters& counters) : counters_(counters) {}

QString IOSampler::fallbackRootName() {
    return QStringLiteral("Macintosh HD");
}

double IOSampler::advanceClock() {
    const std::uint64_t now = counters_.monotonicNanos();
    const bool measurable = prevTime_ != 0 && now >= prevTime_;
    const double dt = measurable ? static_cast<double>(now - prevTime_) * kSecondsPerTick : 0.0;
    prevTime_ = now;
    return dt;
}

std::vector<VolumeSpace> IOSampler::volumes() {
    std::vector<VolumeSpace> result;
    const auto mounts = counters_.mounts();
    if (!mounts || mounts->empty()) {
        return result;
    }
    // Another volume as big as the root is the root seen again (a snapshot or a second view of the same disk).
    std::optional<std::uint64_t> rootSize;
    for (const auto& mount : *mounts) {
        if (mount.mountPoint == kRoot) {
            if (const auto root = candidate(mount)) {
                rootSize = root->total;
                break;
            }
        }
    }
    result.reserve(mounts->size());
    for (const auto& mount : *mounts) {
        const auto found = candidate(mount);
        if (!found) {
            continue;
        }
        const bool isRoot = mount.mountPoint == kRoot;
        if (!isRoot && (mount.readOnly || found->total == rootSize)) {
            continue;
        }
        QString name = mount.volumeName;
        if (name.isEmpty()) {
            name = isRoot ? fallbackRootName() : lastPathComponent(mount.mountPoint);
        }
        result.push_back({std::move(name), found->free, found->total});
    }
    return result;
}

IOSampler::ByteTotals IOSampler::diskByteTotals() {
    ByteTotals totals;
    const auto devices = counters_.blockDevices();
    if (!devices) {
        return totals;
    }
    for (const auto& device : *devices) {
        // Totals that no longer fit are unusable; reading nothing gives a neutral interval instead.
        if (__builtin_add_overflow(totals.read, device.bytesRead.value_or(0), &totals.read) ||
            __builtin_add_overflow(totals.write, device.bytesWritten.value_or(0), &totals.write)) {
            return {};
        }
    }
    return totals;
}

DiskStats IOSampler::diskStats(double dt) {
    DiskStats stats;
    stats.volumes = volumes();
    const ByteTotals totals = diskByteTotals();
    const bool firstReading = prevDiskRead_ == 0 && prevDiskWrite_ == 0;
    if (dt > 0 && !firstReading) {
        stats.readBytesPerSec = rate(totals.read, prevDiskRead_, dt);
        stats.writeBytesPerSec = rate(totals.write, prevDiskWrite_, dt);
    }
    prevDiskRead_ = totals.read;
    prevDiskWrite_ = totals.write;
    return stats;
}

void IOSampler::netByteTotals(std::vector<ByteCounters>& into) {
    into.clear();
    const auto interfaces = counters_.interfaces();
    if (!interfaces) {
        return;
    }
    for (const auto& iface : *interfaces) {
        if (iface.name.isEmpty() || iface.loopback) {
            continue;
        }
        const auto same = std::find_if(into.begin(), into.end(), [&](const auto& c) { return c.name == iface.name; });
        if (same != into.end()) {
            same->rx = iface.rxBytes;
            same->tx = iface.txBytes;
        } else {
            into.push_back({iface.name, iface.rxBytes, iface.txBytes});
        }
    }
}

NetStats IOSampler::netStats(double dt) {
    NetStats stats;
    netByteTotals(newNet_);
    if (dt > 0) {
        stats.perInterface.reserve(newNet_.size());
        for (const auto& now : newNet_) {
            const auto before =
                std::find_if(prevNet_.begin(), prevNet_.end(), [&](const auto& c) { return c.name == now.name; });
            if (before == prevNet_.end()) {
                continue;
            }
            const double down = rate(now.rx, before->rx, dt);
            const double up = rate(now.tx, before->tx, dt);
            stats.downBytesPerSec += down;
            stats.upBytesPerSec += up;
            if (down > 0 || up > 0) {
                stats.perInterface.push_back({now.name, down, up});
            }
        }
    }
    std::swap(prevNet_, newNet_);

    // Busiest first; an insertion sort keeps equal sums in listing order without the buffer a stable sort takes.
    auto& list = stats.perInterface;
    const auto busier = [](const IfaceRate& a, const IfaceRate& b) {
        return a.downBytesPerSec + a.upBytesPerSec > b.downBytesPerSec + b.upBytesPerSec;
    };
    for (auto it = list.begin(); it != list.end(); ++it) {
        std::rotate(std::upper_bound(list.begin(), it, *it, busier), it, std::next(it));
    }
    return stats;
}

} // namespace tillory::monitor
