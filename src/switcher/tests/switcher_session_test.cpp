#include "core/manual_scheduler.h"
#include "core/settings.h"
#include "keyhub/key_event_hub.h"
#include "platform/sim/sim_desktop.h"
#include "switcher/window_switcher_engine.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <tuple>

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
        double backingScale() const override { return owner.scale; }
        FakePanels& owner;
    };
    std::unique_ptr<SwitcherPanel> create() override {
        ++created;
        return std::make_unique<Panel>(*this);
    }
    int created = 0;
    int orderOuts = 0;
    std::vector<Rect> frames;
    double scale = 1;
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
    EXPECT_EQ(panels_.created, 0) << "made at the first session";
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

struct UseCase {
    const char* name;
    QStringList focused; // windows the user clicks, in order; "~": focused without being raised
    QString chosen;      // then switched to with the switcher, if any
    QString after;       // the next session's order, and [the highlight]
};

TEST_F(SwitcherTest, RecencyFollowsTheActiveWindowAlsoWithinOneApplication) {
    const UseCase cases[] = {
        {"clicks between two windows of one application", {"B", "A1", "A2"}, {}, "A2 [A1] B"},
        {"and back again", {"B", "A2", "A1", "A2"}, {}, "A2 [A1] B"},
        {"a quick Super+Tab goes back to the window switched from", {"B", "A2"}, "A1", "A1 [A2] B"},
        {"another application in between", {"A1", "B", "A2"}, {}, "A2 [B] A1"},
        {"a window manager that focuses without raising", {"A1", "B", "~A2"}, {}, "A2 [B] A1"},
    };
    WindowSwitcherEngine& engine = make();
    int n = 0;
    for (const UseCase& c : cases) {
        const QString a = QStringLiteral("a%1").arg(n), b = QStringLiteral("b%1").arg(n++);
        std::map<QString, std::uint32_t> ids;
        ids["A1"] = open(a, QStringLiteral("A1"));
        ids["A2"] = open(a, QStringLiteral("A2"));
        ids["B"] = open(b, QStringLiteral("B"));
        for (const QString& title : c.focused) {
            const bool raise = !title.startsWith(QLatin1Char('~'));
            sim_.focusWindow(ids[raise ? title : title.mid(1)], raise);
        }
        if (!c.chosen.isEmpty()) {
            hold();
            tab();
            const QStringList titles = sessionTitles();
            engine.select(static_cast<int>(titles.indexOf(c.chosen)));
            hold(0);
        }
        hold();
        tab();
        QStringList order = sessionTitles();
        order[engine.selectedIndex()] = QStringLiteral("[%1]").arg(order[engine.selectedIndex()]);
        EXPECT_EQ(order.join(QLatin1Char(' ')), c.after) << c.name;
        sim_.pressKey(KeyCode::Escape, Command);
        hold(0);
        for (const auto& item : ids) {
            sim_.closeWindow(item.second);
        }
    }
}

struct StampCase {
    const char* name;
    Rect bounds;
    double alpha;
    bool stamped; // else the application's next window is
};

TEST_F(SwitcherTest, AnActivationStampsTheFrontWindowOnlyWhenItIsARealOne) {
    const StampCase cases[] = {
        {"81 x 61", {0, 0, 81, 61}, 1.0, true},          {"80 x 61", {0, 0, 80, 61}, 1.0, false},
        {"81 x 60", {0, 0, 81, 60}, 1.0, false},         {"transparent", {0, 0, 800, 600}, 0.0, false},
        {"faintly there", {0, 0, 800, 600}, 0.01, true},
    };
    WindowSwitcherEngine& engine = make();
    int n = 0;
    for (const StampCase& c : cases) {
        const QString app = QStringLiteral("s%1").arg(n++);
        const std::uint32_t next = open(app, QStringLiteral("Next"));
        const std::uint32_t front = open(app, QStringLiteral("Front"), c.bounds);
        sim_.setWindowAlpha(front, c.alpha);
        sim_.activate(pids_.value(app));
        EXPECT_EQ(engine.stamp(front).has_value(), c.stamped) << c.name;
        EXPECT_EQ(engine.stamp(next).has_value(), !c.stamped) << c.name;
    }
}

