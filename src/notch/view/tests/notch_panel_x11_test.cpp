// The notch panel on a real X server (Xvfb with openbox and no compositing manager): an override-redirect window
// shaped to the island, whose buttons take clicks while it is expanded and which lets every other click through.
#include "core/manual_scheduler.h"
#include "core/settings.h"
#include "notch/notch_controller.h"
#include "notch/view/quick_notch_panel.h"
#include "platform/x11/tests/x_test_env.h"
#include "platform/x11/x11_compositor.h"
#include "platform/sim/sim_desktop.h"

#include <QDir>
#include <QPainter>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRasterWindow>
#include <QScreen>

namespace tillory::notch {
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

void screenshot(const QString& name) {
    XServer::run(QStringLiteral("import"),
                 {QStringLiteral("-window"), QStringLiteral("root"),
                  QDir(QCoreApplication::applicationDirPath()).filePath(name + QStringLiteral(".png"))});
}

TEST(NotchPanelX11, ButtonsTakeClicksAndEverythingElsePassesThrough) {
    if (!XEnvironment::skipReason().isEmpty()) {
        GTEST_SKIP() << XEnvironment::skipReason().toStdString();
    }
    core::ManualScheduler scheduler;
    platform::sim::SimDesktop sim{scheduler};
    core::MemorySettings settings;
    const QRect display = QGuiApplication::primaryScreen()->geometry();
    const double w = display.width(), h = display.height(), side = (w - 200) / 2;
    sim.setScreens({{{0, 0, w, h},
                     {0, 0, w, h - 32},
                     32,
                     platform::Rect{0, h - 32, side, 32},
                     platform::Rect{side + 200, h - 32, side, 32}}});
    sim.setMouseLocation({w / 2, h / 2});
    platform::sim::SimPlayer player;
    player.title = QStringLiteral("Weightless Afternoon");
    player.duration = 200;
    sim.players().setPlayer(QStringLiteral("com.apple.Music"), player);
    const platform::nix::X11Compositor compositor(XEnvironment::server()->display().toStdString());
    QuickNotchPanelFactory panels;
    panels.setTranslucency([&compositor] { return compositor.isRunning(); });
    NotchController notch(sim.platform(), settings, scheduler, &panels);
    panels.setController(&notch);
    notch.enable();
    scheduler.runPosted();

    Beneath beneath;
    beneath.setGeometry(int(w / 2) - 300, 0, 600, 300);
    beneath.show();
    ASSERT_TRUE(pumpUntil([&] { return beneath.isExposed(); }));
    QQuickWindow* panel = nullptr;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        panel = qobject_cast<QQuickWindow*>(window) ? static_cast<QQuickWindow*>(window) : panel;
    }
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return panel->isExposed(); }));
    const QPoint origin = panel->geometry().topLeft();

    // Collapsed, the strip itself lets clicks through (the controller's own tap sees them).
    pump(300);
    screenshot(QStringLiteral("notch-x11-collapsed"));
    ASSERT_EQ(click(origin + QPoint(238, 16)), 0);
    EXPECT_TRUE(pumpUntil([&] { return beneath.presses == 1; })) << "on the collapsed strip";

    notch.hoverChanged(true);
    pump(600);
    screenshot(QStringLiteral("notch-x11-expanded"));
    QQuickItem* button = panel->contentItem()->findChild<QQuickItem*>("playPause");
    ASSERT_NE(button, nullptr);
    const QPoint centre = button->mapToScene(QPointF(13, 13)).toPoint();
    ASSERT_EQ(click(origin + centre), 0);
    EXPECT_TRUE(pumpUntil([&] { return sim.players().player(QStringLiteral("com.apple.Music")).state == "paused"; }))
        << "play/pause reached the player";
    ASSERT_EQ(click(origin + QPoint(4, 60)), 0);
    EXPECT_TRUE(pumpUntil([&] { return beneath.presses == 2; })) << "beside the card";
    EXPECT_EQ(beneath.presses, 2) << "the button's click went to the window beneath too";
}

} // namespace
} // namespace tillory::notch
