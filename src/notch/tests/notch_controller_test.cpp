#include "notch/notch_controller.h"

#include "core/manual_scheduler.h"
#include "core/settings.h"
#include "platform/sim/sim_desktop.h"

#include <gtest/gtest.h>

#include <functional>

namespace tillory::notch {
namespace {

using platform::Event;
using platform::EventType;
using platform::Point;
using platform::Rect;
using platform::ScreenInfo;

// 1512 × 982 with a 32-point inset and a 200-wide notch.
const ScreenInfo kNotched{{0, 0, 1512, 982}, {0, 0, 1512, 950}, 32, Rect{0, 950, 656, 32}, Rect{856, 950, 656, 32}};
const ScreenInfo kPlain{{1512, 0, 1920, 1080}, {1512, 0, 1920, 1080}};

struct PanelLog {
    int made = 0;
    int fronts = 0;
    bool visible = false;
    bool ignores = false;
    std::optional<Rect> frame;
    bool tellsHover = false;
    std::optional<Rect> hoverArea;
    std::function<void(bool)> onHover;
};

class FakePanel final : public NotchPanel {
public:
    explicit FakePanel(PanelLog& log) : log_(log) {}
    void setFrame(Rect frame) override { log_.frame = frame; }
    void setIgnoresMouseEvents(bool ignores) override { log_.ignores = ignores; }
    void orderFrontRegardless() override {
        ++log_.fronts;
        log_.visible = true;
    }
    void orderOut() override { log_.visible = false; }
    bool isVisible() const override { return log_.visible; }
    bool tellsHover() const override { return log_.tellsHover; }
    void setHoverArea(const Rect& area, std::function<void(bool)> onHover) override {
        log_.hoverArea = area;
        log_.onHover = std::move(onHover);
    }

private:
    PanelLog& log_;
};

class FakeFactory final : public NotchPanelFactory {
public:
    PanelLog log;
    std::unique_ptr<NotchPanel> create() override {
        ++log.made;
        return std::make_unique<FakePanel>(log);
    }
};

struct Fixture {
    core::ManualScheduler scheduler;
    platform::sim::SimDesktop desktop{scheduler};
    core::MemorySettings settings;
    FakeFactory panels;
    std::unique_ptr<NotchController> notch;

