#include "monitor/process_sampler.h"

#include "platform/sim/sim_system_counters.h"

#include <gtest/gtest.h>

#include <functional>

#include <algorithm>

namespace tillory::monitor {
namespace {

using platform::ProcessUsage;

constexpr std::uint64_t kSecond = 1'000'000'000;
constexpr std::uint64_t kGiB = 1ull << 30;
constexpr std::uint64_t kMiB = 1ull << 20;

class ProcessSamplerTest : public ::testing::Test {
protected:
    ProcessSamplerTest() {
        counters_.setPhysicalMemory(16 * kGiB);
        counters_.addProcess(kShell, QStringLiteral("zsh"), {10 * kSecond, 2 * kGiB, 1000, 1000});
        counters_.addProcess(kEditor, QStringLiteral("editor-bin"), {50 * kSecond, 4 * kGiB, 0, 0});
    }

    std::optional<std::vector<ProcessSample>> sample(int coreCount = 4) { return sampler_.sample(apps_, coreCount); }

    /// Starts a run and lets `seconds` pass, so the next call reports that interval.
    void startRun(double seconds = 2.0) {
        sampler_.reset();
        ASSERT_EQ(sample(), std::nullopt);
        counters_.advanceSeconds(seconds);
    }

    /// A copy of the process's sample, so that it outlives the list it came from.
    static std::optional<ProcessSample> find(const std::vector<ProcessSample>& list, std::int32_t pid) {
        const auto it = std::find_if(list.begin(), list.end(), [&](const auto& s) { return s.pid == pid; });
        return it != list.end() ? std::optional<ProcessSample>(*it) : std::nullopt;
    }

    static constexpr std::int32_t kShell = 310;
    static constexpr std::int32_t kEditor = 42;
    platform::sim::SimSystemCounters counters_;
    AppMap apps_{{kEditor, {QStringLiteral("Editor"), true}}};
    ProcessSampler sampler_{counters_};
};

TEST_F(ProcessSamplerTest, FirstCallOfARunIsNothingAndTheNextReportsTheInterval) {
    startRun(2.0);
    counters_.addProcessWork(kShell, 2 * kSecond, 3000, 1000); // one core busy for the whole interval
    const auto samples = sample(4);
    ASSERT_TRUE(samples);
    ASSERT_EQ(samples->size(), 2u);
    EXPECT_EQ((*samples)[0], (ProcessSample{kShell, QStringLiteral("zsh"), 25.0, 12.5, 2000.0, false}));
    EXPECT_EQ((*samples)[1], (ProcessSample{kEditor, QStringLiteral("Editor"), 0.0, 25.0, 0.0, true}));

    sampler_.reset();
    counters_.advanceSeconds(2.0);
    EXPECT_EQ(sample(), std::nullopt);
}

TEST_F(ProcessSamplerTest, ShareIsOfTheWholeMachineAndNeverAboveAHundred) {
    startRun(2.0);
    counters_.addProcessWork(kShell, 2 * kSecond);
    EXPECT_DOUBLE_EQ(find(*sample(8), kShell)->cpu, 12.5);

    counters_.advanceSeconds(2.0);
    counters_.addProcessWork(kShell, kSecond);
    EXPECT_DOUBLE_EQ(find(*sample(0), kShell)->cpu, 50.0); // an unknown core count counts as one

    counters_.advanceSeconds(2.0);
    counters_.addProcessWork(kShell, 16 * kSecond);
    EXPECT_EQ(find(*sample(2), kShell)->cpu, 100.0);
}

TEST_F(ProcessSamplerTest, ReusedPidReportsNoCpuOrDiskForThatInterval) {
    startRun();
    counters_.addProcess(kShell, QStringLiteral("python3"), {kSecond, 0, 900'000, 900'000});
    const std::optional<ProcessSample> reused = find(*sample(), kShell);
    ASSERT_TRUE(reused.has_value());
    EXPECT_EQ(reused->name, QStringLiteral("python3"));
    EXPECT_EQ(reused->cpu, 0.0);
    EXPECT_EQ(reused->disk, 0.0);

    counters_.advanceSeconds(1.0);
    counters_.addProcessWork(kShell, kSecond / 2, 500);
    EXPECT_DOUBLE_EQ(find(*sample(1), kShell)->cpu, 50.0);
}

TEST_F(ProcessSamplerTest, CommandLineIsReadOncePerProcessAndAgainForAReusedPid) {
    counters_.setProcessCommandLine(kShell, QStringLiteral("/bin/zsh -l"));
    startRun();
    const int reads = counters_.commandLineReads();
    const struct {
        const char* step;
        std::function<void()> change;
        const char* shown;
        int newReads;
    } steps[] = {
        {"same process", [] {}, "/bin/zsh -l", 0},
        {"its line changed, still the same process",
         [&] { counters_.setProcessCommandLine(kShell, QStringLiteral("zsh")); }, "/bin/zsh -l", 0},
        {"the pid now holds another process",
         [&] {
             counters_.addProcess(kShell, QStringLiteral("python3"), {kSecond, 0, 0, 0});
             counters_.setProcessCommandLine(kShell, QStringLiteral("python3 serve.py"));
         },
         "python3 serve.py", 1},
    };
    int seen = counters_.commandLineReads();
    for (const auto& s : steps) {
        s.change();
        counters_.advanceSeconds(2.0);
        const auto shell = find(*sample(), kShell);
        ASSERT_TRUE(shell) << s.step;
        EXPECT_EQ(shell->commandLine, QString::fromUtf8(s.shown)) << s.step;
        EXPECT_EQ(counters_.commandLineReads() - seen, s.newReads) << s.step;
        seen = counters_.commandLineReads();
    }
    EXPECT_GE(reads, 2) << "each process was read once when first seen";
}

TEST_F(ProcessSamplerTest, ProcessThatLeftAndCameBackStartsAfresh) {
    startRun();
    counters_.removeProcess(kShell);
    ASSERT_FALSE(find(*sample(), kShell).has_value());

    counters_.advanceSeconds(2.0);
    counters_.addProcess(kShell, QStringLiteral("zsh"), {20 * kSecond, 0, 5000, 0});
    const std::optional<ProcessSample> back = find(*sample(), kShell);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->cpu, 0.0);
    EXPECT_EQ(back->disk, 0.0);
}

TEST_F(ProcessSamplerTest, NamesComeFromTheApplicationThenTheProcess) {
    apps_[kShell] = {QString(), true};
    counters_.addProcess(7, QString());
    counters_.addProcess(8, QString());
    apps_[8] = {QStringLiteral("Helper"), false};
    startRun();
    const auto samples = *sample();
    ASSERT_TRUE(find(samples, kShell).has_value());
    EXPECT_EQ(find(samples, kShell)->name, QStringLiteral("zsh"));
    EXPECT_TRUE(find(samples, kShell)->isApp);
    EXPECT_FALSE(find(samples, 7).has_value());
    ASSERT_TRUE(find(samples, 8).has_value());
    EXPECT_EQ(find(samples, 8)->name, QStringLiteral("Helper"));
    EXPECT_FALSE(find(samples, 8)->isApp);
}

TEST_F(ProcessSamplerTest, UninspectableProcessesAndInvalidIdsAreSkipped) {
    counters_.addProcess(0, QStringLiteral("kernel_task"));
    counters_.addProcess(-1, QStringLiteral("bogus"));
    startRun();
    counters_.setProcessUsage(kEditor, std::nullopt);
    const auto samples = *sample();
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].pid, kShell);

    // Unreadable for one interval means no previous reading for the next.
    counters_.setProcessUsage(kEditor, ProcessUsage{60 * kSecond, 0, 0, 0});
    counters_.advanceSeconds(2.0);
    EXPECT_EQ(find(*sample(), kEditor)->cpu, 0.0);
}

