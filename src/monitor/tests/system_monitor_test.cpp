#include "monitor/system_monitor.h"

#include "core/manual_scheduler.h"
#include "core/serial_queue.h"
#include "platform/sim/sim_system_counters.h"

#include <gtest/gtest.h>

namespace tillory::monitor {
namespace {

class NoPower final : public platform::PowerSources {
public:
    std::optional<std::vector<std::optional<QVariantMap>>> powerSources() override { return std::nullopt; }
    std::optional<QVariantMap> batteryProperties() override { return std::nullopt; }
    int thermalState() override { return 0; }
};

class NoSmc final : public platform::Smc {
public:
    std::unique_ptr<platform::SmcClient> open() override { return nullptr; }
};

class SystemMonitorTest : public ::testing::Test {
protected:
    SystemMonitorTest() {
        counters.setCpuLoad(platform::CpuTicks{0, 0, 0, 0});
        counters.setPhysicalMemory(4ull << 30);
        counters.addProcess(310, QStringLiteral("zsh"));
        monitor = std::make_unique<SystemMonitor>(
            std::make_shared<MetricsSampler>(counters, power, smc), queue, scheduler, [] { return AppMap{}; }, 2,
            4ull << 30);
        QObject::connect(monitor.get(), &SystemMonitor::snapshotChanged,
                         [this] { published.push_back(scheduler.now()); });
        QObject::connect(monitor.get(), &SystemMonitor::processesChanged,
                         [this] { processLists.push_back(scheduler.now()); });
    }

    /// Lets the sampling queue and the main thread hand work to each other until both are idle.
    void settle() {
        while (queue.runDue() > 0 || pendingMain()) {
        }
    }
    bool pendingMain() {
        const std::size_t before = published.size() + processLists.size() + scheduler.timerCount();
        scheduler.runPosted();
        return published.size() + processLists.size() + scheduler.timerCount() != before;
    }
    /// Moves time on in small steps, letting each tick run as it falls due.
    void runFor(double seconds) {
        const double end = scheduler.now() + seconds;
        while (scheduler.now() + 1e-9 < end) {
            settle();
            const double step = std::min(0.05, end - scheduler.now());
            counters.advanceSeconds(step); // the machine's own clock runs with the program's
            scheduler.advance(step);
        }
        settle();
    }

    core::ManualScheduler scheduler;
    core::ManualSerialQueue queue{scheduler};
    platform::sim::SimSystemCounters counters;
    NoPower power;
    NoSmc smc;
    std::unique_ptr<SystemMonitor> monitor;
    std::vector<double> published;
    std::vector<double> processLists;
};

TEST_F(SystemMonitorTest, TicksComeAtOnceThenAfterSixTenthsThenEverySecond) {
    monitor->startPolling();
    runFor(3.5);
    ASSERT_EQ(published.size(), 4u);
    EXPECT_NEAR(published[0], 0.0, 1e-9);
    EXPECT_NEAR(published[1], 0.6, 0.051);
    EXPECT_NEAR(published[2], 1.6, 0.051);
    EXPECT_NEAR(published[3], 2.6, 0.051);
}

TEST_F(SystemMonitorTest, HistoriesKeepTheNewestSixtyAndAnAbsentGpuCountsAsZero) {
    monitor->startPolling();
    int tick = 0;
    std::vector<double> memory, disk, network;
    QObject::connect(monitor.get(), &SystemMonitor::snapshotChanged, [&] {
        const MetricsSnapshot& s = monitor->snapshot();
        memory.push_back(s.memory.used);
        disk.push_back(s.disk.readBytesPerSec + s.disk.writeBytesPerSec);
        network.push_back(s.network.downBytesPerSec + s.network.upBytesPerSec);
        // Each tick's counters move on by more than the last, so every history value tells its tick apart.
        ++tick;
        const auto t = std::uint64_t(tick);
        counters.setCpuLoad(platform::CpuTicks{t * 10, 0, t * 10, 0});
        counters.setVmStatistics(platform::VmStatistics{4096, t * 1024, 0, 0, 0, 0});
        counters.setBlockDevices(std::vector<platform::BlockDeviceStatistics>{{t * t * 1000, t * t * 500}});
        counters.setInterfaces(
            std::vector<platform::InterfaceCounters>{{QStringLiteral("eth0"), t * t * 2000, t * t * 100, false}});
    });
    runFor(0.6 + 60.0);
    ASSERT_EQ(published.size(), 62u);
    EXPECT_EQ(monitor->cpuHistory().size(), 60u);
    EXPECT_EQ(monitor->gpuHistory(), std::vector<double>(60, 0.0));
    EXPECT_DOUBLE_EQ(monitor->cpuHistory().back(), 0.5); // oldest dropped, newest last

    const auto newest = [](const std::vector<double>& all) { return std::vector<double>(all.end() - 60, all.end()); };
    EXPECT_EQ(monitor->memoryHistory(), newest(memory));
    EXPECT_EQ(monitor->diskHistory(), newest(disk));
    EXPECT_EQ(monitor->networkHistory(), newest(network));
    EXPECT_DOUBLE_EQ(monitor->memoryHistory().front(), 2.0 / 1024) << "ticks 0 and 1 dropped, tick 2 oldest";
    EXPECT_GT(monitor->diskHistory().front(), 0.0);
    EXPECT_GT(monitor->networkHistory().front(), 0.0);
}

TEST_F(SystemMonitorTest, ProcessLoopSkipsItsFirstTickAndStopsWhenAsked) {
    monitor->startProcessPolling();
    runFor(0.3);
    EXPECT_TRUE(processLists.empty()); // the first tick of a run has no interval yet
    runFor(0.4);
    ASSERT_EQ(processLists.size(), 1u);
    EXPECT_NEAR(processLists[0], 0.6, 0.051);
    ASSERT_EQ(monitor->processes().size(), 1u);
    EXPECT_EQ(monitor->processes()[0].name, QStringLiteral("zsh"));

    counters.addProcessWork(310, 1'000'000'000); // keeps each list different, so each one is announced
    runFor(2.0);
    EXPECT_EQ(processLists.size(), 2u);

    monitor->stopProcessPolling();
    counters.addProcessWork(310, 1'000'000'000);
    runFor(5.0);
    EXPECT_EQ(processLists.size(), 2u);

    // A new run starts from scratch: again no list on its first tick.
    monitor->startProcessPolling();
    counters.addProcessWork(310, 1'000'000'000);
    runFor(0.3);
    EXPECT_EQ(processLists.size(), 2u);
    runFor(0.4);
    EXPECT_EQ(processLists.size(), 3u);
}

TEST_F(SystemMonitorTest, ReadingsStillQueuedWhenTheMonitorGoesAreDropped) {
    monitor->startPolling();
    monitor->startProcessPolling();
    monitor.reset();
    EXPECT_GT(queue.runDue(), 0);
    // Publishing into the destroyed monitor would be a use after free, which the sanitizer run reports.
    scheduler.runPosted();
    EXPECT_EQ(scheduler.timerCount(), 0u) << "no loop may go on without its monitor";
}

} // namespace
} // namespace tillory::monitor