    explicit Fixture(std::vector<ScreenInfo> screens = {kNotched}) {
        desktop.setScreens(std::move(screens));
        desktop.grantAccessibility();
        desktop.setMouseLocation({756, 300});
        notch = std::make_unique<NotchController>(desktop.platform(), settings, scheduler, &panels);
        notch->enable();
        scheduler.runPosted();
    }
    /// The pointer moves to `p` (bottom-left space), then `wait` passes.
    void pointer(Point p, double wait) {
        desktop.setMouseLocation(p);
        Event e;
        e.type = EventType::MouseMoved;
        e.location = {p.x, 982 - p.y};
        desktop.inject(e);
        scheduler.advance(wait);
    }
    bool clickPasses(Point topLeft) {
        Event e;
        e.type = EventType::LeftMouseDown;
        e.location = topLeft;
        return desktop.inject(e).has_value();
    }
};

TEST(NotchGeometry, FromTheDisplaysInsetAndAreas) {
    const struct {
        const char* what;
        ScreenInfo display;
        platform::Size notch;
        double bare, wing;
        Rect panel, collapsed, expanded;
    } cases[] = {
        {"32 high, 200 wide",
         kNotched,
         {200, 32},
         204,
         30,
         {518, 802, 476, 180},
         {624, 950, 264, 32},
         {536, 838, 440, 144}},
        {"10 high",
         {{0, 0, 1512, 982}, {}, 10, Rect{0, 972, 666, 10}, Rect{846, 972, 666, 10}},
         {180, 10},
         184,
         10,
         {518, 824, 476, 158},
         {654, 972, 204, 10},
         {536, 860, 440, 122}},
        {"no areas",
         {{0, 0, 1512, 982}, {}, 32},
         {0, 0},
         4,
         10,
         {518, 834, 476, 148},
         {744, 982, 24, 0},
         {536, 870, 440, 112}},
    };
    for (const auto& c : cases) {
        const NotchGeometry g = notchGeometry(c.display);
        EXPECT_EQ(g.notch, c.notch) << c.what;
        EXPECT_EQ(g.bareWidth, c.bare) << c.what;
        EXPECT_EQ(g.wingExtraEach, c.wing) << c.what;
        EXPECT_EQ(g.panelFrame, c.panel) << c.what;
        EXPECT_EQ(g.collapsedIsland, c.collapsed) << c.what;
        EXPECT_EQ(g.expandedIsland, c.expanded) << c.what;
    }
    EXPECT_EQ(notchDisplay({kPlain, kNotched}), kNotched);
    EXPECT_EQ(notchDisplay({kPlain}), std::nullopt);
}

TEST(NotchController, PlacesThePanelOnlyWithANotchedDisplay) {
    Fixture fx({kPlain, kNotched});
    EXPECT_EQ(fx.panels.log.frame, (Rect{518, 802, 476, 180}));
    EXPECT_TRUE(fx.panels.log.visible);
    EXPECT_TRUE(fx.panels.log.ignores);
    EXPECT_EQ(fx.notch->islandRectInPanel(), QRectF(106, 0, 264, 32));

    fx.desktop.setScreens({kPlain});
    EXPECT_FALSE(fx.panels.log.visible);
    EXPECT_EQ(fx.notch->islandRect(), std::nullopt);
    fx.desktop.setScreens({kNotched});
    EXPECT_TRUE(fx.panels.log.visible);

    Fixture none({kPlain});
    EXPECT_EQ(none.panels.log.made, 1);
    EXPECT_EQ(none.panels.log.fronts, 0);
}

TEST(NotchController, HoverExpandsAtOnceAndCollapsesAfterTheDelay) {
    Fixture fx;
    const struct {
        const char* what;
        Point pointer;
        double wait;
        bool expanded;
        double mediaInterval;
    } steps[] = {
        {"far", {756, 300}, 0.2, false, 4.0},
        {"near", {756, 871}, 0.22, false, 4.0},
        {"on the strip", {756, 960}, 0.06, true, 1.5},
        {"on the card", {600, 850}, 0.2, true, 1.5},
        {"left the card", {756, 300}, 0.3, true, 1.5},
        {"back in time", {756, 900}, 0.2, true, 1.5},
        {"left again", {756, 300}, 0.3, true, 1.5},
        {"delay over", {756, 300}, 0.1, false, 4.0},
        {"collapsed and far", {756, 300}, 0.1, false, 4.0},
    };
    for (const auto& s : steps) {
        fx.pointer(s.pointer, s.wait);
        EXPECT_EQ(fx.notch->isExpanded(), s.expanded) << s.what;
        EXPECT_EQ(fx.panels.log.ignores, !s.expanded) << s.what;
        EXPECT_EQ(fx.notch->media().pollInterval(), s.mediaInterval) << s.what;
    }
}

// Hover follows the pointer's movements: a resting pointer costs nothing, a moving one at most one look every
// 0.05 s, and the strip still opens under a pointer that got there without a movement (a drag that ended there,
// a quiet time that ran out, a display that came to it).
TEST(NotchController, HoverIsCheckedOnlyAsThePointerMoves) {
    {
        Fixture fx;
        fx.scheduler.advance(1); // the look at start
        const int reads = fx.desktop.mouseReads();
        fx.scheduler.advance(60);
        EXPECT_EQ(fx.desktop.mouseReads(), reads) << "a resting pointer is not looked at";
        EXPECT_FALSE(fx.notch->isPolling());
        for (int i = 0; i < 100; ++i) { // 1000 movements a second for 0.1 s
            fx.pointer({756.0 + i, 300}, 0.001);
        }
        fx.scheduler.advance(0.1);
        const int looks = fx.desktop.mouseReads() - reads;
        EXPECT_GE(looks, 2);
        EXPECT_LE(looks, 3) << "one look per 0.05 s";
        EXPECT_FALSE(fx.notch->isPolling()) << "and none once it rests";
    }
    {
        Fixture fx;
        fx.pointer({756, 960}, 0.1);
        ASSERT_TRUE(fx.notch->isExpanded());
        fx.desktop.setMouseLocation({756, 300}); // warped away: no movement reported
        fx.scheduler.advance(0.5);
        EXPECT_FALSE(fx.notch->isExpanded()) << "an open card is looked after without movements";
        const int reads = fx.desktop.mouseReads();
        fx.scheduler.advance(10);
        EXPECT_LE(fx.desktop.mouseReads() - reads, 1) << "and the looking ends when it closes";
    }
    const struct {
        const char* what;
        std::vector<ScreenInfo> before;
        EventType press;
        double wait;
        bool expanded;
    } cases[] = {
        {"a button let go on the strip", {kNotched}, EventType::LeftMouseUp, 0.06, true},
        {"a press beside the strip, then resting on it", {kNotched}, EventType::LeftMouseDown, 0.3, true},
        {"the notched display plugged in under the pointer", {kPlain}, EventType::Null, 0.06, true},
    };
    for (const auto& c : cases) {
        Fixture fx(c.before);
        fx.desktop.setMouseLocation({756, 960});
        Event up;
        up.type = EventType::LeftMouseUp;
        up.location = {756, 22};
        if (c.press == EventType::LeftMouseDown) {
            fx.clickPasses({560, 10}); // beside the strip: quiet for the double-click interval
            fx.desktop.inject(up);
            fx.scheduler.advance(0.3);
            EXPECT_FALSE(fx.notch->isExpanded()) << c.what << ": quiet";
        } else if (c.press == EventType::LeftMouseUp) {
            fx.desktop.inject(up);
        } else {
            fx.desktop.setScreens({kNotched});
        }
        fx.scheduler.advance(c.wait);
        EXPECT_EQ(fx.notch->isExpanded(), c.expanded) << c.what;
    }
}

TEST(NotchController, AClickOnTheCollapsedStripExpandsAndIsConsumed) {
    Fixture fx;
    EXPECT_TRUE(fx.clickPasses({100, 10}));
    EXPECT_FALSE(fx.notch->isExpanded());
    EXPECT_FALSE(fx.clickPasses({756, 10}));
    EXPECT_TRUE(fx.notch->isExpanded());
    EXPECT_TRUE(fx.clickPasses({756, 10})); // the island's own controls get it

    fx.desktop.disableTaps(EventType::TapDisabledByTimeout);
    EXPECT_EQ(fx.desktop.enabledTapCount(), 1);
}

TEST(NotchController, PressesMeantForATitleBarUnderTheStripDoNotOpenTheCard) {
    // d: the pointer goes to `at` and presses there, u: lets go, m: moves to `at`; then `wait` passes. The strip
    // is x 624…888 at the top; 560 is a title bar beside it. The double-click interval is 0.5 s.
    struct Step {
        char action;
        Point at;
        double wait;
        bool expanded;
    };
    const struct {
        const char* what;
        bool tapSwallows;
        std::vector<Step> steps;
    } cases[] = {
        {"a title double-click beside the strip and on it",
         false,
         {{'d', {560, 972}, 0, false},
          {'u', {}, 0.1, false},
          {'d', {700, 972}, 0, false},
          {'u', {}, 0.3, false},
          {'m', {700, 972}, 0.15, false},
          {'m', {700, 972}, 0.1, true}}},
        {"a title bar dragged across the strip",
         true,
         {{'d', {560, 972}, 0, false}, {'m', {700, 960}, 1.0, false}, {'u', {}, 0.06, true}}},
        {"a press on the strip the window below received too",
         false,
         {{'d', {700, 972}, 0, false}, {'u', {}, 0.4, false}, {'m', {700, 972}, 0.2, true}}},
        {"a press on the strip the tap kept", true, {{'d', {700, 972}, 0, true}, {'u', {}, 0.1, true}}},
    };
    for (const auto& c : cases) {
        Fixture fx;
        fx.desktop.setTapsSwallow(c.tapSwallows);
        for (int n = 0; n < int(c.steps.size()); ++n) {
            const Step& s = c.steps[n];
            Event e;
            e.type = s.action == 'u' ? EventType::LeftMouseUp : EventType::LeftMouseDown;
            e.location = {s.at.x, 982 - s.at.y};
            if (s.action != 'u') {
                Event moved = e;
                moved.type = EventType::MouseMoved;
                fx.desktop.setMouseLocation(s.at);
                fx.desktop.inject(moved);
            }
            if (s.action != 'm') {
                fx.desktop.inject(e);
            }
            fx.scheduler.advance(s.wait);
            EXPECT_EQ(fx.notch->isExpanded(), s.expanded) << c.what << ", step " << n;
        }
    }
}

TEST(NotchController, ANoticeLastsOnePointThreeSecondsAfterTheLatest) {
    Fixture fx;
    const TransportHUD first{QStringLiteral("play.fill"), QStringLiteral("Play")};
    const TransportHUD second{QStringLiteral("forward.fill"), QStringLiteral("Next")};
    Q_EMIT fx.notch->media().transportEvent(first);
    EXPECT_EQ(fx.notch->hud(), first);
    fx.scheduler.advance(1.0);
    fx.notch->flashHUD(second);
    fx.scheduler.advance(1.2);
    EXPECT_EQ(fx.notch->hud(), second);
    fx.scheduler.advance(0.1);
    EXPECT_EQ(fx.notch->hud(), std::nullopt);
}

TEST(NotchController, LosingTheDisplayWhileExpandedCollapses) {
    Fixture fx;
    fx.pointer({756, 960}, 0.2);
    ASSERT_TRUE(fx.notch->isExpanded());
    fx.desktop.setScreens({kPlain});
    EXPECT_FALSE(fx.notch->isExpanded());
    EXPECT_EQ(fx.notch->media().pollInterval(), 4.0);
}

// Without pointer movements from the platform (no tap), hovering is polled: every 0.18 s far from the island,
// every 0.05 s within 80 points below it or while the card is open.
TEST(NotchController, WithoutATapHoverIsPolled) {
    core::ManualScheduler scheduler;
    platform::sim::SimDesktop desktop{scheduler};
    core::MemorySettings settings;
    FakeFactory panels;
    desktop.setScreens({kNotched});
    desktop.setTapCreationFails(true);
    desktop.setMouseLocation({756, 300});
    NotchController notch(desktop.platform(), settings, scheduler, &panels);
    notch.enable();
    const struct {
        const char* what;
        Point pointer;
        double wait;
        bool expanded;
        double interval;
    } steps[] = {
        {"far", {756, 300}, 0.4, false, 0.18},
        {"near", {756, 871}, 0.2, false, 0.05},
        {"on the strip", {756, 960}, 0.06, true, 0.05},
        {"left", {756, 300}, 0.5, false, 0.18},
    };
    for (const auto& s : steps) {
        desktop.setMouseLocation(s.pointer);
        scheduler.advance(s.wait);
        EXPECT_TRUE(notch.isPolling()) << s.what;
        EXPECT_EQ(notch.isExpanded(), s.expanded) << s.what;
        EXPECT_EQ(notch.hoverInterval(), s.interval) << s.what;
    }
}

// Where the panel hears the pointer over the island itself, nothing taps or polls the pointer, and the area it
// listens on follows the island as it opens and closes.
TEST(NotchController, APanelThatTellsHoverReplacesTapAndPolling) {
    core::ManualScheduler scheduler;
    platform::sim::SimDesktop desktop{scheduler};
    core::MemorySettings settings;
    FakeFactory panels;
    panels.log.tellsHover = true;
    desktop.setScreens({kNotched});
    NotchController notch(desktop.platform(), settings, scheduler, &panels);
    notch.enable();
    EXPECT_FALSE(notch.hasClickTap());
    EXPECT_FALSE(notch.isPolling());
    ASSERT_TRUE(panels.log.onHover);
    const struct {
        const char* what;
        std::optional<bool> inside; // nothing: only time passes
        double wait;
        bool expanded;
        Rect area;
    } steps[] = {
        {"at rest", std::nullopt, 5, false, {106, 0, 264, 32}},
        {"enters the strip", true, 0, true, {18, 0, 440, 144}},
        {"leaves the card", false, 0.3, true, {18, 0, 440, 144}},
        {"back within the delay", true, 0.5, true, {18, 0, 440, 144}},
        {"leaves again", false, 0.4, false, {106, 0, 264, 32}},
        {"the same leave again changes nothing", false, 1, false, {106, 0, 264, 32}},
    };
    for (const auto& s : steps) {
        if (s.inside) {
            panels.log.onHover(*s.inside);
        }
        scheduler.advance(s.wait);
        EXPECT_EQ(notch.isExpanded(), s.expanded) << s.what;
        EXPECT_EQ(panels.log.ignores, !s.expanded) << s.what;
        EXPECT_EQ(panels.log.hoverArea, s.area) << s.what;
        EXPECT_FALSE(notch.isPolling()) << s.what;
    }
    notch.disable();
    panels.log.onHover(true); // a late report from a panel on its way out
    EXPECT_FALSE(notch.isExpanded());
}

TEST(NotchController, DisableStopsEverythingAndDropsTheNotice) {
    Fixture fx;
    fx.pointer({756, 960}, 0.2);
    fx.notch->flashHUD({QStringLiteral("bolt.fill"), QStringLiteral("Charging")});
    ASSERT_TRUE(fx.notch->isExpanded());
    ASSERT_TRUE(fx.notch->media().hasTimer());
    ASSERT_TRUE(fx.notch->hasClickTap());
    ASSERT_EQ(fx.desktop.powerObserverCount(), 1);

    fx.notch->disable();
    EXPECT_FALSE(fx.notch->isExpanded());
    EXPECT_EQ(fx.notch->hud(), std::nullopt);
    EXPECT_FALSE(fx.notch->media().hasTimer());
    EXPECT_FALSE(fx.notch->isPolling());
    EXPECT_EQ(fx.desktop.powerObserverCount(), 0);
    EXPECT_EQ(fx.desktop.liveTapCount(), 0);
    EXPECT_FALSE(fx.notch->hasPanel());
    EXPECT_FALSE(fx.panels.log.visible);

    fx.notch->enable();
    EXPECT_EQ(fx.notch->hud(), std::nullopt);
    EXPECT_EQ(fx.panels.log.made, 2);
}

} // namespace
} // namespace tillory::notch
