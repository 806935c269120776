#include "monitor/memory_sampler.h"

#include "platform/sim/sim_system_counters.h"

#include <gtest/gtest.h>

namespace tillory::monitor {
namespace {

using platform::VmStatistics;

constexpr std::uint64_t kPage = 4096;
constexpr std::uint64_t kPages = 1000; // a machine of 1000 pages keeps the expected shares readable

VmStatistics pages(std::uint64_t internal, std::uint64_t purgeable, std::uint64_t wired, std::uint64_t compressor,
                   std::uint64_t external) {
    return {kPage, internal, purgeable, wired, compressor, external};
}

class MemorySamplerTest : public ::testing::Test {
protected:
    MemorySamplerTest() { counters_.setPhysicalMemory(kPage * kPages); }

    MemoryStats sample() {
        MemorySampler sampler(counters_);
        return sampler.sample();
    }

    platform::sim::SimSystemCounters counters_;
};

TEST_F(MemorySamplerTest, SharesAreOfPhysicalMemoryAndCachedPagesAreNotUsed) {
    counters_.setVmStatistics(pages(300, 50, 100, 150, 200));
    counters_.setSwapUsage(platform::SwapUsage{2048, 512});
    const MemoryStats stats = sample();
    EXPECT_DOUBLE_EQ(stats.app, 0.25);
    EXPECT_DOUBLE_EQ(stats.wired, 0.1);
    EXPECT_DOUBLE_EQ(stats.compressed, 0.15);
    EXPECT_DOUBLE_EQ(stats.cached, 0.2);
    EXPECT_DOUBLE_EQ(stats.used, 0.5);
    EXPECT_EQ(stats.totalBytes, kPage * kPages);
    EXPECT_EQ(stats.swapTotal, 2048u);
    EXPECT_EQ(stats.swapUsed, 512u);
}

TEST_F(MemorySamplerTest, MorePurgeableThanAnonymousPagesReportsNoAppMemory) {
    counters_.setVmStatistics(pages(100, 400, 100, 0, 0));
    const MemoryStats stats = sample();
    EXPECT_EQ(stats.app, 0.0);
    EXPECT_DOUBLE_EQ(stats.used, 0.1); // the negative share is not subtracted from the others
}

TEST_F(MemorySamplerTest, UsedIsCappedAtOneWhileTheSharesThemselvesAreNot) {
    counters_.setVmStatistics(pages(0, 0, 900, 300, 1100));
    const MemoryStats stats = sample();
    EXPECT_EQ(stats.used, 1.0);
    EXPECT_DOUBLE_EQ(stats.compressed, 0.3);
    EXPECT_DOUBLE_EQ(stats.cached, 1.1);
}

TEST_F(MemorySamplerTest, UnreadableStatisticsGiveZeroSharesButSwapIsStillReported) {
    counters_.setSwapUsage(platform::SwapUsage{4096, 1024});
    const MemoryStats stats = sample();
    EXPECT_EQ(stats, (MemoryStats{0, 0, 0, 0, 0, kPage * kPages, 1024, 4096}));
}

TEST_F(MemorySamplerTest, UnknownMemorySizeGivesZeroSharesAndUnreadableSwapGivesZeroSwap) {
    counters_.setPhysicalMemory(0);
    counters_.setVmStatistics(pages(300, 0, 100, 100, 100));
    EXPECT_EQ(sample(), MemoryStats{});
}

} // namespace
} // namespace tillory::monitor
