// The tree parser against hand-written GET_TREE replies: which nodes are windows, their frames, and the front to
// back order the focus arrays (and focus events) give.
#include "platform/wayland/sway_tree.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <vector>

using namespace tillory::platform;
using namespace tillory::platform::nix;

namespace {

QJsonObject parse(const char* json) {
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

std::vector<std::uint32_t> ids(const std::vector<SwayWindow>& windows) {
    std::vector<std::uint32_t> list;
    for (const SwayWindow& w : windows) {
        list.push_back(w.id);
    }
    return list;
}

// Output HEADLESS-1 with workspace "1" (view 10 tiled, 11 floating, 12 in a vertical split) and workspace "2"
// (view 20); output HEADLESS-2 with workspace "3" (view 30, an X11 window). Focus: output 2 before output 1; on
// workspace 1, 11 before the split before 10.
const char* kTwoOutputs = R"({"id":1,"type":"root","focus":[3,2],"nodes":[
 {"id":2,"type":"output","name":"HEADLESS-1","focus":[4,5],"nodes":[
  {"id":4,"type":"workspace","name":"1","layout":"splith","focus":[11,13,10],
   "nodes":[
    {"id":10,"type":"con","pid":100,"app_id":"alpha","name":"A","visible":true,"focused":false,
     "rect":{"x":0,"y":0,"width":640,"height":720},"deco_rect":{"x":0,"y":0,"width":0,"height":0}},
    {"id":13,"type":"con","layout":"splitv","focus":[12],"nodes":[
     {"id":12,"type":"con","pid":101,"app_id":"beta","name":"B","visible":true,
      "rect":{"x":640,"y":25,"width":640,"height":695},"deco_rect":{"x":0,"y":0,"width":640,"height":25}}]}],
   "floating_nodes":[
    {"id":11,"type":"floating_con","pid":100,"app_id":"alpha","name":"A2","visible":true,"focused":true,
     "rect":{"x":100,"y":75,"width":600,"height":375},"deco_rect":{"x":100,"y":50,"width":600,"height":25},
     "window_rect":{"x":2,"y":0,"width":596,"height":373}}]},
  {"id":5,"type":"workspace","name":"2","focus":[20],"nodes":[
    {"id":20,"type":"con","pid":102,"app_id":"gamma","name":"C","visible":false,
     "rect":{"x":0,"y":0,"width":1280,"height":720},"deco_rect":{"x":0,"y":0,"width":0,"height":0}}]}]},
 {"id":3,"type":"output","name":"HEADLESS-2","focus":[6],"nodes":[
  {"id":6,"type":"workspace","name":"3","focus":[30],"nodes":[
    {"id":30,"type":"con","pid":103,"app_id":null,"name":"xterm",
     "window_properties":{"class":"XTerm","instance":"xterm"},"visible":true,
     "rect":{"x":1280,"y":0,"width":1280,"height":720},"deco_rect":{"x":0,"y":0,"width":0,"height":0}}]}]}]})";

TEST(SwayTreeTest, SurfaceOriginOfAProcessPrefersItsFocusedWindow) {
    const auto windows = swayWindows(parse(kTwoOutputs));
    const struct {
        std::int32_t pid;
        std::optional<Point> origin;
    } cases[] = {
        {100, Point{102, 75}},  // focused, floating with borders: inside them
        {101, Point{640, 25}},  // below its title bar
        {102, std::nullopt},    // only on a workspace not shown
        {103, Point{1280, 0}},  // another output
        {999, std::nullopt},
        {0, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(surfaceOrigin(windows, c.pid), c.origin) << c.pid;
    }
}

TEST(SwayTreeTest, WalksFocusArraysFromTheRootAcrossOutputsWorkspacesAndSplits) {
    const auto windows = swayWindows(parse(kTwoOutputs));
    EXPECT_EQ(ids(windows), (std::vector<std::uint32_t>{30, 11, 12, 10, 20}));
}

TEST(SwayTreeTest, DescribesEachView) {
    const auto windows = swayWindows(parse(kTwoOutputs));
    ASSERT_EQ(windows.size(), 5u);
    struct Case {
        std::uint32_t id;
        std::int32_t pid;
        const char* appId;
        const char* workspace;
        Rect frame;
        Rect surface;
        bool visible, focused, floating;
    };
    const Case cases[] = {
        // An X11 window: named after its class.
        {30, 103, "XTerm", "3", {1280, 0, 1280, 720}, {1280, 0, 1280, 720}, true, false, false},
        // Floating with a title bar and 2 px borders: the frame reaches up over the bar, the surface is inside.
        {11, 100, "alpha", "1", {100, 50, 600, 400}, {102, 75, 596, 373}, true, true, true},
        // Nested in a split, tiled with a title bar.
        {12, 101, "beta", "1", {640, 0, 640, 720}, {640, 25, 640, 695}, true, false, false},
        {10, 100, "alpha", "1", {0, 0, 640, 720}, {0, 0, 640, 720}, true, false, false},
        {20, 102, "gamma", "2", {0, 0, 1280, 720}, {0, 0, 1280, 720}, false, false, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const SwayWindow& w = windows[i];
        SCOPED_TRACE(c.id);
        EXPECT_EQ(w.id, c.id);
        EXPECT_EQ(w.pid, c.pid);
        EXPECT_EQ(w.appId, QString::fromLatin1(c.appId));
        EXPECT_EQ(w.workspace, QString::fromLatin1(c.workspace));
        EXPECT_EQ(w.frame, c.frame);
        EXPECT_EQ(w.surface, c.surface);
        EXPECT_EQ(w.visible, c.visible);
        EXPECT_EQ(w.focused, c.focused);
        EXPECT_EQ(w.floating, c.floating);
    }
    EXPECT_TRUE(windows[0].isX11());
    EXPECT_EQ(windows[0].x11Instance, QStringLiteral("xterm"));
    EXPECT_FALSE(windows[1].isX11());
}

TEST(SwayTreeTest, StackedAndTabbedParentsPutTheirTitleBarsIntoEachFrame) {
    struct Case {
        const char* layout;
        double frameY;
        double frameHeight;
    };
    // Content starts below the bars: three bars for a stack of three, one tab row for tabs.
    const Case cases[] = {{"stacked", 0, 720}, {"tabbed", 50, 670}, {"splith", 50, 670}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        const QString json = QStringLiteral(R"({"type":"workspace","name":"1","layout":"%1","nodes":[
            {"id":7,"type":"con","pid":1,"rect":{"x":0,"y":75,"width":1280,"height":645},"deco_rect":{"height":25}},
            {"id":8,"type":"con","pid":1,"rect":{"x":0,"y":75,"width":1280,"height":645},"deco_rect":{"height":25}},
            {"id":9,"type":"con","pid":1,"rect":{"x":0,"y":75,"width":1280,"height":645},"deco_rect":{"height":25}}]})")
                                 .arg(QLatin1String(c.layout));
        const auto windows = swayWindows(QJsonDocument::fromJson(json.toUtf8()).object());
        ASSERT_EQ(windows.size(), 3u);
        EXPECT_EQ(windows[1].frame, (Rect{0, c.frameY, 1280, c.frameHeight}));
    }
}

