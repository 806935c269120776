// The tray panel as a user sees it: the real controller and window over the simulated desktop, rendered offscreen.
#include "clipboard/clipboard_page_model.h"
#include "clipboard/history_store.h"
#include "clipboard/palette_panel.h"
#include "core/manual_scheduler.h"
#include "core/serial_queue.h"
#include "core/settings.h"
#include "keyhub/key_event_hub.h"
#include "keys/cleaner_panel.h"
#include "monitor/dashboard_model.h"
#include "monitor/gauges_model.h"
#include "monitor/system_monitor.h"
#include "panel/home_page_model.h"
#include "panel/menu_panel_controller.h"
#include "panel/view/quick_panel_host.h"
#include "platform/sim/sim_desktop.h"
#include "shell/app_state.h"
#include "ui/view/tests/view_test_support.h"

#include <QTemporaryDir>
#include <QTest>

namespace tillory::panel {
namespace {

using namespace ui::testing;

const auto* environment = ::testing::AddGlobalTestEnvironment(new OffscreenApp);

class NoPalettePanels final : public clipboard::PalettePanelFactory {
public:
    std::unique_ptr<clipboard::PalettePanel> create() override { return nullptr; }
};

class NoCleanerPanels final : public keys::CleanerPanelFactory {
public:
    std::unique_ptr<keys::CleanerPanel> create(const platform::ScreenInfo&) override { return nullptr; }
};

void collect(QQuickItem* item, const QString& name, QList<QQuickItem*>& found) {
    if (item->objectName() == name) {
        found << item;
    }
    for (QQuickItem* child : item->childItems()) {
        collect(child, name, found);
    }
}

/// The middle of the `index`th item named `name` in the window's item tree, in window coordinates.
QPoint centreOf(QQuickWindow* window, const char* name, int index = 0) {
    QList<QQuickItem*> items;
    collect(window->contentItem(), QString::fromLatin1(name), items);
    if (index >= items.size()) {
        return {-1, -1};
    }
    const QQuickItem* item = items[index];
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
}

class HomeViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.grantAccessibility();
        sim.setScreenCaptureAllowed(true);
        shell::AppState::Services services;
        services.platform = platform;
        services.settings = &settings;
        services.scheduler = &scheduler;
        services.clipboardQueue = &queue;
        services.samplingQueue = &queue;
        services.historyStore = std::make_shared<const clipboard::HistoryStore>(dir.filePath(QStringLiteral("data")));
        services.hub = &hub;
        services.palettePanels = &palettePanels;
        services.cleanerPanels = &cleanerPanels;
        state = std::make_unique<shell::AppState>(std::move(services));
        state->start();
        for (const char* text : {"first copy", "ssh build@10.0.0.7\ncd /srv/tillory && make"}) {
            sim.copy(QString::fromUtf8(text));
            scheduler.advance(0.7);
        }
    }
    void TearDown() override {
        panel.reset();
        pump(50);
    }

    QQuickWindow* open(bool dark, PanelAnchor anchor = {platform::Rect{600, 0, 24, 24}, {}, {0, 24, 1280, 776}}) {
        hosts.setDark([dark] { return dark; });
        MenuPanelController::Services extra;
        extra.appState = state.get();
        extra.scheduler = &scheduler;
        extra.hosts = &hosts;
        extra.version = QStringLiteral("1.4.2");
        extra.refusedChords = [this] { return held; };
        extra.updates = &updates;
        extra.quit = [this] { ++quits; };
        extra.makeGauges = [this](QObject* parent) { return new monitor::GaugesModel(*state->monitor(), parent); };
        extra.makeDashboard = [this](QObject* parent) {
            return new monitor::DashboardModel(*state->monitor(), parent);
        };
        extra.makeClipboardPage = [this](QObject* parent) {
            return new clipboard::ClipboardPageModel(state->clipboard(), *platform.pasteboard, parent);
        };
        panel = std::make_unique<MenuPanelController>(std::move(extra));
        panel->show(anchor);
        const auto windows = quickWindows();
        return windows.empty() ? nullptr : windows.back();
    }

