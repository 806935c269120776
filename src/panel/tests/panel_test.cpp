#include "clipboard/clipboard_manager.h"
#include "clipboard/history_store.h"
#include "clipboard/palette_panel.h"
#include "core/manual_scheduler.h"
#include "core/serial_queue.h"
#include "core/settings.h"
#include "keyhub/key_event_hub.h"
#include "keys/cleaner_panel.h"
#include "keys/keyboard_cleaner_controller.h"
#include "monitor/system_monitor.h"
#include "panel/home_page_model.h"
#include "panel/menu_panel_controller.h"
#include "panel/panel_geometry.h"
#include "panel/panel_host.h"
#include "panel/permission_hint.h"
#include "platform/sim/sim_desktop.h"
#include "shell/app_state.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tillory::panel {
namespace {

using platform::Rect;

TEST(PanelGeometry, CentredUnderTheIconKeptInsideBothEdgesAndAboveABottomTray) {
    struct Case {
        const char* name;
        std::optional<Rect> icon;
        platform::Point pointer;
        Rect screen;
        Rect frame;
    };
    const Case cases[] = {
        {"centred", Rect{1000, 0, 24, 24}, {}, {0, 24, 1920, 1056}, {1012 - 162, 30, 324, 640}},
        {"right edge", Rect{1890, 0, 24, 24}, {}, {0, 24, 1920, 1056}, {1920 - 324 - 8, 30, 324, 640}},
        {"left edge", Rect{10, 0, 24, 24}, {}, {0, 24, 1920, 1056}, {8, 30, 324, 640}},
        {"bottom tray", Rect{1000, 1056, 24, 24}, {}, {0, 0, 1920, 1056}, {850, 1056 - 6 - 640, 324, 640}},
        {"empty icon rect: pointer", Rect{0, 0, 0, 0}, {500, 12}, {0, 0, 1920, 1080}, {338, 18, 324, 640}},
        {"no icon, pointer at bottom", std::nullopt, {700, 1070}, {0, 0, 1920, 1080}, {538, 424, 324, 640}},
        {"second screen", Rect{3180, 0, 20, 20}, {}, {1920, 0, 1280, 1024}, {3200 - 332, 26, 324, 640}},
        // Too short for the whole panel: shortened to the roomier side, never over its icon.
        {"no room either side", Rect{100, 300, 20, 20}, {}, {0, 0, 800, 600}, {8, 0, 324, 294}},
        {"1024 x 600, top tray", Rect{900, 0, 24, 24}, {}, {0, 24, 1024, 576}, {1024 - 332, 30, 324, 570}},
        {"1280 x 800 at scale 2", Rect{600, 0, 24, 24}, {}, {0, 24, 640, 376}, {308, 30, 324, 370}},
        {"1024 x 600, bottom tray", Rect{500, 576, 24, 24}, {}, {0, 0, 1024, 576}, {350, 0, 324, 570}},
        {"no room at all", Rect{100, 50, 20, 20}, {}, {0, 0, 800, 200}, {8, 0, 324, 200}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(panelFrame({c.icon, c.pointer, c.screen}), c.frame) << c.name;
    }
}

TEST(PermissionHint, AtMostOneHintInPriorityOrder) {
    using Kind = PermissionHint::Kind;
    struct Case {
        bool switcherOn, switcherAx, capture, snapOn, snapAx;
        QStringList chords;
        const char* missing;
        Kind kind;
        const char* text;
    };
    const QStringList none;
    const QStringList held{QStringLiteral("Super+Tab"), QStringLiteral("Super+V")};
    const Case cases[] = {
        {false, false, false, true, false, none, "", Kind::keyboardTap, "The keyboard tap is not available"},
        {true, false, true, false, false, none, "", Kind::keyboardTap, "The keyboard tap is not available"},
        {false, false, false, false, false, held, "", Kind::none, ""},
        {true, true, true, true, true, held, "", Kind::heldChords, "Another program holds Super+Tab, Super+V"},
        {true, true, false, true, true, none, "Window previews need the X server's Composite extension",
         Kind::screenRecording, "Window previews need the X server's Composite extension"},
        {true, true, false, true, true, none, "", Kind::screenRecording, "Window previews are not available"},
        {false, true, false, true, true, none, "Window previews need the X server's Composite extension", Kind::none,
         ""},
        {true, true, true, true, true, none, "", Kind::none, ""},
    };
    for (const Case& c : cases) {
        const PermissionHint hint =
            choosePermissionHint(
            {c.switcherOn, c.switcherAx, c.capture, c.snapOn, c.snapAx, c.chords, QString::fromUtf8(c.missing)});
        EXPECT_EQ(hint.kind, c.kind) << c.text;
        EXPECT_EQ(hint.text, QString::fromUtf8(c.text));
        EXPECT_EQ(hint.help.isEmpty(), c.kind == Kind::none);
    }
    // Snapping by dragging that the desktop cannot offer comes last, and only while snapping is on.
    const struct {
        bool snapOn;
        QStringList chords;
        bool capture;
        Kind kind;
    } unseen[] = {
        {true, none, true, Kind::snapDragging},
        {false, none, true, Kind::none},
        {true, held, true, Kind::heldChords},
        {true, none, false, Kind::screenRecording},
    };
    for (const auto& c : unseen) {
        const PermissionHint hint =
            choosePermissionHint({true, true, c.capture, c.snapOn, true, c.chords, QString(), true});
        EXPECT_EQ(hint.kind, c.kind) << hint.text.toStdString();
        EXPECT_EQ(hint.hasRetry, c.kind == Kind::heldChords);
    }
    EXPECT_EQ(choosePermissionHint({true, true, true, true, true, none, QString(), true}).text,
              QStringLiteral("Snapping by dragging is not available here"));
}

class FakeHost final : public PanelHost {
public:
    explicit FakeHost(std::vector<Rect>& frames, int& orderedOut) : frames_(frames), orderedOut_(orderedOut) {}
    void present(const Rect& frame) override { frames_.push_back(frame); }
    void orderOut() override { ++orderedOut_; }

private:
    std::vector<Rect>& frames_;
    int& orderedOut_;
};

class FakeHosts final : public PanelHostFactory {
public:
    std::unique_ptr<PanelHost> create(MenuPanelController&) override {
        ++created;
        return std::make_unique<FakeHost>(frames, orderedOut);
    }
    int created = 0;
    int orderedOut = 0;
    std::vector<Rect> frames;
};

class NoPalettePanels final : public clipboard::PalettePanelFactory {
public:
    std::unique_ptr<clipboard::PalettePanel> create() override { return nullptr; }
};

class Overlay final : public keys::CleanerPanel {
public:
    void orderOut() override {}
};

class Overlays final : public keys::CleanerPanelFactory {
public:
    std::unique_ptr<keys::CleanerPanel> create(const platform::ScreenInfo&) override {
        return std::make_unique<Overlay>();
    }
};

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.grantAccessibility();
        sim.setScreenCaptureAllowed(true);
        shell::AppState::Services services;
        services.platform = platform;
        services.settings = &settings;
        services.scheduler = &scheduler;
        services.clipboardQueue = &queue;
        services.samplingQueue = &samplingQueue;
        services.historyStore = std::make_shared<const clipboard::HistoryStore>(dir.filePath(QStringLiteral("data")));
        services.hub = &hub;
        services.palettePanels = &palettePanels;
        services.cleanerPanels = &overlays;
        state = std::make_unique<shell::AppState>(std::move(services));
        state->start();
    }

