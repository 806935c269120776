// What a switcher session costs on X11 with 50 client windows of 800 × 600 under Xvfb and openbox: reading the
// window list (one round trip for all windows), and capturing all 50 thumbnails at a quarter of their size on the
// capture thread until the last one is delivered. Starts its own Xvfb and openbox.
//
//   tillory_x11_windows_bench [--benchmark_repetitions=5 ...]
#include "platform/x11/x11_clients.h"
#include "platform/x11/x11_thumbnails.h"
#include "platform/x11/x11_window_list.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

using namespace tillory::platform;
using namespace tillory::platform::nix;

namespace {

constexpr int kWindows = 50;
std::string gDisplay;
std::vector<xcb_window_t> gWindows;

void ReadWindowList(benchmark::State& state) {
    X11Clients clients(gDisplay);
    X11WindowList list(clients, 0);
    std::size_t listed = 0;
    for (auto _ : state) {
        listed = list.windows(static_cast<unsigned>(WindowListOption::ExcludeDesktopElements)).size();
        benchmark::DoNotOptimize(listed);
    }
    state.counters["windows"] = double(listed);
}
BENCHMARK(ReadWindowList)->Unit(benchmark::kMillisecond);

// The X part of the read alone: the client list and every window's properties, without naming applications.
void ReadClients(benchmark::State& state) {
    X11Clients clients(gDisplay);
    for (auto _ : state) {
        benchmark::DoNotOptimize(clients.read().size());
    }
}
BENCHMARK(ReadClients)->Unit(benchmark::kMillisecond);

void CaptureFiftyThumbnails(benchmark::State& state) {
    X11WindowCapture capture([](std::function<void()> work) { work(); }, gDisplay);
    std::vector<CaptureRequest> requests;
    for (const xcb_window_t w : gWindows) {
        requests.push_back({w, 200, 150});
    }
    std::mutex mutex;
    std::condition_variable done;
    int delivered = 0;
    int images = 0;
    for (auto _ : state) {
        {
            const std::lock_guard lock(mutex);
            delivered = images = 0;
        }
        capture.capture(requests, [&](std::uint32_t, std::optional<Bitmap> image) {
            const std::lock_guard lock(mutex);
            ++delivered;
            images += image ? 1 : 0;
            done.notify_all();
        });
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return delivered == kWindows; });
    }
    state.counters["images"] = images;
}
BENCHMARK(CaptureFiftyThumbnails)->Unit(benchmark::kMillisecond);

bool startDesktop(QProcess& xvfb, QProcess& openbox, const QTemporaryDir& config) {
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-noreset"), QStringLiteral("-displayfd"), QStringLiteral("1"),
                                        QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x800x24"),
                                        QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!xvfb.waitForReadyRead(30000)) {
        return false;
    }
    gDisplay = (QByteArray(":") + xvfb.readLine().trimmed()).toStdString();
    qputenv("DISPLAY", QByteArray::fromStdString(gDisplay));
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

bool makeWindows(X11Clients& clients) {
    xcb_connection_t* c = clients.connection();
    for (int i = 0; i < kWindows; ++i) {
        const xcb_window_t w = xcb_generate_id(c);
        const std::uint32_t background = 0x101010u * std::uint32_t(i % 15 + 1);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, clients.root(), 20 * (i % 20), 10 * (i % 20), 800, 600, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, &background);
        const QByteArray title = "Window " + QByteArray::number(i);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, clients.atom("_NET_WM_NAME"), clients.atom("UTF8_STRING"), 8,
                            std::uint32_t(title.size()), title.constData());
        const std::uint32_t pid = 5000 + std::uint32_t(i % 10);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, clients.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
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
    QCoreApplication app(argc, argv);
    QProcess xvfb;
    QProcess openbox;
    QTemporaryDir config;
    if (!startDesktop(xvfb, openbox, config)) {
        std::fprintf(stderr, "no Xvfb with openbox to start\n");
        return 77;
    }
    int status = 0;
    {
        X11Clients clients(gDisplay);
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
