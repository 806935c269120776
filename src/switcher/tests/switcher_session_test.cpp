#include "core/manual_scheduler.h"
#include "core/settings.h"
#include "keyhub/key_event_hub.h"
#include "platform/sim/sim_desktop.h"
#include "switcher/window_switcher_engine.h"

#include <gtest/gtest.h>

#include <functional>

namespace tillory::switcher {
namespace {

using platform::Rect;
using platform::EventFlags::Command;
using platform::EventFlags::Shift;
namespace KeyCode = platform::KeyCode;

struct FakePanels final : SwitcherPanelFactory {
    struct Panel final : SwitcherPanel {
        explicit Panel(FakePanels& o) : owner(o) {}
        void present(Rect frame) override { owner.frames.push_back(frame); }
        void orderOut() override { ++owner.orderOuts; }
        FakePanels& owner;
    };
    std::unique_ptr<SwitcherPanel> create() override {
        ++created;
        return std::make_unique<Panel>(*this);
    }
    int created = 0;
    int orderOuts = 0;
    std::vector<Rect> frames;
};

class SwitcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim_.grantAccessibility();
        sim_.setScreenCaptureAllowed(true);
    }

    WindowSwitcherEngine& make() {
        engine_ = std::make_unique<WindowSwitcherEngine>(platform_, hub_, settings_, scheduler_, &panels_);
        engine_->enable();
        return *engine_;
    }

    std::uint32_t open(const QString& app, const QString& title, Rect bounds = {10, 10, 800, 600}) {
        if (!pids_.contains(app)) {
            pids_.insert(app, sim_.launchApp(QStringLiteral("org.") + app, app));
        }
        return sim_.openWindow(pids_.value(app), title, bounds);
    }

    platform::EventResult hold(std::uint64_t flags = Command) { return sim_.changeFlags(flags); }
    platform::EventResult tab(std::uint64_t flags = Command) { return sim_.pressKey(KeyCode::Tab, flags); }
    QString frontTitle() { return platform_.windowList->windows(0).front().name; }
    QStringList sessionTitles() const {
        QStringList titles;
        for (const SwitcherWindow& w : engine_->windows()) {
            titles << w.title;
        }
        return titles;
    }

    core::ManualScheduler scheduler_;
    platform::sim::SimDesktop sim_{scheduler_};
    platform::Platform platform_ = sim_.platform();
    core::MemorySettings settings_;
    keyhub::KeyEventHub hub_{*platform_.eventTaps, *platform_.accessibility, scheduler_};
    FakePanels panels_;
    QHash<QString, std::int32_t> pids_;
    std::unique_ptr<WindowSwitcherEngine> engine_;
};

struct Step {
    bool isFlags; // a modifier change, else a key down
    int keyCode;
    std::uint64_t flags;
    bool recorded = true;
};
const Step Hold{true, 0, Command, false}, HoldShift{true, 0, Command | Shift, false}, Tab{false, KeyCode::Tab, Command},
    ShiftTab{false, KeyCode::Tab, Command | Shift}, Left{false, KeyCode::LeftArrow, Command},
    Right{false, KeyCode::RightArrow, Command}, Escape{false, KeyCode::Escape, Command},
    Letter{false, KeyCode::A, Command}, LetterAlone{false, KeyCode::A, 0}, PlainTab{false, KeyCode::Tab, 0},
    LetGoShift{true, 0, Command}, LetGo{true, 0, 0};

struct KeyCase {
    const char* name;
    std::vector<Step> steps;
    QString after; // per recorded step: the highlight or "-" without a session, "+" when the event passed on
    QString front; // the window in front at the end
    bool keyboardRefused = false;
};

