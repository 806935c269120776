#pragma once

#include "monitor/metric_stats.h"
#include "platform/api/system_counters.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace tillory::monitor {

/// Disk and network rates from cumulative byte counters, and the volumes worth showing. `diskStats` and `netStats`
/// are called together, disk first, with the seconds since the previous pair of calls. Sampling thread only.
class IOSampler {
public:
    /// How long a tick waits for the volume list before it shows the last one it had.
    static constexpr std::chrono::milliseconds kVolumeWait{250};

    /// The volume list is read on a worker thread of its own (`counters.mounts()` may hang on a stuck mount): a
    /// tick waits at most `volumeWait` for it, and while a read hangs, later ticks start no other one and show the
    /// last list read. `counters` must outlive a read that still hangs when the sampler goes.
    explicit IOSampler(platform::SystemCounters& counters, std::chrono::milliseconds volumeWait = kVolumeWait);
    ~IOSampler();
    IOSampler(const IOSampler&) = delete;
    IOSampler& operator=(const IOSampler&) = delete;

    /// Rates over `dt` seconds (0 when there was no previous sample) and the current volume list. Rates are 0 on
    /// the first reading and for a direction whose counter went backwards.
    DiskStats diskStats(double dt);
    /// Rates over `dt` seconds. Interfaces seen for the first time count from the next call on.
    NetStats netStats(double dt);
    /// The root volume and the user's other writable volumes, in mount-table order; empty when unreadable.
    std::vector<VolumeSpace> volumes();

    /// Seconds per unit of the monotonic clock (its values are nanoseconds).
    double secondsPerTick() const { return kSecondsPerTick; }
    /// Monotonic clock (nanoseconds) at the previous system sample; 0 before the first.
    std::uint64_t prevTime() const { return prevTime_; }
    void setPrevTime(std::uint64_t nanos) { prevTime_ = nanos; }
    /// Reads the clock, stores it as `prevTime` and returns the seconds since the previous value: 0 on the first
    /// call and when the clock went backwards.
    double advanceClock();

    /// The name the root volume goes by when the file system gives it none.
    static QString fallbackRootName();

private:
    static constexpr double kSecondsPerTick = 1e-9;

    struct ByteCounters {
        QString name;
        std::uint64_t rx = 0;
        std::uint64_t tx = 0;
    };

    struct ByteTotals {
        std::uint64_t read = 0;
        std::uint64_t write = 0;
    };

    ByteTotals diskByteTotals();
    void netByteTotals(std::vector<ByteCounters>& into);

    class VolumeWorker;

    platform::SystemCounters& counters_;
    std::shared_ptr<VolumeWorker> volumeWorker_; // shared with its thread, which may outlive a hung read
    std::optional<std::vector<platform::MountedVolume>> lastMounts_;
    std::uint64_t prevTime_ = 0;
    std::uint64_t prevDiskRead_ = 0;
    std::uint64_t prevDiskWrite_ = 0;
    std::vector<ByteCounters> prevNet_;
    std::vector<ByteCounters> newNet_; // scratch swapped with prevNet_, so steady sampling keeps its buffers
};

} // namespace tillory::monitor