    MenuPanelController& make(MenuPanelController::Services extra = {}) {
        extra.appState = state.get();
        extra.scheduler = &scheduler;
        extra.hosts = &hosts;
        panel = std::make_unique<MenuPanelController>(std::move(extra));
        return *panel;
    }

    const PanelAnchor anchor{Rect{1000, 0, 24, 24}, {}, {0, 24, 1920, 1056}};
    core::ManualScheduler scheduler;
    platform::sim::SimDesktop sim{scheduler};
    platform::Platform platform = sim.platform();
    core::MemorySettings settings;
    core::ManualSerialQueue queue{scheduler};
    core::ManualSerialQueue samplingQueue{scheduler};
    QTemporaryDir dir;
    keyhub::KeyEventHub hub{*platform.eventTaps, *platform.accessibility, scheduler};
    NoPalettePanels palettePanels;
    Overlays overlays;
    FakeHosts hosts;
    std::unique_ptr<shell::AppState> state;
    std::unique_ptr<MenuPanelController> panel;
};

TEST_F(PanelTest, TrayClicksShowThenHideAndTheWindowIsMadeOnce) {
    MenuPanelController& p = make();
    EXPECT_EQ(MenuPanelController::shared(), &p);
    EXPECT_EQ(hosts.created, 0); // nothing before the first opening
    p.togglePanel(anchor);
    EXPECT_TRUE(p.isShown());
    ASSERT_EQ(hosts.frames.size(), 1u);
    EXPECT_EQ(hosts.frames[0], (Rect{850, 30, 324, 640}));
    p.togglePanel(anchor);
    EXPECT_FALSE(p.isShown());
    EXPECT_EQ(hosts.orderedOut, 1);
    p.togglePanel(anchor);
    EXPECT_TRUE(p.isShown());
    EXPECT_EQ(hosts.created, 1);
    // Let go 30 s after it closes; the next opening makes it anew.
    p.togglePanel(anchor);
    scheduler.advance(29.9);
    EXPECT_TRUE(p.hasHost());
    scheduler.advance(0.1);
    EXPECT_FALSE(p.hasHost());
    p.togglePanel(anchor);
    EXPECT_TRUE(p.isShown());
    EXPECT_EQ(hosts.created, 2);
}

