// Steady sampling must not allocate per process, processor or interface: a sample runs every second for the
// program's life. Counting the global allocations of one call, with small and large machines, shows it.
#include "monitor/cpu_sampler.h"
#include "monitor/io_sampler.h"
#include "monitor/process_sampler.h"

#include "platform/sim/sim_system_counters.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> allocations{0};

} // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

// The standard library's temporary buffers (stable sorting) come from the nothrow form: it must pair with the
// deletes above too.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

namespace tillory::monitor {
namespace {

/// Allocations made by `call`.
template <typename Call> long allocationsOf(Call&& call) {
    const long before = allocations.load();
    call();
    return allocations.load() - before;
}

/// Allocations of the third call on a machine of `count` processes (the first two size the reused buffers).
long processSamplerAllocations(int count) {
    platform::sim::SimSystemCounters counters;
    counters.setPhysicalMemory(1ull << 34);
    for (int pid = 1; pid <= count; ++pid) {
        counters.addProcess(pid, QStringLiteral("worker"), {static_cast<std::uint64_t>(pid), 1, 1, 1});
    }
    const AppMap apps{{1, {QStringLiteral("App"), true}}};
    ProcessSampler sampler(counters);
    for (int i = 0; i < 2; ++i) {
        counters.advanceSeconds(1.0);
        sampler.sample(apps, 4);
    }
    counters.advanceSeconds(1.0);
    return allocationsOf([&] { ASSERT_EQ(sampler.sample(apps, 4)->size(), static_cast<std::size_t>(count)); });
}

long cpuSamplerAllocations(std::size_t cores) {
    platform::sim::SimSystemCounters counters;
    std::vector<platform::CpuTicks> ticks(cores, platform::CpuTicks{1, 1, 1, 1});
    counters.setCpuLoad(platform::CpuTicks{1, 1, 1, 1});
    counters.setProcessorLoad(ticks);
    CPUSampler sampler(counters);
    sampler.sample();
    sampler.sample();
    for (auto& core : ticks) {
        core.user += 10;
        core.idle += 10;
    }
    counters.setProcessorLoad(ticks);
    return allocationsOf([&] { ASSERT_EQ(sampler.sample().perCore, std::vector<double>(cores, 0.5)); });
}

long netAllocations(int interfaceCount) {
    platform::sim::SimSystemCounters counters;
    std::vector<platform::InterfaceCounters> interfaces;
    for (int i = 0; i < interfaceCount; ++i) {
        interfaces.push_back({QStringLiteral("en%1").arg(i), 0, 0, false});
    }
    counters.setInterfaces(interfaces);
    IOSampler sampler(counters);
    sampler.netStats(1.0);
    sampler.netStats(1.0);
    for (int i = 0; i < interfaceCount; ++i) {
        interfaces[static_cast<std::size_t>(i)].rxBytes = static_cast<std::uint64_t>(i + 1) * 100;
    }
    counters.setInterfaces(interfaces);
    return allocationsOf(
        [&] { ASSERT_EQ(sampler.netStats(1.0).perInterface.size(), static_cast<std::size_t>(interfaceCount)); });
}

TEST(SamplerAllocations, ProcessSamplingDoesNotAllocatePerProcess) {
    EXPECT_EQ(processSamplerAllocations(2000), processSamplerAllocations(10));
}

TEST(SamplerAllocations, ProcessorSamplingDoesNotAllocatePerProcessor) {
    EXPECT_EQ(cpuSamplerAllocations(64), cpuSamplerAllocations(2));
}

TEST(SamplerAllocations, NetworkSamplingDoesNotAllocatePerInterface) {
    EXPECT_EQ(netAllocations(40), netAllocations(3));
}

} // namespace
} // namespace tillory::monitor
