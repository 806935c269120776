// The snap panel on a real X server (Xvfb with openbox and no compositing manager): an override-redirect window
// that takes clicks while the picker or Snap Assist is open and lets every click through while the drag overlay
// shows, and that shows only what it draws.
#include "core/manual_scheduler.h"
#include "keyhub/key_event_hub.h"
#include "platform/x11/tests/x_test_env.h"
#include "platform/x11/x11_compositor.h"
#include "platform/sim/sim_desktop.h"
#include "snap/snap_controller.h"
#include "snap/view/quick_snap_panel.h"

#include <QDir>
#include <QPainter>
#include <QQuickWindow>
#include <QRasterWindow>
#include <QScreen>

namespace tillory::snap {
namespace {

using platform::nix::testing::pump;
using platform::nix::testing::pumpUntil;
using platform::nix::testing::XEnvironment;
using platform::nix::testing::XServer;

// No session bus: the panel needs none, and Qt would otherwise have one started on the test's X server.
const bool installed =
    (qputenv("QT_QUICK_BACKEND", "software"),
     qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tillory-test-bus"), XEnvironment::install(true));

/// A window of another program under the panel, counting the presses it gets.
class Beneath final : public QRasterWindow {
public:
    int presses = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), QColor(0x40, 0x90, 0x60));
    }
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

int click(QPoint p) {
    return XServer::run(QStringLiteral("xdotool"),
                        {QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
                         QStringLiteral("click"), QStringLiteral("1")});
}

QString windowInfo(WId window) {
    QProcess info;
    info.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)});
    info.waitForFinished(10000);
    return QString::fromLocal8Bit(info.readAll());
}

/// The whole display as it is shown, saved beside the test for a person to look at.
void screenshot(const QString& name) {
    XServer::run(QStringLiteral("import"),
                 {QStringLiteral("-window"), QStringLiteral("root"),
                  QDir(QCoreApplication::applicationDirPath()).filePath(name + QStringLiteral(".png"))});
}

TEST(SnapPanelX11, TakesClicksWhileOpenAndLetsThemThroughWhileDragging) {
    if (!XEnvironment::skipReason().isEmpty()) {
        GTEST_SKIP() << XEnvironment::skipReason().toStdString();
    }
    core::ManualScheduler scheduler;
    platform::sim::SimDesktop sim{scheduler};
    const QRect display = QGuiApplication::primaryScreen()->geometry();
    const double w = display.width(), h = display.height();
    sim.setScreens({{{0, 0, w, h}, {0, 0, w, h - 25}}});
    sim.grantAccessibility();
    const auto other = sim.launchApp(QStringLiteral("org.files"), QStringLiteral("Files"));
    const auto files = sim.openWindow(other, QStringLiteral("Downloads"), {60, 60, 600, 400});
    const auto pid = sim.launchApp(QStringLiteral("org.editor"), QStringLiteral("Editor"));
    const auto editor = sim.openWindow(pid, QStringLiteral("Notes"), {100, 100, 800, 500});
    sim.activate(pid);
    platform::Platform platform = sim.platform();
    keyhub::KeyEventHub hub{*platform.eventTaps, *platform.accessibility, scheduler};
    const platform::nix::X11Compositor compositor(XEnvironment::server()->display().toStdString());
    QuickSnapPanelFactory panels;
    panels.setTranslucency([&compositor] { return compositor.isRunning(); });
    SnapController snap(platform, hub, scheduler, &panels, 1);
    panels.setController(&snap);
    snap.enable();

    Beneath beneath;
    beneath.setGeometry(500, 300, 300, 200);
    beneath.show();
    ASSERT_TRUE(pumpUntil([&] { return beneath.isExposed(); }));

    // A drag to the left edge: the preview of the left half reaches over the window beneath, and clicks inside it
    // and on its ring (shown, but transparent for input) reach that window.
    platform::Event e;
    e.type = platform::EventType::LeftMouseDown;
    e.location = {500, 110};
    e.clickState = 1;
    sim.inject(e);
    e.type = platform::EventType::LeftMouseDragged;
    for (const double x : {300.0, 5.0}) {
        sim.setWindowBounds(editor, {x - 400, 100, 800, 500});
        e.location = {x, 400};
        sim.inject(e);
    }
    ASSERT_TRUE(snap.dragVisible());
    QWindow* panel = nullptr;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        panel = qobject_cast<QQuickWindow*>(window) ? window : panel;
    }
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return panel->isExposed(); }));
    EXPECT_TRUE(windowInfo(panel->winId()).contains(QStringLiteral("Override Redirect State: yes")));
    pump(300);
    screenshot(QStringLiteral("snap-x11-drag"));
    ASSERT_EQ(click({560, 400}), 0);
    EXPECT_TRUE(pumpUntil([&] { return beneath.presses == 1; })) << "inside the preview";
    ASSERT_EQ(click({int(w / 2) - 2, 400}), 0);
    EXPECT_TRUE(pumpUntil([&] { return beneath.presses == 2; })) << "on the preview's ring";
    e.type = platform::EventType::LeftMouseUp;
    sim.inject(e);

    // The picker takes the click on a zone: the right half of "Halves" on the card centred on the display.
    snap.open();
    ASSERT_TRUE(pumpUntil([&] { return panel->isExposed(); }));
    pump(300);
    screenshot(QStringLiteral("snap-x11-picker"));
    const QPoint card(int(w - 858) / 2 + 22, int(h - 200) / 2 + 22 + 20 + 14);
    ASSERT_EQ(click(card + QPoint(110, 47)), 0);
    EXPECT_TRUE(pumpUntil([&] { return sim.window(editor)->bounds == platform::Rect{w / 2, 25, w / 2, h - 25}; }));
    ASSERT_EQ(snap.mode(), SnapController::Mode::Assist);
    // Snap Assist's one tile, in the middle of its row: Files fills the left half.
    pump(300);
    screenshot(QStringLiteral("snap-x11-assist"));
    const QPoint tile(int(w) / 2, int(h - 364) / 2 + 22 + 20 + 14 + 138 + 14 + 40);
    ASSERT_EQ(click(tile), 0);
    EXPECT_TRUE(pumpUntil([&] { return !snap.isActive(); }));
    EXPECT_EQ(sim.window(files)->bounds, (platform::Rect{0, 25, w / 2, h - 25}));
    EXPECT_EQ(beneath.presses, 2) << "the tile over the window beneath took the click";
}

} // namespace
} // namespace tillory::snap
