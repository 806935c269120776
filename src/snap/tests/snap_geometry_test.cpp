#include "core/manual_scheduler.h"
#include "platform/sim/sim_desktop.h"
#include "snap/snap_geometry.h"

#include <gtest/gtest.h>

namespace tillory::snap {
namespace {

// One 1440 × 900 screen at the origin whose top 25 points are the menu bar.
const ScreenInfo kMain{{0, 0, 1440, 900}, {0, 0, 1440, 875}};

SnapBarGeometry barFor(const ScreenInfo& s) {
    return SnapBarGeometry{SnapLayouts::all(),
                           s.frame.size(),
                           {s.visibleFrame.minX() - s.frame.minX(), s.frame.maxY() - s.visibleFrame.maxY(),
                            s.visibleFrame.width, s.visibleFrame.height}};
}

class SnapGeometryTest : public ::testing::Test {
protected:
    core::ManualScheduler scheduler_;
    platform::sim::SimDesktop sim_{scheduler_};
    platform::Platform platform_ = sim_.platform();
    SnapGeometry geo_{*platform_.screens, *platform_.windowList};
};

TEST(SnapLayoutsTest, CatalogueNamesSymbolsAndZones) {
    const auto& all = SnapLayouts::all();
    ASSERT_EQ(all.size(), 5u);
    const std::vector<std::tuple<QString, QString, std::size_t>> expected{
        {"Halves", "rectangle.split.2x1", 2}, {"Wide + Narrow", "rectangle.lefthalf.inset.filled", 2},
        {"Thirds", "rectangle.split.3x1", 3}, {"Half + Stack", "uiwindow.split.2x1", 3},
        {"Grid", "rectangle.split.2x2", 4},
    };
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].name, std::get<0>(expected[i]));
        EXPECT_EQ(all[i].symbol, std::get<1>(expected[i]));
        EXPECT_EQ(all[i].zones.size(), std::get<2>(expected[i]));
    }
    EXPECT_EQ(all[3].zones[2].unit, (Rect{0.5, 0.5, 0.5, 0.5}));
    EXPECT_EQ(all[4].zones[2].unit, (Rect{0, 0.5, 0.5, 0.5}));
    EXPECT_DOUBLE_EQ(all[1].zones[1].unit.x, 2.0 / 3.0);
}

TEST(SnapBarGeometryTest, BarCardsAndZonesOnTheReferenceScreen) {
    const SnapBarGeometry bar = barFor(kMain);
    EXPECT_EQ(bar.barRect(), (Rect{390, 39, 660, 96}));
    EXPECT_EQ(bar.cardRect(0), (Rect{406, 51, 116, 72}));
    EXPECT_EQ(bar.zoneRect(0, 0), (Rect{415, 60, 46, 54}));
    EXPECT_EQ(bar.zoneRect(0, 1), (Rect{467, 60, 46, 54}));
}

TEST(SnapBarGeometryTest, DragTargets) {
    const SnapBarGeometry bar = barFor(kMain);
    using K = DragTarget::Kind;
    struct Case {
        Point p;
        K kind;
        Rect unit;
        int layout = -1;
        int zone = -1;
    };
    const Case cases[]{
        {{16, 41}, K::Unit, {0, 0, 0.5, 0.5}},        // 16 from the work area's top-left: inclusive
        {{17, 41}, K::BarGap, {}},                    // one further: the bar's band
        {{5, 42}, K::BarGap, {}},                     //
        {{5, 883}, K::Unit, {0, 0, 0.5, 1}},          // 17 above the bottom: the left edge
        {{10, 500}, K::Unit, {0, 0, 0.5, 1}},         // 10 from the side: inclusive
        {{1429, 500}, K::None, {}},                   //
        {{1424, 30}, K::Unit, {0.5, 0, 0.5, 0.5}},    //
        {{5, 890}, K::Unit, {0, 0.5, 0.5, 0.5}},      //
        {{1430, 884}, K::Unit, {0.5, 0.5, 0.5, 0.5}}, //
        {{420, 65}, K::Bar, {}, 0, 0},                //
        {{470, 65}, K::Bar, {}, 0, 1},                //
        {{464, 65}, K::BarGap, {}},                   // between two zones of a card
        {{700, 147}, K::BarGap, {}},                  // the band's lowest row
        {{5, 148}, K::Unit, {0, 0, 0.5, 1}},          //
        {{1430, 500}, K::Unit, {0.5, 0, 0.5, 1}},     //
        {{11, 500}, K::None, {}},                     //
        {{700, 890}, K::None, {}},                    // no bottom edge target
    };
    for (const Case& c : cases) {
        const DragTarget t = dragTarget(c.p, bar);
        EXPECT_EQ(t.kind, c.kind) << c.p.x << "," << c.p.y;
        if (c.kind == K::Unit) {
            EXPECT_EQ(t.unit, c.unit) << c.p.x << "," << c.p.y;
        }
        if (c.kind == K::Bar) {
            EXPECT_EQ(std::pair(t.layout, t.zone), std::pair(c.layout, c.zone));
        }
    }
}