TEST_F(PanelTest, TrayClickThatTookTheFocusAwayDoesNotReopenThePanel) {
    struct Case {
        double delay;
        bool reopens;
    };
    for (const Case c : {Case{0.0, false}, Case{0.3, false}, Case{0.5, true}, Case{5.0, true}}) {
        MenuPanelController& p = make();
        p.togglePanel(anchor);
        p.focusLost();
        EXPECT_FALSE(p.isShown());
        scheduler.advance(c.delay);
        p.togglePanel(anchor);
        EXPECT_EQ(p.isShown(), c.reopens) << c.delay;
        if (!c.reopens) { // the next click opens it
            p.togglePanel(anchor);
            EXPECT_TRUE(p.isShown()) << c.delay;
        }
    }
}

TEST_F(PanelTest, AClickElsewhereClosesThePanelAndTheWatchEndsWithIt) {
    MenuPanelController::Services extra;
    extra.eventTaps = platform.eventTaps;
    MenuPanelController& p = make(std::move(extra));
    const int before = sim.clickMonitorCount();
    p.show(anchor);
    EXPECT_EQ(sim.clickMonitorCount(), before + 1);
    sim.clickElsewhere(platform::EventType::LeftMouseDown, {200, 500});
    scheduler.advance(0);
    EXPECT_FALSE(p.isShown());
    EXPECT_EQ(sim.clickMonitorCount(), before);
}

TEST_F(PanelTest, FocusLossAfterTheToggleClosedThePanelLeavesItClosedAndTheNextClickOpensIt) {
    MenuPanelController& p = make();
    p.togglePanel(anchor);
    p.togglePanel(anchor);
    p.focusLost();
    EXPECT_FALSE(p.isShown());
    p.togglePanel(anchor);
    EXPECT_TRUE(p.isShown());
}

TEST_F(PanelTest, EachShowStartsOnHomeWithCpuAndHidingDropsTheModels) {
    MenuPanelController& p = make();
    p.show(anchor);
    ASSERT_NE(p.home(), nullptr);
    p.openDashboard(2);
    EXPECT_EQ(p.pageNumber(), 1);
    EXPECT_EQ(p.metric(), 2);
    p.hide();
    EXPECT_EQ(p.home(), nullptr);
    p.show(anchor);
    EXPECT_EQ(p.pageNumber(), 0);
    EXPECT_EQ(p.metric(), 0);
    p.setPage(PanelPage::clipboard);
    p.hide();
    p.show(anchor);
    EXPECT_EQ(p.page(), PanelPage::home);
}

TEST_F(PanelTest, PageModelsLiveWhileTheirPageShowsAndFollowTheMetric) {
    MenuPanelController::Services extra;
    extra.makeDashboard = [](QObject* parent) { return new QObject(parent); };
    extra.makeClipboardPage = [](QObject* parent) { return new QObject(parent); };
    MenuPanelController& p = make(std::move(extra));
    p.show(anchor);
    EXPECT_EQ(p.dashboard(), nullptr);
    p.openDashboard(3);
    ASSERT_NE(p.dashboard(), nullptr);
    EXPECT_EQ(p.dashboard()->property("metric").toInt(), 3);
    p.setMetric(4);
    EXPECT_EQ(p.dashboard()->property("metric").toInt(), 4);
    p.setPage(PanelPage::clipboard);
    EXPECT_EQ(p.dashboard(), nullptr);
    EXPECT_NE(p.clipboardPage(), nullptr);
    p.hide();
    EXPECT_EQ(p.clipboardPage(), nullptr);
}

