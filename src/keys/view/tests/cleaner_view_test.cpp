// The lock's overlay as a user sees and drags it: rendered offscreen from a real controller over the simulated
// desktop, the slider driven with mouse events.
#include "core/manual_scheduler.h"
#include "keyhub/key_event_hub.h"
#include "keys/keyboard_cleaner_controller.h"
#include "keys/view/quick_cleaner_panel.h"
#include "platform/sim/sim_desktop.h"
#include "ui/view/tests/view_test_support.h"

#include <QMouseEvent>
#include <QTest>

namespace tillory::keys {
namespace {

using namespace ui::testing;

const auto* environment = ::testing::AddGlobalTestEnvironment(new OffscreenApp);

class CleanerViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.grantAccessibility();
        sim.setScreens({{{0, 0, 1280, 800}, {0, 0, 1280, 776}}});
        panels.setController(&controller);
    }
    void TearDown() override {
        controller.stop();
        pump(50);
    }

    /// Drags the knob `dx` points to the right and lets go; answers the window's knob x afterwards.
    void drag(QQuickWindow* window, int dx) {
        QQuickItem* knob = window->contentItem()->findChild<QQuickItem*>(QStringLiteral("knob"));
        ASSERT_NE(knob, nullptr);
        const QPoint start = knob->mapToScene(QPointF(knob->width() / 2, knob->height() / 2)).toPoint();
        auto send = [window](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
            QMouseEvent event(type, at, window->mapToGlobal(at), button, held, Qt::NoModifier);
            QCoreApplication::sendEvent(window, &event);
        };
        send(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
        for (int step = 1; step <= 10; ++step) {
            send(QEvent::MouseMove, start + QPoint(dx * step / 10, 0), Qt::NoButton, Qt::LeftButton);
        }
        QQuickItem* label = window->contentItem()->findChild<QQuickItem*>(QStringLiteral("slideLabel"));
        ASSERT_NE(label, nullptr);
        // The label fades with the knob while the finger is down.
        EXPECT_NEAR(label->opacity(), std::max(0.7 - std::min(dx, 240) / 240.0, 0.15), 0.01);
        send(QEvent::MouseButtonRelease, start + QPoint(dx, 0), Qt::LeftButton, Qt::NoButton);
        pump(30);
    }

    core::ManualScheduler scheduler;
    platform::sim::SimDesktop sim{scheduler};
    platform::Platform p = sim.platform();
    keyhub::KeyEventHub hub{*p.eventTaps, *p.accessibility, scheduler};
    QuickCleanerPanelFactory panels;
    KeyboardCleanerController controller{hub, *p.accessibility, *p.screens, panels, scheduler};
};

TEST_F(CleanerViewTest, OverlayCoversTheScreenWithTheCardAndSlider) {
    controller.start();
    ASSERT_TRUE(controller.isActive());
    const auto windows = quickWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0]->geometry(), QRect(0, 0, 1280, 800));
    const QImage image = snapshot(windows[0], QStringLiteral("keyboard-cleaning"));
    EXPECT_GT(drawnPixels(image), 1000);
    const QStringList shown = texts(windows[0]->contentItem());
    EXPECT_TRUE(shown.contains(QStringLiteral("Keyboard Cleaning")));
    EXPECT_TRUE(shown.contains(QStringLiteral("The keys are off — wipe away. Trackpad and mouse still work.")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Slide to turn keys back on")));
}

TEST_F(CleanerViewTest, ShortDragSlidesBackAndKeepsTheLock) {
    controller.start();
    QQuickWindow* window = quickWindows().at(0);
    drag(window, 200);
    EXPECT_TRUE(controller.isActive());
    pump(50);
    EXPECT_FALSE(sim.pressKey(platform::KeyCode::A).has_value()); // keys still blocked
}

TEST_F(CleanerViewTest, DragPastTheThresholdTurnsTheKeysBackOn) {
    controller.start();
    QQuickWindow* window = quickWindows().at(0);
    drag(window, 230);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !controller.isActive(); }, 2000));
    EXPECT_TRUE(quickWindows().empty());
    EXPECT_TRUE(sim.pressKey(platform::KeyCode::A).has_value());
}

TEST_F(CleanerViewTest, SecondScreenGetsItsOwnOverlay) {
    controller.start();
    sim.setScreens({{{0, 0, 1280, 800}, {0, 0, 1280, 776}}, {{1280, 0, 1024, 768}, {1280, 0, 1024, 768}}});
    const auto windows = quickWindows();
    ASSERT_EQ(windows.size(), 2u);
    // Screen space is y-up from the primary's bottom: the second screen's top sits 32 points lower.
    EXPECT_EQ(windows[1]->geometry(), QRect(1280, 32, 1024, 768));
}

TEST_F(CleanerViewTest, OverlayThatDoesNotLoadLeavesTheKeysOn) {
    QuickCleanerPanelFactory broken(QUrl(QStringLiteral("qrc:/tillory/keys/Missing.qml")));
    KeyboardCleanerController locked{hub, *p.accessibility, *p.screens, broken, scheduler};
    broken.setController(&locked);
    locked.start();
    EXPECT_FALSE(locked.isActive());
    EXPECT_TRUE(quickWindows().empty());
    EXPECT_TRUE(sim.pressKey(platform::KeyCode::A).has_value());
}

} // namespace
} // namespace tillory::keys