TEST(SnapGeometryFunctions, TitleStripAndCloseness) {
    struct Case {
        Point p;
        Rect frame;
        bool inStrip;
    };
    const Case cases[]{
        {{100, 40}, {0, 0, 121, 121}, true},                                         // 48-point strip
        {{100, 49}, {0, 0, 121, 121}, false},                                        //
        {{500, 87}, {0, 0, 1000, 1000}, true},                                       // 88-point strip
        {{500, 89}, {0, 0, 1000, 1000}, false}, {{60, 10}, {0, 0, 120, 400}, false}, // 120 wide: never
        {{50, 10}, {0, 0, 800, 600}, false},                                         // the corner buttons
        {{50, 40}, {0, 0, 800, 600}, true},                                          // below the corner
        {{2, 10}, {0, 0, 800, 600}, false},                                          // the 4-point side inset
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isTopStrip(c.p, c.frame), c.inStrip) << c.p.x << "," << c.p.y;
    }
    EXPECT_TRUE(isClose({10, 10, 100, 100}, {0, 0, 120, 80}, 10));
    EXPECT_FALSE(isClose({10, 10, 100, 100}, {0, 0, 121, 100}, 10));
}

TEST_F(SnapGeometryTest, UnitRectanglesOnTheWorkArea) {
    sim_.setScreens({kMain});
    EXPECT_EQ(geo_.rect({0.5, 0, 0.5, 1}, kMain), (Rect{720, 25, 720, 875}));
    EXPECT_EQ(geo_.rect({0.1, 0.08, 0.8, 0.84}, kMain), (Rect{144, 95, 1152, 735}));
    // Thirds of 1280 meet without gaps: every edge is rounded on its own.
    const ScreenInfo wide{{0, 0, 1280, 800}, {0, 0, 1280, 800}};
    sim_.setScreens({wide});
    const Rect a = geo_.rect({0, 0, 1.0 / 3, 1}, wide);
    const Rect b = geo_.rect({1.0 / 3, 0, 1.0 / 3, 1}, wide);
    const Rect c = geo_.rect({2.0 / 3, 0, 1.0 / 3, 1}, wide);
    EXPECT_EQ(a.maxX(), b.minX());
    EXPECT_EQ(b.maxX(), c.minX());
    EXPECT_EQ(c.maxX(), 1280);
}

TEST_F(SnapGeometryTest, ReferenceHeightAndScreenLookups) {
    sim_.setScreens({});
    EXPECT_EQ(geo_.primaryMaxY(), 0);
    // A second screen stacked above the first, and one to its right.
    const ScreenInfo above{{0, 900, 1920, 1080}, {0, 900, 1920, 1080}};
    const ScreenInfo right{{1440, 0, 1280, 800}, {1440, 0, 1280, 800}};
    sim_.setScreens({kMain, right, above});
    EXPECT_EQ(geo_.primaryMaxY(), 900);
    // The pointer (screen space) falls back to the first screen where it is on none.
    struct Pointer {
        Point mouse;
        ScreenInfo screen;
    };
    const Pointer pointers[]{
        {{100, 900}, kMain},  // the lower screen's top row
        {{100, 901}, above},  //
        {{100, 1980}, above}, // the upper screen's top row
        {{1500, 800}, right}, //
        {{1500, 1}, right},   //
        {{1500, 0}, kMain},   // below every screen
    };
    for (const Pointer& p : pointers) {
        sim_.setMouseLocation(p.mouse);
        EXPECT_EQ(geo_.targetScreenFallback(), p.screen) << p.mouse.x << "," << p.mouse.y;
    }
    struct Case {
        Point p;
        std::optional<ScreenInfo> screen;
    };
    const Case cases[]{
        {{100, 0}, kMain},     // the top row belongs to the lower screen
        {{100, -1}, above},    //
        {{100, -1080}, above}, //
        {{100, -1081}, std::nullopt},
        {{1440, 100}, right}, //
        {{1440, 99}, std::nullopt},
        {{100, 900}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(geo_.screen(c.p), c.screen) << c.p.x << "," << c.p.y;
    }
    // The first screen is the reference, also when a shorter one beside it, aligned at the bottom, has its
    // corner at the origin.
    const ScreenInfo tall{{1280, 0, 1920, 1080}, {1280, 0, 1920, 1080}};
    const ScreenInfo shorter{{0, 0, 1280, 600}, {0, 0, 1280, 600}};
    sim_.setScreens({tall, shorter});
    EXPECT_EQ(geo_.primaryMaxY(), 1080);
    EXPECT_EQ(geo_.screen({100, 480}), shorter);
}

TEST_F(SnapGeometryTest, FullScreenAndRestoreFrames) {
    const ScreenInfo other{{1440, 0, 1280, 800}, {1440, 0, 1280, 800}};
    sim_.setScreens({kMain, other});
    EXPECT_TRUE(geo_.isFullScreenSized({10, 10, 1430, 890}, kMain));
    EXPECT_TRUE(geo_.isFullScreenSized({0, 30, 1440, 870}, kMain));
    EXPECT_FALSE(geo_.isFullScreenSized({0, 40, 1440, 870}, kMain));
    struct Case {
        Rect frame;
        bool valid;
    };
    const Case cases[]{
        {{100, 100, 1200, 800}, true}, {{100, 100, 180, 400}, false},  {{100, 100, 181, 141}, true},
        {{100, 100, 400, 140}, false}, {{1500, 100, 600, 400}, false}, {{0, 25, 1440, 875}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(geo_.validRestoreFrame(c.frame, kMain).has_value(), c.valid) << c.frame.x << " " << c.frame.width;
    }
}

} // namespace
} // namespace tillory::snap