TEST_F(SwitcherTest, NeverUsedWindowsFollowInStackingOrderHoweverMany) {
    QStringList stacking;
    for (int i = 0; i < 24; ++i) {
        open(QStringLiteral("a"), QStringLiteral("W%1").arg(i));
        stacking.prepend(QStringLiteral("W%1").arg(i));
    }
    const std::uint32_t used = open(QStringLiteral("b"), QStringLiteral("Used"));
    WindowSwitcherEngine& engine = make();
    sim_.focusWindow(used);
    sim_.focusWindow(sim_.platform().windowList->windows(0).back().number); // W0, from the back
    hold();
    tab();
    stacking.removeOne(QStringLiteral("W0"));
    EXPECT_EQ(sessionTitles(), QStringList({"W0", "Used"}) + stacking);
    EXPECT_EQ(engine.selectedIndex(), 1);
}

struct SwitchCase {
    const char* name;
    bool withProcess;
    bool chosenRaisable;
};

TEST_F(SwitcherTest, TheSwitchStampsTheChosenWindowAndReachesOneWithoutAProcessByNumber) {
    const SwitchCase cases[] = {
        {"a window of a known process", true, true},
        {"one that cannot be raised: stamped all the same", true, false},
        {"a window that names no process", false, true},
    };
    WindowSwitcherEngine& engine = make();
    int n = 0;
    for (const SwitchCase& c : cases) {
        const QString app = QStringLiteral("w%1").arg(n);
        const QString title = QStringLiteral("Chosen %1").arg(n++);
        const std::uint32_t chosen = c.withProcess ? open(app, title) : sim_.openWindow(0, title, {10, 10, 400, 300});
        sim_.setWindowMinimized(chosen, true);
        const std::uint32_t other = open(app, QStringLiteral("Other"));
        sim_.setWindowAccessible(chosen, c.chosenRaisable);
        sim_.focusWindow(open(app, QStringLiteral("Third")));
        sim_.focusWindow(other); // reported without an activation: the application was in front already
        const std::uint64_t before = *engine.stamp(other);
        const std::size_t byNumber = sim_.windowActivationRequests().size();
        hold();
        tab();
        engine.select(static_cast<int>(sessionTitles().indexOf(title)));
        hold(0);
        ASSERT_TRUE(engine.stamp(chosen)) << c.name;
        EXPECT_GT(*engine.stamp(chosen), before) << c.name;
        // What came forward instead of an unraisable window is what a quick Super+Tab should leave.
        EXPECT_EQ(*engine.stamp(chosen) > *engine.stamp(other), c.chosenRaisable) << c.name;
        EXPECT_EQ(sim_.windowActivationRequests().size() - byNumber, c.withProcess ? 0u : 1u) << c.name;
        if (c.chosenRaisable) {
            EXPECT_EQ(frontTitle(), title) << c.name;
            EXPECT_TRUE(sim_.window(chosen)->isOnscreen) << c.name;
        }
    }
}

