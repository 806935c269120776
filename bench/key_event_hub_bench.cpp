// Dispatch cost of one key event through the hub with four pass-through handlers (every feature on), and the heap
// allocations it makes. Allocations are counted by replacing the global allocator in this binary.
#include "core/manual_scheduler.h"
#include "keyhub/key_event_hub.h"
#include "platform/sim/sim_desktop.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

using namespace tillory;

static void BM_DispatchThroughFourHandlers(benchmark::State& state) {
    core::ManualScheduler scheduler;
    platform::sim::SimDesktop sim(scheduler);
    sim.grantAccessibility();
    const platform::Platform p = sim.platform();
    keyhub::KeyEventHub hub(*p.eventTaps, *p.accessibility, scheduler);
    int seen = 0;
    for (int i = 0; i < 4; ++i) {
        // Each handler looks at the event the way the features do (key code and flags) and lets it pass.
        hub.registerHandler([&seen](platform::EventType, const platform::Event& event) -> platform::EventResult {
            if (event.keyCode == platform::KeyCode::Tab && (event.flags & platform::EventFlags::Command)) {
                ++seen;
            }
            return event;
        });
    }
    platform::Event event = platform::Event::key(platform::EventType::KeyDown, platform::KeyCode::A);
    const std::size_t before = allocations.load();
    for (auto _ : state) {
        auto result = hub.dispatch(platform::EventType::KeyDown, event);
        benchmark::DoNotOptimize(result);
    }
    const std::size_t allocated = allocations.load() - before;
    state.counters["allocations_per_event"] =
        benchmark::Counter(static_cast<double>(allocated) / static_cast<double>(state.iterations()));
    if (allocated != 0) {
        state.SkipWithError("dispatch allocated on the heap");
    }
    benchmark::DoNotOptimize(seen);
}
BENCHMARK(BM_DispatchThroughFourHandlers)->Repetitions(10)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