TEST_F(SwitcherTest, KeysMoveTheHighlightAndLettingGoOfCommandSwitches) {
    const KeyCase cases[] = {
        {"Command-Tab highlights the second", {Hold, Tab}, "1", "C"},
        {"Command-Shift-Tab highlights the last", {HoldShift, ShiftTab}, "2", "C"},
        {"four Tabs cycle 1, 2, 0, 1", {Hold, Tab, Tab, Tab, Tab}, "1 2 0 1", "C"},
        {"Shift-Tab and arrows wrap both ways", {Hold, Tab, ShiftTab, Left, Right}, "1 0 2 0", "C"},
        {"letting go of Command switches", {Hold, Tab, LetGo}, "1 -+", "B"},
        {"letting go of Shift first does nothing", {HoldShift, ShiftTab, LetGoShift, LetGo}, "2 2+ -+", "A"},
        {"Escape switches nothing", {Hold, Tab, Tab, Escape, LetGo}, "1 2 - -+", "C"},
        {"letters are swallowed", {Hold, Tab, Letter}, "1 1", "C"},
        {"a key without Command is the missed release: switch, key passes", {Hold, Tab, LetterAlone}, "1 -+", "B"},
        {"Tab without Command passes", {PlainTab}, "-+", "C"},
        {"Command let go before the keyboard was taken", {Tab}, "-", "B"},
        {"no session without the keyboard", {Hold, Tab}, "-", "C", true},
    };
    open(QStringLiteral("a"), QStringLiteral("A"));
    open(QStringLiteral("b"), QStringLiteral("B"));
    open(QStringLiteral("c"), QStringLiteral("C"));
    for (const KeyCase& k : cases) {
        for (const char* app : {"a", "b", "c"}) {
            sim_.activate(pids_.value(QString::fromUtf8(app))); // front to back: C, B, A
        }
        sim_.setModifierFlags(0);
        sim_.setCaptureFails(k.keyboardRefused);
        WindowSwitcherEngine& engine = make();
        QStringList after;
        for (const Step& step : k.steps) {
            const platform::EventResult passed =
                step.isFlags ? sim_.changeFlags(step.flags) : sim_.pressKey(step.keyCode, step.flags);
            if (step.recorded) {
                after << (engine.isActive() ? QString::number(engine.selectedIndex()) : QStringLiteral("-")) +
                             (passed ? QStringLiteral("+") : QString());
            }
        }
        EXPECT_EQ(after.join(QLatin1Char(' ')), k.after) << k.name;
        EXPECT_EQ(frontTitle(), k.front) << k.name;
        EXPECT_EQ(sim_.tapCapturing(), engine.isActive()) << k.name;
        if (k.front == QStringLiteral("C")) {
            EXPECT_EQ(engine.recencyCount(), 0u) << k.name << ": nothing stamped without a switch";
        }
    }
}

TEST_F(SwitcherTest, EmptyOrSingleCatalogue) {
    WindowSwitcherEngine& engine = make();
    hold();
    EXPECT_FALSE(tab()) << "the press is consumed even when nothing opens";
    EXPECT_FALSE(engine.isActive());

    const std::uint32_t only = open(QStringLiteral("a"), QStringLiteral("Only"));
    sim_.setWindowMinimized(only, true);
    tab(Command | Shift);
    EXPECT_EQ(engine.selectedIndex(), 0);
    hold(0);
    EXPECT_TRUE(sim_.window(only)->isOnscreen) << "the switch un-minimises";
}

TEST_F(SwitcherTest, PanelCoversTheDisplayUnderThePointerAndHoldsTheKeyboardMeanwhile) {
    const Rect second{1512, 0, 1280, 800};
    sim_.setScreens({{Rect{0, 0, 1512, 982}, Rect{0, 0, 1512, 950}}, {second, second}});
    sim_.setMouseLocation({1600, 100});
    for (int i = 0; i < 7; ++i) {
        open(QStringLiteral("a"), QStringLiteral("W%1").arg(i));
    }
    WindowSwitcherEngine& engine = make();
    EXPECT_EQ(panels_.created, 1) << "made at the first enable";
    EXPECT_EQ(sim_.tapTriggers(), (std::vector<platform::KeyTrigger>{{KeyCode::Tab, Command, true, {}}}));
    std::vector<int> columnsWithTiles; // as a view placing the new tiles sees the card
    QObject::connect(&engine, &WindowSwitcherEngine::windowsChanged, [&] {
        if (!engine.windows().empty()) {
            columnsWithTiles.push_back(engine.columns());
        }
    });
    for (int session = 0; session < 2; ++session) {
        hold();
        tab();
        EXPECT_TRUE(sim_.tapCapturing());
        EXPECT_EQ(engine.columns(), 6) << "seven tiles do not fit 1280 points";
        hold(0);
        EXPECT_FALSE(sim_.tapCapturing());
    }
    EXPECT_EQ(columnsWithTiles, (std::vector<int>{6, 6}));
    EXPECT_EQ(panels_.created, 1);
    EXPECT_EQ(panels_.frames, (std::vector<Rect>{second, second}));
    EXPECT_EQ(panels_.orderOuts, 2);

    hold();
    tab();
    engine.disable();
    EXPECT_FALSE(engine.isActive());
    EXPECT_TRUE(tab()) << "switched off, Super+Tab reaches the desktop";
}