TEST_F(PanelTest, HidingStopsProcessSamplingAndEmptiesTheList) {
    MenuPanelController& p = make();
    monitor::SystemMonitor* monitor = state->monitor();
    ASSERT_NE(monitor, nullptr);
    p.show(anchor);
    p.openDashboard(0);
    monitor->setProcessRunning(true);
    monitor->startProcessPolling();
    monitor->setProcesses({monitor::ProcessSample{42, QStringLiteral("busy")}});
    p.hide();
    EXPECT_FALSE(monitor->processRunning());
    EXPECT_TRUE(monitor->processes().empty());
    scheduler.advance(3); // a reading in flight does not refill the list
    EXPECT_TRUE(monitor->processes().empty());
}

TEST_F(PanelTest, SwitchRowsInOrderWriteThroughToTheirSettings) {
    MenuPanelController& p = make();
    p.show(anchor);
    HomePageModel& home = *p.home();
    struct Row {
        const char* title;
        const char* key;
    };
    const Row rows[] = {{"Window Switcher", "switcherEnabled"},
                        {"Snap Layouts", "snapEnabled"},
                        {"Notch Player", "notchEnabled"},
                        {"Backspace Deletes in File Managers", "finderBackspaceDeletes"},
                        {"Launch at Login", nullptr}};
    ASSERT_EQ(home.toggles().size(), 5);
    int changes = 0;
    QObject::connect(&home, &HomePageModel::togglesChanged, [&changes] { ++changes; });
    for (int i = 0; i < 4; ++i) {
        const QVariantMap row = home.toggles()[i].toMap();
        EXPECT_EQ(row[QStringLiteral("title")].toString(), QString::fromUtf8(rows[i].title));
        EXPECT_TRUE(row[QStringLiteral("isOn")].toBool()) << rows[i].title;
        home.setToggle(i, false);
        EXPECT_FALSE(settings.boolValue(QString::fromUtf8(rows[i].key))) << rows[i].title;
        EXPECT_FALSE(home.toggles()[i].toMap()[QStringLiteral("isOn")].toBool()) << rows[i].title;
    }
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(home.toggles()[4].toMap()[QStringLiteral("title")].toString(), QStringLiteral("Launch at Login"));
}

TEST_F(PanelTest, ClipboardCardShowsTheNewestCopyOnOneLine) {
    MenuPanelController& p = make();
    p.show(anchor);
    HomePageModel& home = *p.home();
    EXPECT_EQ(home.clipboardCount(), 0);
    EXPECT_EQ(home.clipboardLine(), QStringLiteral("History is empty"));
    for (const char* text : {"older", "two\nlines\r\nand more"}) {
        sim.copy(QString::fromUtf8(text));
        scheduler.advance(0.7);
    }
    EXPECT_EQ(home.clipboardCount(), 2);
    EXPECT_EQ(home.clipboardLine(), QStringLiteral("two lines and more"));
}

TEST_F(PanelTest, KeyboardCleaningClosesThePanelFirst) {
    MenuPanelController& p = make();
    p.show(anchor);
    p.home()->startKeyboardCleaning();
    EXPECT_FALSE(p.isShown());
    EXPECT_FALSE(state->keyboardCleaner().isActive());
    scheduler.advance(0);
    EXPECT_TRUE(state->keyboardCleaner().isActive());
    state->keyboardCleaner().stop();
}

TEST_F(PanelTest, FooterUpdateRowAndHintFollowTheirSources) {
    QObject updates;
    MenuPanelController::Services extra;
    extra.version = QStringLiteral("1.4.2");
    extra.updates = &updates;
    QStringList held;
    extra.refusedChords = [&held] { return held; };
    int shortcuts = 0;
    extra.showShortcuts = [&shortcuts] { ++shortcuts; };
    MenuPanelController& p = make(std::move(extra));
    p.show(anchor);
    EXPECT_EQ(p.home()->footerText(), QStringLiteral("Tillory v1.4.2"));
    EXPECT_EQ(p.home()->updateText(), QString());
    updates.setProperty("hasUpdate", true);
    updates.setProperty("updateVersion", QStringLiteral("1.5.0"));
    EXPECT_EQ(p.home()->updateText(), QStringLiteral("Tillory 1.5.0 is available"));
    EXPECT_EQ(p.home()->hintText(), QString());
    held << QStringLiteral("Super+Tab");
    p.home()->retryHint();
    EXPECT_EQ(p.home()->hintText(), QStringLiteral("Another program holds Super+Tab"));
    EXPECT_FALSE(p.home()->helpShown());
    p.home()->openHint();
    EXPECT_TRUE(p.home()->helpShown());
    p.home()->showShortcuts();
    EXPECT_FALSE(p.isShown());
    scheduler.advance(0);
    EXPECT_EQ(shortcuts, 1);
}

} // namespace
} // namespace tillory::panel