TEST(SwayTreeTest, ToleratesMissingAndOddFields) {
    struct Case {
        const char* name;
        const char* json;
        std::vector<std::uint32_t> ids;
    };
    const Case cases[] = {
        {"split containers, workspaces and outputs are no views",
         R"({"id":1,"type":"root","nodes":[{"id":2,"type":"output","nodes":[{"id":3,"type":"workspace","nodes":[
            {"id":4,"type":"con","layout":"splitv","nodes":[]}]}]}]})",
         {}},
        {"a view with nothing but an id and a pid", R"({"nodes":[{"id":5,"type":"con","pid":7}]})", {5}},
        {"unusable ids are left out",
         R"({"nodes":[
            {"id":0,"type":"con","pid":1},{"id":-3,"type":"con","pid":1},{"id":4294967296,"type":"con","pid":1},
            {"id":2.5,"type":"con","pid":1},{"id":"6","type":"con","pid":1},{"type":"con","pid":1},
            {"id":6,"type":"con","pid":1}]})",
         {6}},
        {"wrong kinds everywhere",
         R"({"nodes":{"id":1},"floating_nodes":[1,"x",null,
            {"id":8,"type":"floating_con","app_id":"a","rect":"big","deco_rect":[1],"focus":"all","nodes":7}],
            "focus":[{"id":8}]})",
         {8}},
        {"repeated ids and focus entries take each child once",
         R"({"focus":[9,9,9,1],"nodes":[
            {"id":9,"type":"con","pid":1},{"id":9,"type":"con","pid":2}]})",
         {9, 9}},
        {"focus naming no child", R"({"focus":[42],"nodes":[{"id":3,"type":"con","pid":1}]})", {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QJsonObject tree = parse(c.json);
        ASSERT_FALSE(tree.isEmpty());
        EXPECT_EQ(ids(swayWindows(tree)), c.ids);
    }
}

TEST(SwayTreeTest, DeepNestingStopsWithoutOverflowingTheStack) {
    QByteArray json = R"({"id":1,"type":"con","pid":1,"nodes":[)";
    const int depth = 400; // within the nesting Qt's JSON reader accepts, far beyond any real tree
    for (int i = 0; i < depth; ++i) {
        json += R"({"type":"con","id":)" + QByteArray::number(i + 2) + R"(,"pid":1,"nodes":[)";
    }
    json += QByteArray(depth, ']').replace("]", "]}") + "]}";
    const QJsonObject tree = QJsonDocument::fromJson(json).object();
    ASSERT_FALSE(tree.isEmpty());
    const auto windows = swayWindows(tree);
    EXPECT_EQ(windows.size(), 257u);
}

TEST(SwayTreeTest, RecencyPutsTheFocusedFirstThenReportedFocusThenTreeOrder) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> recent;
        std::vector<std::uint32_t> expected;
    };
    // Tree order 30, 11 (focused), 12, 10, 20.
    const Case cases[] = {
        {"nothing reported: the tree's order", {}, {11, 30, 12, 10, 20}},
        // Workspace 2's window was focused between 10 and 12: the tree alone would put it last.
        {"a window of another workspace in between", {11, 20, 10}, {11, 20, 10, 30, 12}},
        {"an event that has not arrived yet cannot outrank the tree's focus", {10, 11}, {11, 10, 30, 12, 20}},
        {"reports of windows that have gone are ignored", {99, 12}, {11, 12, 30, 10, 20}},
    };
    const auto windows = swayWindows(parse(kTwoOutputs));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ids(byRecency(windows, c.recent)), c.expected);
    }
}

} // namespace
