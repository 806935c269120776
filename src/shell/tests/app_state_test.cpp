#include "shell/app_state.h"

#include "clipboard/clipboard_manager.h"
#include "clipboard/history_store.h"
#include "clipboard/palette_panel.h"
#include "core/manual_scheduler.h"
#include "core/serial_queue.h"
#include "core/settings.h"
#include "keyhub/key_event_hub.h"
#include "keys/cleaner_panel.h"
#include "keys/finder_enhancer.h"
#include "keys/keyboard_cleaner_controller.h"
#include "monitor/system_monitor.h"
#include "notch/notch_controller.h"
#include "platform/sim/sim_desktop.h"
#include "shell/update_checker.h"
#include "snap/snap_controller.h"
#include "switcher/window_switcher_engine.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace tillory::shell {
namespace {

class NoPalettePanels final : public clipboard::PalettePanelFactory {
public:
    std::unique_ptr<clipboard::PalettePanel> create() override { return nullptr; }
};

class NoCleanerPanels final : public keys::CleanerPanelFactory {
public:
    std::unique_ptr<keys::CleanerPanel> create(const platform::ScreenInfo&) override { return nullptr; }
};

class AppStateTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    /// Construction is left to each test, so that the simulated system can be prepared first.
    AppState& make() {
        AppState::Services services;
        services.platform = sim_.platform();
        services.settings = &settings_;
        services.scheduler = &scheduler_;
        services.clipboardQueue = &queue_;
        services.samplingQueue = &samplingQueue_;
        services.historyStore = std::make_shared<const clipboard::HistoryStore>(dir_.filePath(QStringLiteral("data")));
        services.hub = &hub_;
        services.palettePanels = &palettePanels_;
        services.cleanerPanels = &cleanerPanels_;
        services.runningVersion = QStringLiteral("1.0");
        app_ = std::make_unique<AppState>(std::move(services));
        return *app_;
    }

    core::ManualScheduler scheduler_;
    platform::sim::SimDesktop sim_{scheduler_};
    platform::Platform platform_ = sim_.platform();
    core::MemorySettings settings_;
    core::ManualSerialQueue queue_{scheduler_};
    core::ManualSerialQueue samplingQueue_{scheduler_};
    QTemporaryDir dir_;
    keyhub::KeyEventHub hub_{*platform_.eventTaps, *platform_.accessibility, scheduler_};
    NoPalettePanels palettePanels_;
    NoCleanerPanels cleanerPanels_;
    std::unique_ptr<AppState> app_;
};

TEST_F(AppStateTest, StartRegistersTheSwitcherSnappingThePaletteThenBackspaceToTrashWithTheHub) {
    sim_.grantAccessibility();
    AppState& app = make();
    EXPECT_EQ(keys::KeyboardCleanerController::shared(), &app.keyboardCleaner());
    EXPECT_EQ(hub_.registrationCount(), 0u); // constructed: no taps yet
    app.start();
    app.start();
    ASSERT_EQ(hub_.registrationCount(), 4u);
    std::vector<int> codes;
    for (const platform::KeyTrigger& trigger : sim_.tapTriggers()) {
        if (codes.empty() || codes.back() != trigger.keyCode) {
            codes.push_back(trigger.keyCode);
        }
    }
    namespace KeyCode = platform::KeyCode;
    EXPECT_EQ(codes, (std::vector<int>{KeyCode::Tab, KeyCode::Z, KeyCode::LeftArrow, KeyCode::RightArrow,
                                       KeyCode::DownArrow, KeyCode::UpArrow, KeyCode::V, KeyCode::Delete}));
    EXPECT_TRUE(app.snap().hasMouseTap());
}

TEST_F(AppStateTest, SwitchesAreAppliedAtStartAndAtOnceWhenFlipped) {
    settings_.setBool(QStringLiteral("switcherEnabled"), false);
    settings_.setBool(QStringLiteral("snapEnabled"), false);
    settings_.setBool(QStringLiteral("notchEnabled"), false);
    sim_.grantAccessibility();
    AppState& app = make();
    app.start();
    EXPECT_FALSE(app.notch().isEnabled());
    EXPECT_FALSE(app.switcher().isListening());
    EXPECT_FALSE(app.snap().isListening());
    EXPECT_FALSE(app.snap().hasMouseTap());
    app.setSwitcherEnabled(true);
    EXPECT_TRUE(app.switcher().isListening());
    EXPECT_EQ(sim_.tapTriggers().back().keyCode, platform::KeyCode::Tab) << "switched on later: registered last";
    app.setSnapEnabled(true);
    EXPECT_TRUE(app.snap().isListening());
    EXPECT_TRUE(app.snap().hasMouseTap());
    app.setNotchEnabled(true);
    EXPECT_TRUE(app.notch().isEnabled());
    EXPECT_TRUE(app.notch().media().hasTimer());
    app.setNotchEnabled(false);
    EXPECT_FALSE(app.notch().isEnabled());
    app.setSwitcherEnabled(false);
    app.setSnapEnabled(false);
    EXPECT_FALSE(app.switcher().isListening());
    EXPECT_FALSE(app.snap().isListening());
    EXPECT_FALSE(app.snap().hasMouseTap());
}

