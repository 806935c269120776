#include "monitor/io_sampler.h"

#include "platform/sim/sim_system_counters.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace tillory::monitor {
namespace {

using platform::BlockDeviceStatistics;
using platform::InterfaceCounters;
using platform::MountedVolume;

constexpr std::uint64_t kBlock = 4096;
constexpr std::uint64_t kRootBlocks = 1'000'000;

MountedVolume mount(const char* path, std::uint64_t blocks, std::uint64_t available, bool readOnly = false,
                    const char* name = "") {
    return {QString::fromUtf8(path), true, readOnly, blocks, kBlock, available, QString::fromUtf8(name)};
}

QStringList names(const std::vector<VolumeSpace>& volumes) {
    QStringList result;
    for (const auto& volume : volumes) {
        result << volume.name;
    }
    return result;
}

QStringList names(const std::vector<IfaceRate>& rates) {
    QStringList result;
    for (const auto& rate : rates) {
        result << rate.name;
    }
    return result;
}

class IOSamplerTest : public ::testing::Test {
protected:
    void setDisk(std::uint64_t read, std::uint64_t written) {
        counters_.setBlockDevices({{BlockDeviceStatistics{read, written}}});
    }
    void setNet(std::vector<InterfaceCounters> interfaces) { counters_.setInterfaces(std::move(interfaces)); }
    static InterfaceCounters iface(const char* name, std::uint64_t rx, std::uint64_t tx) {
        return {QString::fromUtf8(name), rx, tx, false};
    }