    core::ManualScheduler scheduler;
    platform::sim::SimDesktop sim{scheduler};
    platform::Platform platform = sim.platform();
    core::MemorySettings settings;
    core::ManualSerialQueue queue{scheduler};
    QTemporaryDir dir;
    keyhub::KeyEventHub hub{*platform.eventTaps, *platform.accessibility, scheduler};
    NoPalettePanels palettePanels;
    NoCleanerPanels cleanerPanels;
    QuickPanelHostFactory hosts;
    QStringList held;
    QObject updates;
    int quits = 0;
    std::unique_ptr<shell::AppState> state;
    std::unique_ptr<MenuPanelController> panel;
};

TEST_F(HomeViewTest, DarkHomePageShowsSwitchesCardsAndFooter) {
    scheduler.advance(2); // a few readings for the gauges
    QQuickWindow* window = open(true);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->geometry(), QRect(450, 30, 324, 640));
    const QImage image = snapshot(window, QStringLiteral("panel-home-dark"));
    EXPECT_GT(drawnPixels(image), 2000);
    const QStringList shown = texts(window->contentItem());
    for (const char* text :
         {"Window Switcher", "Snap Layouts", "Notch Player", "Backspace Deletes in File Managers", "Launch at Login",
          "Clipboard", "2", "ssh build@10.0.0.7 cd /srv/tillory && make", "Keyboard Cleaning",
          "Lock the keys to wipe them — slide to turn back on", "Tillory v1.4.2", "Shortcuts", "Quit"}) {
        EXPECT_TRUE(shown.contains(QString::fromUtf8(text))) << text;
    }
    EXPECT_FALSE(shown.contains(QStringLiteral("Open"))); // no hint
    // Below the card the panel is see-through, as the corner beside the card's rounding.
    EXPECT_EQ(image.pixel(162, 636), image.pixel(0, 0));
    EXPECT_NE(image.pixel(162, 300), image.pixel(0, 0));
}

TEST_F(HomeViewTest, LightHomePageShowsTheHintWithItsHelpAndTheUpdateRow) {
    held << QStringLiteral("Super+Tab");
    updates.setProperty("hasUpdate", true);
    updates.setProperty("updateVersion", QStringLiteral("1.5.0"));
    QQuickWindow* window = open(false);
    ASSERT_NE(window, nullptr);
    panel->home()->openHint();
    const QImage image = snapshot(window, QStringLiteral("panel-home-light"));
    const QStringList shown = texts(window->contentItem());
    for (const char* text : {"Another program holds Super+Tab", "Retry", "Open", "Tillory 1.5.0 is available", "Get"}) {
        EXPECT_TRUE(shown.contains(QString::fromUtf8(text))) << text;
    }
    EXPECT_TRUE(shown.contains(panel->home()->hintHelp()));
    // A light card: its middle is bright.
    EXPECT_GT(qGray(image.pixel(162, 6)), 200);
}

TEST_F(HomeViewTest, EscapeAndAClickBelowTheCardCloseThePanel) {
    struct Case {
        const char* name;
        std::function<void(QQuickWindow*)> act;
    };
    const Case cases[] = {
        {"escape", [](QQuickWindow* w) { QTest::keyClick(w, Qt::Key_Escape); }},
        {"click below", [](QQuickWindow* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(162, 632)); }},
    };
    for (const Case& c : cases) {
        QQuickWindow* window = open(true);
        ASSERT_NE(window, nullptr) << c.name;
        pump(100);
        c.act(window);
        EXPECT_FALSE(panel->isShown()) << c.name;
        pump(50);
        EXPECT_FALSE(window->isVisible()) << c.name;
    }
}

