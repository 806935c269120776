#include "monitor/io_sampler.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

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

/// Reads the mount table on a thread of its own, one read at a time, so a file system that never answers holds up
/// only this thread. The thread starts with the first read.
class IOSampler::VolumeWorker : public std::enable_shared_from_this<VolumeWorker> {
public:
    using Mounts = std::optional<std::vector<platform::MountedVolume>>;

    VolumeWorker(platform::SystemCounters& counters, std::chrono::milliseconds wait)
        : counters_(counters), wait_(wait) {}

    /// A finished read's answer, if one came in since the last call. Starts a new read unless one still runs, and
    /// waits a while for it.
    std::optional<Mounts> read() {
        std::unique_lock lock(mutex_);
        if (busy_) {
            return std::nullopt; // the last read still hangs: no second one behind it
        }
        if (!thread_.joinable()) {
            thread_ = std::thread([self = shared_from_this()] { self->run(); });
        }
        std::optional<Mounts> fresh = std::exchange(answer_, std::nullopt); // a hung read that came back since
        busy_ = true;
        requested_ = true;
        wake_.notify_all();
        if (done_.wait_for(lock, wait_, [this] { return !busy_; })) {
            fresh = std::exchange(answer_, std::nullopt);
        }
        return fresh;
    }

    /// Stops the thread: joined when idle, else left to finish its read and end on its own.
    void stop() {
        std::unique_lock lock(mutex_);
        stopping_ = true;
        wake_.notify_all();
        if (!thread_.joinable()) {
            return;
        }
        if (busy_) {
            thread_.detach();
        } else {
            lock.unlock();
            thread_.join();
        }
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        while (true) {
            wake_.wait(lock, [this] { return stopping_ || requested_; });
            if (stopping_) {
                return;
            }
            requested_ = false;
            lock.unlock();
            Mounts mounts = counters_.mounts();
            lock.lock();
            answer_ = std::move(mounts);
            busy_ = false;
            done_.notify_all();
        }
    }

    platform::SystemCounters& counters_;
    const std::chrono::milliseconds wait_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::optional<Mounts> answer_;
    bool busy_ = false;      // a read was asked for and has not answered
    bool requested_ = false; // a read was asked for and has not begun
    bool stopping_ = false;
    std::thread thread_;
};

IOSampler::IOSampler(platform::SystemCounters& counters, std::chrono::milliseconds volumeWait)
    : counters_(counters), volumeWorker_(std::make_shared<VolumeWorker>(counters, volumeWait)) {}

IOSampler::~IOSampler() {
    volumeWorker_->stop();
}

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
    if (auto answer = volumeWorker_->read()) {
        lastMounts_ = std::move(*answer);
    }
    const auto& mounts = lastMounts_;
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