    platform::sim::SimSystemCounters counters_;
    IOSampler sampler_{counters_};
};

TEST_F(IOSamplerTest, DiskFirstReadingReportsZeroThenBytesPerSecondAcrossDrivers) {
    setDisk(10'000, 20'000);
    EXPECT_EQ(sampler_.diskStats(1.0).readBytesPerSec, 0.0);

    counters_.setBlockDevices({{BlockDeviceStatistics{12'000, 21'000}, BlockDeviceStatistics{2'000, std::nullopt}}});
    const DiskStats stats = sampler_.diskStats(2.0);
    EXPECT_DOUBLE_EQ(stats.readBytesPerSec, 2'000);
    EXPECT_DOUBLE_EQ(stats.writeBytesPerSec, 500);
}

TEST_F(IOSamplerTest, DiskTotalGoingBackwardsReportsZeroForThatDirectionOnly) {
    setDisk(10'000, 20'000);
    sampler_.diskStats(0);
    setDisk(5'000, 24'000);
    const DiskStats stats = sampler_.diskStats(1.0);
    EXPECT_EQ(stats.readBytesPerSec, 0.0);
    EXPECT_DOUBLE_EQ(stats.writeBytesPerSec, 4'000);

    setDisk(6'000, 24'000); // measured from the smaller total, not the larger one before it
    EXPECT_DOUBLE_EQ(sampler_.diskStats(1.0).readBytesPerSec, 1'000);
}

TEST_F(IOSamplerTest, DiskWithoutElapsedTimeReportsZeroButKeepsTheTotals) {
    setDisk(10'000, 20'000);
    sampler_.diskStats(1.0);
    setDisk(30'000, 20'000);
    EXPECT_EQ(sampler_.diskStats(0).readBytesPerSec, 0.0);
    setDisk(31'000, 20'000);
    EXPECT_DOUBLE_EQ(sampler_.diskStats(1.0).readBytesPerSec, 1'000);
}

TEST_F(IOSamplerTest, UnreadableOrOverflowingDriversGiveNoBurstAfterwards) {
    setDisk(10'000, 20'000);
    sampler_.diskStats(1.0);
    counters_.setBlockDevices(std::nullopt);
    EXPECT_EQ(sampler_.diskStats(1.0).readBytesPerSec, 0.0);
    setDisk(50'000, 60'000); // the next good reading counts as a first one
    EXPECT_EQ(sampler_.diskStats(1.0), DiskStats{});

    counters_.setBlockDevices({{BlockDeviceStatistics{UINT64_MAX, 1}, BlockDeviceStatistics{1, 1}}});
    EXPECT_EQ(sampler_.diskStats(1.0), DiskStats{});
    setDisk(50'000, 60'000);
    EXPECT_EQ(sampler_.diskStats(1.0), DiskStats{});
}

TEST_F(IOSamplerTest, VolumesKeepTheRootAndTheUsersWritableDisksInTableOrder) {
    MountedVolume server = mount("/Volumes/Share", 5000, 100);
    server.local = false;
    counters_.setMounts({{
        mount("/Volumes/Backup", 2'000'000, 500'000, false, "Archive"),
        mount("/", kRootBlocks, 400'000, true),
        mount("/System/Volumes/Data", kRootBlocks, 400'000),
        mount("/Volumes/Installer", 30'000, 0, true),
        mount("/Volumes/Data Twin", kRootBlocks, 400'000),
        server,
        mount("/Volumes/Empty", 0, 0),
        mount("/Volumes/Stick/", 8'000, 2'000),
        mount("/dev", 10, 10),
    }});
    const auto volumes = sampler_.volumes();
    EXPECT_EQ(names(volumes),
              (QStringList{QStringLiteral("Archive"), QStringLiteral("Macintosh HD"), QStringLiteral("Stick")}));
    EXPECT_EQ(volumes[1], (VolumeSpace{QStringLiteral("Macintosh HD"), 400'000 * kBlock, kRootBlocks * kBlock}));
    EXPECT_EQ(sampler_.diskStats(0).volumes, volumes);
}

TEST_F(IOSamplerTest, RootUsesTheFileSystemsOwnNameWhenItHasOne) {
    counters_.setMounts({{mount("/", kRootBlocks, 1, false, "System")}});
    EXPECT_EQ(names(sampler_.volumes()), QStringList{QStringLiteral("System")});
}

TEST_F(IOSamplerTest, WithoutARootNoVolumeIsHiddenForItsSize) {
    counters_.setMounts({{mount("/Volumes/A", kRootBlocks, 1), mount("/Volumes/B", kRootBlocks, 1)}});
    EXPECT_EQ(names(sampler_.volumes()), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
}

TEST_F(IOSamplerTest, UnreadableMountTableGivesNoVolumes) {
    EXPECT_TRUE(sampler_.volumes().empty());
    counters_.setMounts(std::vector<MountedVolume>{});
    EXPECT_TRUE(sampler_.volumes().empty());
    counters_.setMounts({{mount("/", UINT64_MAX / 2, 1)}}); // a size past 64 bits
    EXPECT_TRUE(sampler_.volumes().empty());
}

TEST_F(IOSamplerTest, NetworkInterfaceSeenForTheFirstTimeAddsNothing) {
    setNet({iface("en0", 1000, 1000)});
    sampler_.netStats(0);
    setNet({iface("en0", 3000, 1500), iface("utun3", 900'000, 900'000)});
    const NetStats stats = sampler_.netStats(2.0);
    EXPECT_EQ(stats, (NetStats{1000, 250, {{QStringLiteral("en0"), 1000, 250}}}));

    setNet({iface("en0", 3000, 1500), iface("utun3", 901'000, 900'000)});
    const NetStats next = sampler_.netStats(1.0);
    EXPECT_EQ(next, (NetStats{1000, 0, {{QStringLiteral("utun3"), 1000, 0}}})); // idle en0 is not listed
}

TEST_F(IOSamplerTest, LoopbackIsNeverCountedOrListed) {
    const auto loopback = [](std::uint64_t bytes) {
        return InterfaceCounters{QStringLiteral("lo"), bytes, bytes, true};
    };
    setNet({loopback(0)});
    sampler_.netStats(1.0);
    setNet({loopback(5'000'000)});
    EXPECT_EQ(sampler_.netStats(1.0), NetStats{});
}

TEST_F(IOSamplerTest, CounterWrapReportsZeroForThatDirection) {
    setNet({iface("en0", 0xFFFF'FF00, 100)});
    sampler_.netStats(1.0);
    setNet({iface("en0", 0x10, 300)});
    EXPECT_EQ(sampler_.netStats(1.0), (NetStats{0, 200, {{QStringLiteral("en0"), 0, 200}}}));
}

TEST_F(IOSamplerTest, InterfacesAreListedBusiestFirstAndTiesKeepListingOrder) {
    setNet({iface("en0", 0, 0), iface("en1", 0, 0), iface("en2", 0, 0), iface("en3", 0, 0), iface("en4", 0, 0)});
    sampler_.netStats(1.0);
    setNet({iface("en0", 10, 0), iface("en1", 0, 50), iface("en2", 5, 5), iface("en3", 100, 0), iface("en4", 40, 10)});
    const NetStats stats = sampler_.netStats(1.0);
    EXPECT_EQ(names(stats.perInterface),
              (QStringList{QStringLiteral("en3"), QStringLiteral("en1"), QStringLiteral("en4"), QStringLiteral("en0"),
                           QStringLiteral("en2")}));
    EXPECT_DOUBLE_EQ(stats.downBytesPerSec + stats.upBytesPerSec, 220);
}

TEST_F(IOSamplerTest, NetworkWithoutElapsedTimeListsNothingButKeepsTheCounters) {
    setNet({iface("en0", 0, 0)});
    sampler_.netStats(1.0);
    setNet({iface("en0", 5000, 0)});
    EXPECT_EQ(sampler_.netStats(0), NetStats{});
    setNet({iface("en0", 6000, 0)});
    EXPECT_DOUBLE_EQ(sampler_.netStats(1.0).downBytesPerSec, 1000);
}

TEST_F(IOSamplerTest, UnreadableInterfacesForgetThePreviousCounters) {
    setNet({iface("en0", 0, 0)});
    sampler_.netStats(1.0);
    counters_.setInterfaces(std::nullopt);
    EXPECT_EQ(sampler_.netStats(1.0), NetStats{});
    setNet({iface("en0", 5000, 0)});
    EXPECT_EQ(sampler_.netStats(1.0), NetStats{});
}

TEST_F(IOSamplerTest, ClockIntervalIsZeroAtFirstAndWhenTheClockStepsBack) {
    EXPECT_EQ(sampler_.prevTime(), 0u);
    EXPECT_EQ(sampler_.advanceClock(), 0.0);
    counters_.advanceSeconds(1.5);
    EXPECT_DOUBLE_EQ(sampler_.advanceClock(), 1.5);
    EXPECT_EQ(sampler_.prevTime(), counters_.monotonicNanos());

    sampler_.setPrevTime(counters_.monotonicNanos() + 1);
    EXPECT_EQ(sampler_.advanceClock(), 0.0);
    counters_.advanceSeconds(0.25);
    EXPECT_DOUBLE_EQ(sampler_.advanceClock(), 0.25);
}

} // namespace
} // namespace tillory::monitor
