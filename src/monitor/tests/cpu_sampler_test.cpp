#include "monitor/cpu_sampler.h"

#include "platform/sim/sim_system_counters.h"

#include <gtest/gtest.h>

namespace tillory::monitor {
namespace {

using platform::CpuTicks;

class CPUSamplerTest : public ::testing::Test {
protected:
    CPUSamplerTest() {
        counters_.setCpuLoad(aggregate_);
        counters_.setProcessorLoad(cores_);
    }

    /// Moves the machine-wide counters on by the given ticks.
    void work(std::uint64_t user, std::uint64_t system, std::uint64_t idle, std::uint64_t nice = 0) {
        aggregate_.user += user;
        aggregate_.system += system;
        aggregate_.idle += idle;
        aggregate_.nice += nice;
        counters_.setCpuLoad(aggregate_);
    }

    /// Moves one processor's counters on by `busy` user ticks and `idle` idle ticks.
    void workCore(std::size_t core, std::uint64_t busy, std::uint64_t idle) {
        cores_[core].user += busy;
        cores_[core].idle += idle;
        counters_.setProcessorLoad(cores_);
    }

    platform::sim::SimSystemCounters counters_;
    CpuTicks aggregate_{5000, 3000, 90000, 200};
    std::vector<CpuTicks> cores_{{1000, 500, 20000, 50}, {1200, 700, 19000, 40}, {900, 400, 21000, 0}};
    CPUSampler sampler_{counters_};
};

TEST_F(CPUSamplerTest, FirstSampleIsZerosForEveryProcessorThenRealShares) {
    const CPUStats first = sampler_.sample();
    EXPECT_EQ(first, (CPUStats{0, 0, 0, {0, 0, 0}}));

    work(30, 20, 40, 10);
    workCore(0, 75, 25);
    workCore(1, 0, 100);
    workCore(2, 100, 0);
    const CPUStats second = sampler_.sample();
    EXPECT_DOUBLE_EQ(second.user, 0.4); // nice counts as user
    EXPECT_DOUBLE_EQ(second.system, 0.2);
    EXPECT_DOUBLE_EQ(second.total, 0.6);
    ASSERT_EQ(second.perCore.size(), 3u);
    EXPECT_DOUBLE_EQ(second.perCore[0], 0.75);
    EXPECT_DOUBLE_EQ(second.perCore[1], 0.0);
    EXPECT_DOUBLE_EQ(second.perCore[2], 1.0);
}

TEST_F(CPUSamplerTest, PerCoreBusyCountsSystemAndNiceTicks) {
    struct Case {
        CpuTicks delta; // user, system, idle, nice
        double busy;
    };
    const Case cases[] = {
        {{10, 20, 70, 0}, 0.3}, {{0, 25, 75, 0}, 0.25}, {{0, 0, 50, 50}, 0.5},
        {{10, 10, 0, 10}, 1.0}, {{0, 0, 0, 0}, 0.0},
    };
    std::vector<CpuTicks> before(std::size(cases), CpuTicks{1000, 1000, 1000, 1000});
    counters_.setProcessorLoad(before);
    sampler_.sample();
    std::vector<CpuTicks> after = before;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const CpuTicks& d = cases[i].delta;
        after[i] = {before[i].user + d.user, before[i].system + d.system, before[i].idle + d.idle,
                    before[i].nice + d.nice};
    }
    counters_.setProcessorLoad(after);
    const std::vector<double> perCore = sampler_.sample().perCore;
    ASSERT_EQ(perCore.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_DOUBLE_EQ(perCore[i], cases[i].busy) << "core " << i;
    }
}

TEST_F(CPUSamplerTest, NoTicksElapsedGivesZeroRatherThanNaN) {
    sampler_.sample();
    EXPECT_EQ(sampler_.sample(), (CPUStats{0, 0, 0, {0, 0, 0}})); // NaN would compare unequal
}

TEST_F(CPUSamplerTest, SharesAboveOneTogetherGiveATotalOfExactlyOne) {
    sampler_.sample();
    // The idle counter stepping back makes user and system each more than half of the (smaller) sum.
    aggregate_ = {aggregate_.user + 10, aggregate_.system + 10, aggregate_.idle - 5, aggregate_.nice};
    counters_.setCpuLoad(aggregate_);
    const CPUStats stats = sampler_.sample();
    ASSERT_GT(stats.user + stats.system, 1.0);
    EXPECT_EQ(stats.total, 1.0);
    EXPECT_LE(stats.user, 1.0);
}

TEST_F(CPUSamplerTest, ProcessorCountChangeGivesOneSampleOfZerosThenRealValues) {
    sampler_.sample();
    cores_.push_back({100, 100, 100, 0});
    for (std::size_t core = 0; core < cores_.size(); ++core) {
        workCore(core, 50, 50);
    }
    EXPECT_EQ(sampler_.sample().perCore, std::vector<double>(4, 0.0));

    for (std::size_t core = 0; core < cores_.size(); ++core) {
        workCore(core, 25, 75);
    }
    EXPECT_EQ(sampler_.sample().perCore, std::vector<double>(4, 0.25));

    cores_.clear();
    counters_.setProcessorLoad(cores_);
    EXPECT_TRUE(sampler_.sample().perCore.empty());
}

TEST_F(CPUSamplerTest, ProcessorCounterSteppingBackReportsZeroForThatProcessor) {
    sampler_.sample();
    cores_[1].user -= 500; // the processor's counters restarted
    cores_[1].idle += 100;
    counters_.setProcessorLoad(cores_);
    workCore(0, 50, 50);
    const CPUStats stats = sampler_.sample();
    EXPECT_DOUBLE_EQ(stats.perCore[0], 0.5);
    EXPECT_EQ(stats.perCore[1], 0.0);
}

// A failed read must not poison the next interval: it is measured from the last counters that were read.
TEST_F(CPUSamplerTest, FailedMachineWideReadIsZeroAndLaterMeasuredFromLastGoodCounters) {
    sampler_.sample();
    work(10, 0, 90);
    counters_.setCpuLoad(std::nullopt);
    const CPUStats failed = sampler_.sample();
    EXPECT_EQ(failed.total, 0.0);
    EXPECT_EQ(failed.user, 0.0);

    work(90, 0, 10);
    const CPUStats recovered = sampler_.sample();
    EXPECT_DOUBLE_EQ(recovered.user, 0.5);
}

TEST_F(CPUSamplerTest, FailedProcessorReadKeepsTheLengthAndTheLastGoodCounters) {
    sampler_.sample();
    workCore(2, 20, 80);
    counters_.setProcessorLoad(std::nullopt);
    EXPECT_EQ(sampler_.sample().perCore, std::vector<double>(3, 0.0));

    workCore(2, 80, 20);
    EXPECT_DOUBLE_EQ(sampler_.sample().perCore[2], 0.5);
}

} // namespace
} // namespace tillory::monitor