TEST_F(AppStateTest, StartBeginsSystemSamplingOnceAndPublishesOnTheMainThread) {
    AppState& app = make();
    ASSERT_NE(app.monitor(), nullptr);
    app.start();
    app.start();
    EXPECT_TRUE(app.monitor()->systemRunning());
    EXPECT_EQ(samplingQueue_.pendingCount(), 0) << "the loop starts from the main loop, after start returns";
    scheduler_.runPosted();
    EXPECT_EQ(samplingQueue_.pendingCount(), 1);
    samplingQueue_.runDue();
    scheduler_.runPosted();
    EXPECT_EQ(app.monitor()->cpuHistory().size(), 1u);
}

TEST_F(AppStateTest, StartChecksForUpdatesOnceAtOnceAndThenDaily) {
    const QUrl feed(QStringLiteral("https://updates.tillory.app/tillory/appcast.json"));
    sim_.downloads().setBody(feed, R"({"version": "1.1", "url": "https://example.org/get"})");
    AppState& app = make();
    EXPECT_TRUE(sim_.downloads().requests().empty()); // constructed: nothing runs
    app.start();
    app.start();
    scheduler_.runPosted();
    EXPECT_EQ(sim_.downloads().requests(), std::vector<QUrl>{feed});
    EXPECT_EQ(app.updates().updateVersion(), QStringLiteral("1.1"));
    scheduler_.advance(86400);
    EXPECT_EQ(sim_.downloads().requests().size(), 2u);
}

TEST_F(AppStateTest, BackspaceToTrashSwitchedOffIsNotRegisteredAtStart) {
    settings_.setBool(QStringLiteral("finderBackspaceDeletes"), false);
    sim_.grantAccessibility();
    AppState& app = make();
    app.start();
    EXPECT_EQ(hub_.registrationCount(), 3u);
    app.finder().setBackspaceDeletes(true);
    EXPECT_EQ(hub_.registrationCount(), 4u);
}

TEST_F(AppStateTest, FirstLaunchShowsEverySwitchOnAndWritesNothing) {
    AppState& app = make();
    EXPECT_TRUE(app.switcherEnabled());
    EXPECT_TRUE(app.notchEnabled());
    EXPECT_TRUE(app.snapEnabled());
    EXPECT_TRUE(settings_.boolValue(QStringLiteral("clipboardEnabled")));
    EXPECT_TRUE(app.clipboard().enabled());
    EXPECT_FALSE(app.launchAtLogin());
    EXPECT_EQ(settings_.writeCount(), 0);
}

TEST_F(AppStateTest, WritingASwitchStoresItEvenWhenUnchangedAndSignalsOnlyChanges) {
    AppState& app = make();
    struct Switch {
        QString key;
        void (AppState::*set)(bool);
        bool (AppState::*get)() const;
        void (AppState::*changed)();
    };
    const Switch switches[] = {
        {QStringLiteral("switcherEnabled"), &AppState::setSwitcherEnabled, &AppState::switcherEnabled,
         &AppState::switcherEnabledChanged},
        {QStringLiteral("notchEnabled"), &AppState::setNotchEnabled, &AppState::notchEnabled,
         &AppState::notchEnabledChanged},
        {QStringLiteral("snapEnabled"), &AppState::setSnapEnabled, &AppState::snapEnabled,
         &AppState::snapEnabledChanged},
    };
    for (const Switch& s : switches) {
        SCOPED_TRACE(s.key.toStdString());
        int changes = 0;
        const auto connection = QObject::connect(&app, s.changed, [&] { ++changes; });

        (app.*s.set)(true);
        EXPECT_TRUE(settings_.contains(s.key));
        EXPECT_EQ(changes, 0);

        (app.*s.set)(false);
        EXPECT_FALSE((app.*s.get)());
        EXPECT_FALSE(settings_.boolValue(s.key));
        EXPECT_EQ(changes, 1);
        QObject::disconnect(connection);
    }
    EXPECT_EQ(settings_.writeCount(), 6);
}

TEST_F(AppStateTest, LaunchAtLoginRefusedBySystemEndsOff) {
    sim_.setLoginItemRefuses(true);
    AppState& app = make();
    int changes = 0;
    QObject::connect(&app, &AppState::launchAtLoginChanged, [&] { ++changes; });

    app.setLaunchAtLogin(true);
    EXPECT_FALSE(app.launchAtLogin());
    EXPECT_FALSE(sim_.loginItemEnabled());
    EXPECT_EQ(sim_.loginItemCalls(), 1);
    EXPECT_EQ(changes, 2); // on, then back off: a bound switch follows both
}

TEST_F(AppStateTest, LaunchAtLoginAlreadyRegisteredMakesNoCall) {
    sim_.setLoginItemEnabled(true);
    AppState& app = make();
    EXPECT_TRUE(app.launchAtLogin());
    app.setLaunchAtLogin(true);
    EXPECT_TRUE(app.launchAtLogin());
    EXPECT_EQ(sim_.loginItemCalls(), 0);
}

TEST_F(AppStateTest, LaunchAtLoginWriteEndsShowingTheRegistration) {
    struct Case {
        const char* name;
        bool registered;
        bool refuses;
        bool write;
        bool shown;
        int calls;
    };
    const Case cases[] = {
        {"off removes the entry", true, false, false, false, 1},
        {"off refused stays on", true, true, false, true, 1},
        {"off when not registered", false, false, false, false, 0},
        {"on adds the entry", false, false, true, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim_.setLoginItemEnabled(c.registered);
        sim_.setLoginItemRefuses(c.refuses);
        const int before = sim_.loginItemCalls();
        AppState& app = make();
        app.setLaunchAtLogin(c.write);
        EXPECT_EQ(app.launchAtLogin(), c.shown);
        EXPECT_EQ(sim_.loginItemEnabled(), c.shown);
        EXPECT_EQ(sim_.loginItemCalls() - before, c.calls);
        app_.reset();
    }
}

TEST_F(AppStateTest, ResetAccessibilityBringsTheKeyboardTapUpOnceTccutilEnds) {
    sim_.installProgram(QStringLiteral("/usr/bin/tccutil"));
    for (const bool started : {false, true}) {
        SCOPED_TRACE(started ? "features registered" : "nobody uses the hub");
        AppState& app = make();
        if (started) {
            app.start(); // without accessibility: registered, no tap yet
        }
        ASSERT_FALSE(hub_.hasTap());
        app.resetAccessibilityPermission();
        sim_.grantAccessibility(); // the user answers the prompt
        scheduler_.runPosted();    // no watchdog tick in between
        EXPECT_EQ(hub_.hasTap(), started);
        sim_.revokeAccessibility();
    }
}

TEST_F(AppStateTest, ResetAccessibilityRunsTccutilThenPromptsForTrust) {
    sim_.installProgram(QStringLiteral("/usr/bin/tccutil"));
    AppState& app = make();
    app.resetAccessibilityPermission();

    ASSERT_EQ(sim_.runs().size(), 1u);
    EXPECT_EQ(sim_.runs()[0].program, QStringLiteral("/usr/bin/tccutil"));
    EXPECT_EQ(sim_.runs()[0].arguments,
              (QStringList{QStringLiteral("reset"), QStringLiteral("Accessibility"), platform_.bundleIdentifier}));
    EXPECT_EQ(sim_.trustPromptCount(), 0); // not before the program has ended

    scheduler_.runPosted();
    EXPECT_EQ(sim_.trustPromptCount(), 1);
}

TEST_F(AppStateTest, ResetAccessibilityWithoutTccutilDoesNothing) {
    AppState& app = make();
    app.resetAccessibilityPermission();
    scheduler_.advance(1);
    EXPECT_TRUE(sim_.runs().empty());
    EXPECT_EQ(sim_.trustPromptCount(), 0);
}

TEST_F(AppStateTest, ResetAccessibilityFinishingAfterShutdownIsIgnored) {
    sim_.installProgram(QStringLiteral("/usr/bin/tccutil"));
    make().resetAccessibilityPermission();
    app_.reset();
    scheduler_.runPosted();
    EXPECT_EQ(sim_.trustPromptCount(), 0);
}

TEST_F(AppStateTest, StartPollsTheClipboardAndRecordsACopy) {
    AppState& app = make();
    EXPECT_FALSE(app.clipboard().isPolling());

    app.start();
    // The poll, the key hub's watchdog, the switcher's and snapping's waits for accessibility, and the notch's
    // media and pointer polls, the daily update check and the first check's deadline.
    const std::size_t timers = scheduler_.timerCount();
    app.start(); // a second start changes nothing
    EXPECT_TRUE(app.clipboard().isPolling());
    EXPECT_EQ(scheduler_.timerCount(), timers);
    EXPECT_EQ(timers, 8u);

    sim_.copy(QStringLiteral("copied text"));
    scheduler_.advance(0.69);
    EXPECT_EQ(app.clipboard().count(), 0);
    scheduler_.advance(0.01);
    ASSERT_EQ(app.clipboard().count(), 1);
    EXPECT_EQ(app.clipboard().entries().front().text, QStringLiteral("copied text"));
}

} // namespace
} // namespace tillory::shell
