// The snap controller's share of one pointer motion during a window drag: finding the target under the pointer
// (corner, edge, bar zone) and publishing the overlay's state, on the simulated desktop so that only the logic is
// timed. The X11 side (pointer query, window frame read) is measured by snap_compare.py.
#include "core/manual_scheduler.h"
#include "keyhub/key_event_hub.h"
#include "platform/sim/sim_desktop.h"
#include "snap/snap_controller.h"

#include <benchmark/benchmark.h>

namespace {

using namespace tillory;
using platform::Event;
using platform::EventType;

Event mouse(EventType type, platform::Point p) {
    Event e;
    e.type = type;
    e.location = p;
    e.clickState = 1;
    return e;
}

void BM_DragMotion(benchmark::State& state) {
    core::ManualScheduler scheduler;
    platform::sim::SimDesktop sim(scheduler);
    sim.setScreens({{{0, 0, 1920, 1080}, {0, 0, 1920, 1050}}});
    sim.grantAccessibility();
    const auto pid = sim.launchApp(QStringLiteral("org.editor"), QStringLiteral("Editor"));
    const auto window = sim.openWindow(pid, QStringLiteral("Notes"), {100, 100, 1200, 800});
    sim.activate(pid);
    platform::Platform platform = sim.platform();
    keyhub::KeyEventHub hub(*platform.eventTaps, *platform.accessibility, scheduler);
    snap::SnapController snap(platform, hub, scheduler, nullptr, 1);
    snap.enable();
    int published = 0;
    QObject::connect(&snap, &snap::SnapController::dragChanged, [&published] { ++published; });
    sim.inject(mouse(EventType::LeftMouseDown, {600, 110}));
    sim.inject(mouse(EventType::LeftMouseDragged, {650, 110}));
    sim.setWindowBounds(window, {150, 100, 1200, 800});
    sim.inject(mouse(EventType::LeftMouseDragged, {650, 110}));
    if (snap.dragPhase() != snap::SnapController::DragPhase::Dragging) {
        state.SkipWithError("the drag did not start");
        return;
    }
    // A path across the bar, the top corners and the side edges, as a drag to the top of the screen takes.
    const platform::Point path[] = {{960, 300}, {700, 80}, {760, 70}, {5, 5}, {1915, 500}, {960, 120}, {3, 600}};
    std::size_t i = 0;
    for (auto _ : state) {
        snap.mouseDispatch(EventType::LeftMouseDragged, mouse(EventType::LeftMouseDragged, path[i++ % 7]));
    }
    state.counters["published"] = benchmark::Counter(published, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DragMotion)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
