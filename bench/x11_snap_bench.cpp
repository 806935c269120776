// What window snapping costs the X11 backend, with 50 client windows under Xvfb and openbox: one frame applied
// as the snapping logic does it (position, size, position, twice, then a read), the same frame once more (the
// delayed second application, where nothing changes), the screens with and without a panel change, and the
// platform's share of one drag event (the pointer read, the dragged window's frame, three screen lookups).
// Starts its own Xvfb and openbox.
//
//   tillory_x11_snap_bench [--benchmark_repetitions=5 ...]
#include "platform/x11/x11_clients.h"
#include "platform/x11/x11_screens.h"
#include "platform/x11/x11_window_elements.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <memory>
#include <vector>

using namespace tillory::platform;
using namespace tillory::platform::nix;

namespace {

constexpr int kWindows = 50;
constexpr std::int32_t kPid = 5000;
std::vector<xcb_window_t> gWindows;

Element firstWindow(X11WindowElements& elements) {
    const AXValue all = elements.attribute(elements.application(kPid), AXAttribute::Windows);
    const auto* list = std::get_if<std::vector<Element>>(&all);
    return list && !list->empty() ? list->front() : nullptr;
}

void apply(X11WindowElements& elements, const Element& window, const Rect& r) {
    elements.setAttribute(window, AXAttribute::Position, r.origin());
    elements.setAttribute(window, AXAttribute::Size, r.size());
    elements.setAttribute(window, AXAttribute::Position, r.origin());
}

void setFrame(X11WindowElements& elements, const Element& window, const Rect& r) {
    apply(elements, window, r);
    apply(elements, window, r);
    benchmark::DoNotOptimize(elements.attribute(window, AXAttribute::Position));
    benchmark::DoNotOptimize(elements.attribute(window, AXAttribute::Size));
}

// Each time elsewhere and another size: the left half, then the top-right quarter.
void FrameElsewhere(benchmark::State& state) {
    X11Clients clients;
    X11WindowElements elements(clients);
    const Element window = firstWindow(elements);
    const Rect frames[] = {{0, 0, 640, 770}, {640, 0, 640, 385}};
    int i = 0;
    for (auto _ : state) {
        setFrame(elements, window, frames[++i % 2]);
    }
}
BENCHMARK(FrameElsewhere)->Unit(benchmark::kMillisecond);

// Out of the maximised state first.
void FrameOfAMaximisedWindow(benchmark::State& state) {
    X11Clients clients;
    X11WindowElements elements(clients);
    const Element window = firstWindow(elements);
    const xcb_window_t id = elements.windowNumber(window);
    const std::array<std::uint32_t, 5> maximise{1, clients.atom("_NET_WM_STATE_MAXIMIZED_VERT"),
                                                clients.atom("_NET_WM_STATE_MAXIMIZED_HORZ"), 2, 0};
    for (auto _ : state) {
        state.PauseTiming();
        clients.sendToWindowManager(id, clients.atom("_NET_WM_STATE"), maximise);
        while (!clients.read(id).front().maximized) {
            QThread::usleep(500);
        }
        state.ResumeTiming();
        setFrame(elements, window, {0, 0, 640, 770});
    }
}
BENCHMARK(FrameOfAMaximisedWindow)->Unit(benchmark::kMillisecond);

void SameFrameAgain(benchmark::State& state) {
    X11Clients clients;
    X11WindowElements elements(clients);
    const Element window = firstWindow(elements);
    setFrame(elements, window, {0, 0, 640, 800});
    for (auto _ : state) {
        setFrame(elements, window, {0, 0, 640, 800});
    }
}
BENCHMARK(SameFrameAgain)->Unit(benchmark::kMicrosecond);

void Screens(benchmark::State& state) {
    X11Screens screens;
    for (auto _ : state) {
        benchmark::DoNotOptimize(screens.screens());
    }
}
BENCHMARK(Screens)->Unit(benchmark::kMicrosecond);

// A panel rewriting its strut before each call: the screens are read afresh every time (the write's own round
// trip included).
void ScreensAfterAPanelChange(benchmark::State& state) {
    X11Clients clients;
    X11Screens screens;
    const xcb_atom_t strut = clients.atom("_NET_WM_STRUT");
    std::uint32_t value[] = {0, 0, 0, 30};
    for (auto _ : state) {
        value[3] = value[3] == 30 ? 31 : 30;
        xcb_change_property(clients.connection(), XCB_PROP_MODE_REPLACE, gWindows.back(), strut, XCB_ATOM_CARDINAL, 32,
                            4, value);
        clients.sync();
        benchmark::DoNotOptimize(screens.screens());
    }
}
BENCHMARK(ScreensAfterAPanelChange)->Unit(benchmark::kMicrosecond);

void DragEvent(benchmark::State& state) {
    X11Clients clients;
    X11WindowElements elements(clients);
    X11Screens screens;
    const Element window = firstWindow(elements);
    xcb_connection_t* c = clients.connection();
    for (auto _ : state) {
        std::free(xcb_query_pointer_reply(c, xcb_query_pointer(c, clients.root()), nullptr));
        benchmark::DoNotOptimize(elements.attribute(window, AXAttribute::Position));
        benchmark::DoNotOptimize(elements.attribute(window, AXAttribute::Size));
        for (int i = 0; i < 3; ++i) {
            benchmark::DoNotOptimize(screens.screens());
        }
    }
}
BENCHMARK(DragEvent)->Unit(benchmark::kMicrosecond);

bool startDesktop(QProcess& xvfb, QProcess& openbox, const QTemporaryDir& config) {
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-noreset"), QStringLiteral("-displayfd"), QStringLiteral("1"),
                                        QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x800x24"),
                                        QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!xvfb.waitForReadyRead(30000)) {
        return false;
    }
    qputenv("DISPLAY", QByteArray(":") + xvfb.readLine().trimmed());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QFile rc(config.filePath(QStringLiteral("rc.xml")));
    rc.open(QIODevice::WriteOnly);
    rc.write("<?xml version=\"1.0\"?>\n<openbox_config xmlns=\"http://openbox.org/3.4/rc\">"
             "<keyboard></keyboard><mouse></mouse></openbox_config>\n");
    rc.close();
    openbox.start(QStringLiteral("openbox"),
                  {QStringLiteral("--sm-disable"), QStringLiteral("--config-file"), rc.fileName()});
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30000) {
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_OB_THEME")});
        xprop.waitForFinished(5000);
        if (xprop.readAll().contains("_OB_THEME(")) {
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

/// 50 windows of one process, the last of them a panel along the bottom.
bool makeWindows(X11Clients& clients) {
    xcb_connection_t* c = clients.connection();
    for (int i = 0; i < kWindows; ++i) {
        const xcb_window_t w = xcb_generate_id(c);
        const bool panel = i == kWindows - 1;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, clients.root(), 20 * (i % 20), panel ? 770 : 10 * (i % 20),
                          panel ? 1280 : 800, panel ? 30 : 600, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          0, nullptr);
        const std::uint32_t pid = kPid;
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, clients.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
        if (panel) {
            const xcb_atom_t dock = clients.atom("_NET_WM_WINDOW_TYPE_DOCK");
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, clients.atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1,
                                &dock);
            const std::uint32_t strut[] = {0, 0, 0, 30};
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, clients.atom("_NET_WM_STRUT"), XCB_ATOM_CARDINAL, 32, 4,
                                strut);
        }
        xcb_map_window(c, w);
        gWindows.push_back(w);
    }
    xcb_flush(c);
    QElapsedTimer timer;
    timer.start();
    while (clients.read().size() < std::size_t(kWindows)) {
        if (timer.elapsed() > 20000) {
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QProcess xvfb;
    QProcess openbox;
    QTemporaryDir config;
    if (!startDesktop(xvfb, openbox, config)) {
        std::fprintf(stderr, "no Xvfb with openbox to start\n");
        return 77;
    }
    int status = 0;
    {
        QGuiApplication app(argc, argv);
        X11Clients clients;
        if (!makeWindows(clients)) {
            std::fprintf(stderr, "openbox did not manage the %d windows\n", kWindows);
            status = 1;
        } else {
            benchmark::Initialize(&argc, argv);
            benchmark::RunSpecifiedBenchmarks();
            benchmark::Shutdown();
        }
    }
    openbox.terminate();
    openbox.waitForFinished(5000);
    xvfb.terminate();
    xvfb.waitForFinished(5000);
    return status;
}