TEST_F(HomeViewTest, TheClipboardCardOpensTheClipboardPageAndItsBackButtonReturnsHome) {
    QQuickWindow* window = open(false);
    ASSERT_NE(window, nullptr);
    pump(100);
    QTest::mouseClick(window, Qt::LeftButton, {}, centreOf(window, "clipboardCard"));
    EXPECT_EQ(panel->page(), PanelPage::clipboard);
    const QImage image = snapshot(window, QStringLiteral("panel-clipboard-light"));
    EXPECT_GT(drawnPixels(image), 2000);
    const QStringList shown = texts(window->contentItem());
    EXPECT_TRUE(shown.contains(QStringLiteral("first copy")));
    EXPECT_FALSE(shown.contains(QStringLiteral("Keyboard Cleaning")));
    QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(12 + 11, 12 + 13)); // back, at the top left
    EXPECT_EQ(panel->page(), PanelPage::home);
}

TEST_F(HomeViewTest, AGaugeOpensTheDashboardOnItsMetricAndLeavingItStopsTheProcessList) {
    QQuickWindow* window = open(true);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(panel->gauges(), nullptr);
    QMetaObject::invokeMethod(panel->gauges(), "open", Q_ARG(int, 2)); // as a tap on the memory ring
    EXPECT_EQ(panel->page(), PanelPage::dashboard);
    ASSERT_NE(panel->dashboard(), nullptr);
    EXPECT_EQ(panel->dashboard()->property("metric").toInt(), 2);
    EXPECT_TRUE(state->monitor()->processRunning());
    snapshot(window, QStringLiteral("panel-dashboard-dark"));
    panel->hide();
    EXPECT_FALSE(state->monitor()->processRunning());
}

TEST_F(HomeViewTest, ASwitchFlippedOnThePageWritesItsSetting) {
    QQuickWindow* window = open(true);
    ASSERT_NE(window, nullptr);
    pump(100);
    QTest::mouseClick(window, Qt::LeftButton, {}, centreOf(window, "switch", 1)); // "Snap Layouts"
    EXPECT_FALSE(state->snapEnabled());
    EXPECT_FALSE(settings.boolValue(QStringLiteral("snapEnabled")));
}

TEST_F(HomeViewTest, OnASmallScreenThePanelStaysBelowItsIconAndScrollsToItsFooter) {
    // 1280 × 800 at a scale of 2, the tray at the top.
    QQuickWindow* window = open(true, {platform::Rect{600, 0, 24, 24}, {}, {0, 24, 640, 376}});
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->geometry(), QRect(308, 30, 324, 370));
    pump(300);
    QList<QQuickItem*> quit;
    collect(window->contentItem(), QStringLiteral("quit"), quit);
    ASSERT_EQ(quit.size(), 1);
    QQuickItem* scroller = quit[0];
    while (scroller && !scroller->inherits("QQuickFlickable")) {
        scroller = scroller->parentItem();
    }
    ASSERT_NE(scroller, nullptr);
    EXPECT_TRUE(scroller->property("interactive").toBool());
    scroller->setProperty("contentY", scroller->property("contentHeight").toReal() - scroller->height());
    pump(50);
    snapshot(window, QStringLiteral("panel-home-short"));
    const QRectF place = quit[0]->mapRectToScene(QRectF(0, 0, quit[0]->width(), quit[0]->height()));
    EXPECT_TRUE(QRectF(0, 0, 324, 370).contains(place)) << place.y();
    QTest::mouseClick(window, Qt::LeftButton, {}, place.center().toPoint());
    scheduler.runPosted();
    EXPECT_EQ(quits, 1);
}

TEST_F(HomeViewTest, OutsideTextThatLooksLikeMarkupIsShownAsItIsAndLoadsNothing) {
    CountingServer server;
    for (const QString& text : markupTexts(server)) {
        sim.copy(text); // the clipboard card shows the newest copy
        scheduler.advance(0.7);
        updates.setProperty("hasUpdate", true);
        updates.setProperty("updateVersion", text); // as a feed would name its version
        QQuickWindow* window = open(true);
        ASSERT_NE(window, nullptr);
        pump(300);
        EXPECT_EQ(shownLiterally(window->contentItem(), text), 2) << text.toStdString();
    }
    EXPECT_EQ(server.connections, 0);
}

} // namespace
} // namespace tillory::panel