TEST_F(SwitcherTest, RecencyOrdersSessionsAndIsPrunedAndBounded) {
    open(QStringLiteral("a"), QStringLiteral("A"));
    open(QStringLiteral("b"), QStringLiteral("B"));
    open(QStringLiteral("c"), QStringLiteral("C"));
    const std::uint32_t dock = open(QStringLiteral("Dock"), QStringLiteral("D"));
    WindowSwitcherEngine& engine = make();
    hold();
    tab();
    EXPECT_EQ(sessionTitles(), (QStringList{"C", "B", "A"})) << "no stamps: front to back";
    hold(0);
    sim_.activate(pids_.value(QStringLiteral("a")));
    sim_.activate(pids_.value(QStringLiteral("Dock")));
    ASSERT_TRUE(engine.stamp(dock));
    hold();
    tab();
    EXPECT_EQ(sessionTitles(), (QStringList{"A", "B", "C"}));
    sim_.pressKey(KeyCode::Escape, Command);
    EXPECT_FALSE(engine.stamp(dock)) << "a window not shown loses its stamp at the session's end";

    // Without sessions the table keeps only what still exists once it grows past its bound.
    const std::uint32_t kept = open(QStringLiteral("keep"), QStringLiteral("K"));
    sim_.activate(pids_.value(QStringLiteral("keep")));
    for (int i = 0; i < 300; ++i) {
        const std::uint32_t w = open(QStringLiteral("p"), QStringLiteral("P"));
        sim_.activate(pids_.value(QStringLiteral("p")));
        sim_.closeWindow(w);
    }
    EXPECT_LE(engine.recencyCount(), 256u);
    EXPECT_TRUE(engine.stamp(kept));
}

struct RaiseCase {
    const char* name;
    bool numbersKnown;
    const char* otherTitle; // the application's second window; the chosen one is "Doc"
    bool chosenInTree;      // listed among the application's window elements
    int front;              // 0: the chosen window in front after the switch, 1: the other, -1: not looked at
    bool otherMinimizedAfter;
};

TEST_F(SwitcherTest, SwitchRaisesTheMatchingElementAndAlwaysActivatesTheApplication) {
    const RaiseCase cases[] = {
        {"shared title: the numbered one", true, "Doc", true, 0, false},
        {"shared title without numbers: the first titled so", false, "Doc", true, 1, false},
        {"only element, another title: raised anyway", false, "Other", false, -1, false},
        {"only element, numbered as another window: nothing raised", true, "Other", false, -1, true},
    };
    WindowSwitcherEngine& engine = make();
    int n = 0;
    for (const RaiseCase& c : cases) {
        const QString app = QStringLiteral("x%1").arg(n++);
        const std::uint32_t chosen = open(app, QStringLiteral("Doc"));
        const std::uint32_t other = open(app, QString::fromUtf8(c.otherTitle));
        sim_.setWindowAccessible(chosen, c.chosenInTree);
        sim_.setWindowMinimized(other, !c.chosenInTree);
        sim_.setWindowNumbersKnown(c.numbersKnown);
        hold();
        tab();
        for (int i = 0; i < static_cast<int>(engine.windows().size()); ++i) {
            if (engine.windows()[static_cast<std::size_t>(i)].id == chosen) {
                engine.select(i);
            }
        }
        hold(0);
        EXPECT_FALSE(engine.isActive()) << c.name;
        EXPECT_EQ(sim_.activationRequests().back(), pids_.value(app)) << c.name;
        if (c.front >= 0) {
            EXPECT_EQ(platform_.windowList->windows(0).front().number, c.front == 0 ? chosen : other) << c.name;
        }
        EXPECT_EQ(sim_.window(other)->isOnscreen, !c.otherMinimizedAfter) << c.name;
    }
}

TEST_F(SwitcherTest, ThumbnailsAreQuarterSizeArriveAfterShowingAndAreKept) {
    const std::uint32_t big = open(QStringLiteral("a"), QStringLiteral("Big"), {0, 0, 1000, 600});
    const std::uint32_t small = open(QStringLiteral("a"), QStringLiteral("Small"), {0, 0, 83, 63});
    WindowSwitcherEngine& engine = make();
    hold();
    tab();
    EXPECT_EQ(sim_.pendingCaptures(), (std::vector<platform::CaptureRequest>{{small, 20, 15}, {big, 250, 150}}));
    std::vector<int> changed;
    QObject::connect(&engine, &WindowSwitcherEngine::thumbnailChanged, [&](int index) { changed.push_back(index); });
    sim_.finishCaptures();
    scheduler_.runPosted();
    EXPECT_EQ(changed, (std::vector<int>{0, 1}));
    EXPECT_EQ(engine.thumbnailAt(1)->width, 250);

    // A capture that lands after its session fills the cache only; the next session shows it at once.
    hold(0);
    sim_.setWindowBounds(big, {0, 0, 1200, 800});
    hold();
    tab();
    sim_.pressKey(KeyCode::Escape, Command);
    sim_.finishCaptures();
    scheduler_.runPosted();
    EXPECT_TRUE(engine.windows().empty());
    tab();
    EXPECT_EQ(engine.thumbnailAt(0)->width, 300);
}