TEST_F(SwitcherTest, PanelGoesToTheDisplayWhoseTopLeftRectangleHoldsThePointer) {
    // Screen space, y up: one display above the first and one below it, 1280 × 800 each.
    const Rect first{0, 0, 1280, 800}, above{0, 800, 1280, 800}, below{0, -800, 1280, 800};
    sim_.setScreens({{first, first}, {above, above}, {below, below}});
    const std::pair<platform::Point, Rect> cases[] = {
        {{100, 800}, first},  // the first display's top pixel row
        {{100, 1}, first},    // its bottom row
        {{100, 1600}, above}, // the top row of the display above
        {{100, 801}, above},  // its bottom row
        {{100, 0}, below},    // the top row of the display below
    };
    open(QStringLiteral("a"), QStringLiteral("A"));
    make();
    for (const auto& [pointer, frame] : cases) {
        sim_.setMouseLocation(pointer);
        hold();
        tab();
        sim_.pressKey(KeyCode::Escape, Command);
        hold(0);
        ASSERT_FALSE(panels_.frames.empty());
        EXPECT_EQ(panels_.frames.back(), frame) << pointer.x << "," << pointer.y;
    }
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

TEST_F(SwitcherTest, ThumbnailsFillThePreviewBoxInPixelsArriveAfterShowingAndAreKept) {
    const std::uint32_t big = open(QStringLiteral("a"), QStringLiteral("Big"), {0, 0, 1000, 600});
    const std::uint32_t small = open(QStringLiteral("a"), QStringLiteral("Small"), {0, 0, 83, 63});
    WindowSwitcherEngine& engine = make();
    // The 178 × 111 box less 3 on each side, in the panel display's pixels, whatever the window's size.
    for (const auto& [scale, width, height] : {std::tuple{1.0, 172, 105}, {2.0, 344, 210}, {1.5, 258, 158}}) {
        panels_.scale = scale;
        hold();
        tab();
        EXPECT_EQ(sim_.pendingCaptures(),
                  (std::vector<platform::CaptureRequest>{{small, width, height}, {big, width, height}}))
            << scale;
        sim_.finishCaptures();
        sim_.pressKey(KeyCode::Escape, Command);
        hold(0);
    }
    panels_.scale = 1;
    hold();
    tab();
    std::vector<int> changed;
    QObject::connect(&engine, &WindowSwitcherEngine::thumbnailChanged, [&](int index) { changed.push_back(index); });
    sim_.finishCaptures();
    scheduler_.runPosted();
    EXPECT_EQ(changed, (std::vector<int>{0, 1}));
    EXPECT_EQ(engine.thumbnailAt(1)->width, 172);

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
    EXPECT_EQ(engine.thumbnailAt(0)->height, 105);
    EXPECT_EQ(engine.thumbnailAt(0)->width, 158) << "1200 × 800 in 172 × 105";
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

TEST_F(SwitcherTest, WithoutCapturesTheHintSaysWhatIsMissing) {
    const std::pair<QString, QString> cases[] = {
        {{}, QStringLiteral("Enable Screen Recording in System Settings to see window previews")},
        {QStringLiteral("Window previews need the X server's Composite extension"),
         QStringLiteral("Window previews need the X server's Composite extension")},
    };
    open(QStringLiteral("a"), QStringLiteral("A"));
    sim_.setScreenCaptureAllowed(false);
    WindowSwitcherEngine& engine = make();
    for (const auto& [missing, hint] : cases) {
        sim_.setScreenCaptureMissing(missing);
        hold();
        tab();
        EXPECT_EQ(engine.hint(), hint);
        hold(0);
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

// Every Super+Tab lists the windows again; a window without an icon must not be asked about each time (on X11
// each miss reads the whole window list), while a new window of the same process is.
TEST_F(SwitcherTest, AWindowWithoutAnIconIsAskedAboutOnce) {
    WindowSwitcherEngine& engine = make();
    const std::int32_t plain = sim_.launchApp(QStringLiteral("org.plain"), QStringLiteral("Plain"));
    struct Case {
        const char* what;
        std::int32_t pid;
        std::uint32_t window;
        int newRequests;
    };
    const Case cases[] = {
        {"first look", plain, 11, 1},
        {"the same window again", plain, 11, 0},
        {"another window of the process", plain, 12, 1},
        {"that window again", plain, 12, 0},
        {"the same number in another process", plain + 1, 11, 1},
    };
    for (const Case& c : cases) {
        const int before = sim_.iconRequests();
        EXPECT_FALSE(engine.icon(c.pid, c.window)) << c.what;
        EXPECT_EQ(sim_.iconRequests() - before, c.newRequests) << c.what;
    }
}

// The panel and the previews kept for the next session are let go 10 minutes after a session ends, unless another
// session comes first; the next session makes a new panel.
TEST_F(SwitcherTest, APanelUnusedForTenMinutesIsLetGoWithItsPreviews) {
    open(QStringLiteral("a"), QStringLiteral("One"));
    open(QStringLiteral("b"), QStringLiteral("Two"));
    WindowSwitcherEngine& engine = make();
    const auto session = [&] {
        hold();
        tab();
        sim_.finishCaptures();
        scheduler_.runPosted();
        hold(0);
    };
    const struct {
        const char* what;
        double idle;
        bool panel;
        int created;
    } steps[] = {
        {"just closed", 0, true, 1},
        {"599.9 s later", 599.9, true, 1},
        {"600 s later", 0.1, false, 1},
        {"closed again", -1, true, 2},
        {"a session within 600 s keeps it", 500, true, 2},
        {"600 s after the later one", 600, false, 2},
    };
    session();
    for (const auto& s : steps) {
        if (s.idle < 0) {
            session();
        } else if (std::string_view(s.what).starts_with("a session")) {
            scheduler_.advance(s.idle);
            session();
        } else {
            scheduler_.advance(s.idle);
        }
        EXPECT_EQ(engine.hasPanel(), s.panel) << s.what;
        EXPECT_EQ(engine.thumbnailCacheSize() > 0, s.panel) << s.what;
        EXPECT_EQ(panels_.created, s.created) << s.what;
    }
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
    EXPECT_EQ(panels_.created, 0);
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