TEST_F(ProcessSamplerTest, UnreadableProcessListKeepsThePreviousState) {
    counters_.setProcessListReadable(false);
    EXPECT_EQ(sample(), std::nullopt);
    counters_.setProcessListReadable(true);
    startRun(1.0);

    counters_.setProcessListReadable(false);
    const auto empty = sample();
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());

    counters_.setProcessListReadable(true);
    counters_.advanceSeconds(1.0);
    counters_.addProcessWork(kShell, kSecond);
    EXPECT_DOUBLE_EQ(find(*sample(1), kShell)->cpu, 50.0); // over both seconds since the last good call
}

TEST_F(ProcessSamplerTest, MemoryIsAShareOfPhysicalMemoryAndZeroWhenItIsUnknown) {
    startRun();
    counters_.setPhysicalMemory(0);
    const auto samples = sample();
    ASSERT_TRUE(samples.has_value());
    ASSERT_FALSE(samples->empty());
    for (const auto& listed : *samples) {
        EXPECT_EQ(listed.memory, 0.0);
    }
}

TEST_F(ProcessSamplerTest, ClockSteppingBackGivesNoInterval) {
    startRun();
    counters_.setMonotonicNanos(kSecond / 2);
    EXPECT_EQ(sample(), std::nullopt);
    counters_.advanceSeconds(1.0);
    counters_.addProcessWork(kShell, kSecond / 4);
    EXPECT_DOUBLE_EQ(find(*sample(1), kShell)->cpu, 25.0);
}

TEST(ProcessSampler, AtMostFourThousandNinetySixProcessesAreRead) {
    platform::sim::SimSystemCounters counters;
    const std::int32_t total = 4096 + 4;
    for (std::int32_t pid = 1; pid <= total; ++pid) {
        counters.addProcess(pid, QStringLiteral("worker"));
    }
    ProcessSampler sampler(counters);
    sampler.sample({}, 1);
    counters.advanceSeconds(2.0);
    const auto samples = sampler.sample({}, 1);
    ASSERT_EQ(samples->size(), 4096u);
    EXPECT_EQ(samples->back().pid, 4096);
}

TEST(ProcessSample, MemoryTextIsInGigabytesFromOneGibibyteUp) {
    constexpr std::uint64_t physical = 16 * kGiB;
    const auto text = [&](std::uint64_t bytes) {
        ProcessSample sample;
        sample.memory = static_cast<double>(bytes) / static_cast<double>(physical) * 100.0;
        return sample.memoryText(physical);
    };
    EXPECT_EQ(text(kGiB + kGiB / 2), QStringLiteral("1.5 GB"));
    EXPECT_EQ(text(340 * kMiB), QStringLiteral("340 MB"));
    EXPECT_EQ(text(kGiB), QStringLiteral("1.0 GB"));
    EXPECT_EQ(text(kGiB - kMiB), QStringLiteral("1023 MB"));
    EXPECT_EQ(text(0), QStringLiteral("0 MB"));
}

} // namespace
} // namespace tillory::monitor