TEST_F(SwitcherTest, ThumbnailCacheHoldsAtMost48BetweenSessions) {
    for (int i = 0; i < 60; ++i) {
        open(QStringLiteral("a"), QStringLiteral("W%1").arg(i));
    }
    WindowSwitcherEngine& engine = make();
    for (bool landsLate : {false, true}) {
        hold();
        tab();
        if (!landsLate) {
            sim_.finishCaptures();
            scheduler_.runPosted();
        }
        hold(0);
        sim_.finishCaptures();
        scheduler_.runPosted();
        EXPECT_EQ(engine.thumbnailCacheSize(), 48u) << (landsLate ? "late" : "in session");
    }
}

TEST_F(SwitcherTest, WithoutScreenRecordingTheHintShowsAndTilesKeepTheirIcons) {
    sim_.setScreenCaptureAllowed(false);
    const std::uint32_t w = open(QStringLiteral("a"), QStringLiteral("A"));
    sim_.setAppIcon(pids_.value(QStringLiteral("a")), platform::Bitmap{2, 2, 8, QByteArray(16, '\xff')});
    WindowSwitcherEngine& engine = make();
    hold();
    tab();
    EXPECT_EQ(engine.hint(), QStringLiteral("Enable Screen Recording in System Settings to see window previews"));
    EXPECT_TRUE(engine.iconAt(0));
    EXPECT_FALSE(engine.thumbnailAt(0));
    EXPECT_TRUE(sim_.pendingCaptures().empty());
    EXPECT_EQ(engine.windows().front().id, w);
    hold(0);
    sim_.setScreenCaptureAllowed(true);
    hold();
    tab();
    EXPECT_EQ(engine.hint(), QString());
}

TEST_F(SwitcherTest, IconCacheIsPerProcessAndResetBeyond128) {
    WindowSwitcherEngine& engine = make();
    std::vector<std::int32_t> pids;
    for (int i = 0; i < 130; ++i) {
        pids.push_back(sim_.launchApp(QStringLiteral("org.app%1").arg(i), QStringLiteral("App %1").arg(i)));
        sim_.setAppIcon(pids.back(), platform::Bitmap{1, 1, 4, QByteArray(4, '\1')});
    }
    const std::int32_t noIcon = sim_.launchApp(QStringLiteral("org.plain"), QStringLiteral("Plain"));
    for (int i = 0; i < 129; ++i) {
        engine.icon(pids[static_cast<std::size_t>(i)]);
    }
    EXPECT_FALSE(engine.icon(noIcon));
    EXPECT_EQ(engine.iconCacheSize(), 129u);
    const int asked = sim_.iconRequests();
    engine.icon(pids[0]);
    EXPECT_EQ(sim_.iconRequests(), asked) << "cached per process";
    engine.icon(pids[129]);
    EXPECT_EQ(engine.iconCacheSize(), 1u);
}

TEST_F(SwitcherTest, WaitsForAccessibilityCheckingEvery2Seconds) {
    sim_.revokeAccessibility();
    WindowSwitcherEngine& engine = make();
    EXPECT_TRUE(engine.isWaitingForPermission());
    EXPECT_EQ(sim_.trustPromptCount(), 1);
    EXPECT_EQ(panels_.created, 0);
    sim_.grantAccessibility();
    scheduler_.advance(1.9);
    EXPECT_FALSE(engine.isListening());
    scheduler_.advance(0.1);
    EXPECT_TRUE(engine.isListening());
    EXPECT_FALSE(engine.isWaitingForPermission());
    EXPECT_EQ(sim_.trustPromptCount(), 1) << "the watch never prompts";
    EXPECT_EQ(panels_.created, 1);
    EXPECT_EQ(sim_.liveTapCount(), 1);
}

TEST_F(SwitcherTest, ScreenRecordingIsRequestedOncePerUser) {
    sim_.setScreenCaptureAllowed(false);
    make().disable();
    engine_->enable();
    make();
    EXPECT_EQ(sim_.screenCaptureRequests(), 1);
    EXPECT_TRUE(settings_.boolValue(QStringLiteral("didRequestScreenRecording")));
}

} // namespace
} // namespace tillory::switcher
