// The window list's rules without a server: which client windows are listed and on which layer, application names
// from desktop entries, the choice among the images of a _NET_WM_ICON property, compound text titles, frames and
// size hints, and the screens' work areas and order.
#include "platform/x11/compound_text.h"
#include "platform/linux/desktop_entries.h"
#include "platform/linux/entry_app_icons.h"
#include "platform/x11/net_wm_icon.h"
#include "platform/x11/x11_screens.h"
#include "platform/x11/x11_window_list.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

using namespace tillory::platform;
using namespace tillory::platform::nix;

namespace {

ClientWindow normalWindow() {
    ClientWindow w;
    w.id = 0x400001;
    w.pid = 300;
    w.title = QStringLiteral("Notes");
    w.viewable = true;
    w.desktop = 0;
    w.bounds = Rect{10, 20, 300, 200};
    return w;
}

TEST(ListedWindow, KindsStatesAndWorkspacesGiveLayerAndVisibility) {
    struct Case {
        const char* what;
        void (*change)(ClientWindow&);
        bool listed;
        int layer;
        bool onscreen;
    };
    const std::vector<Case> cases = {
        {"normal", [](ClientWindow&) {}, true, 0, true},
        {"dialog", [](ClientWindow& w) { w.kind = ClientKind::Dialog; }, true, 0, true},
        {"utility", [](ClientWindow& w) { w.kind = ClientKind::Utility; }, true, 3, true},
        {"skip taskbar", [](ClientWindow& w) { w.skipTaskbar = true; }, true, 3, true},
        {"dock", [](ClientWindow& w) { w.kind = ClientKind::Dock; }, true, 20, true},
        {"splash", [](ClientWindow& w) { w.kind = ClientKind::Splash; }, true, 21, true},
        {"notification", [](ClientWindow& w) { w.kind = ClientKind::Notification; }, true, 23, true},
        {"menu", [](ClientWindow& w) { w.kind = ClientKind::Menu; }, true, 101, true},
        {"tooltip", [](ClientWindow& w) { w.kind = ClientKind::Tooltip; }, true, 102, true},
        {"desktop", [](ClientWindow& w) { w.kind = ClientKind::Desktop; }, true, -2147483623, true},
        {"minimised", [](ClientWindow& w) { w.hidden = true, w.viewable = false; }, true, 0, false},
        {"other workspace", [](ClientWindow& w) { w.desktop = 2, w.viewable = false; }, true, 0, false},
        {"on every workspace", [](ClientWindow& w) { w.desktop = kAllDesktops; }, true, 0, true},
        {"unmapped, not minimised", [](ClientWindow& w) { w.viewable = false; }, false, 0, false},
        {"withdrawn", [](ClientWindow& w) { w.withdrawn = true; }, false, 0, false},
        {"own process", [](ClientWindow& w) { w.pid = 77; }, false, 0, false},
    };
    for (const Case& c : cases) {
        ClientWindow w = normalWindow();
        c.change(w);
        const auto info = listedWindow(w, ListingContext{77, 0u}, QStringLiteral("Editor"));
        ASSERT_EQ(info.has_value(), c.listed) << c.what;
        if (info) {
            EXPECT_EQ(info->layer, c.layer) << c.what;
            EXPECT_EQ(info->isOnscreen, c.onscreen) << c.what;
        }
    }
}

TEST(ListedWindow, CarriesIdentityTitleOwnerAlphaAndVisibleFrame) {
    ClientWindow w = normalWindow();
    w.alpha = 0;
    w.extents = {1, 1, 20, 5};
    const auto info = listedWindow(w, ListingContext{0, std::nullopt}, QStringLiteral("Editor"));
    ASSERT_TRUE(info);
    EXPECT_EQ(*info, (WindowInfo{0x400001, 300, QStringLiteral("Editor"), QStringLiteral("Notes"), 0, 0.0,
                                 Rect{9, 0, 302, 225}, true}));
}

TEST(ClientWindow, VisibleFrameAddsTheManagersFrameAndDropsDrawnShadows) {
    struct Case {
        std::vector<std::uint32_t> frame;
        std::vector<std::uint32_t> shadow;
        Rect visible;
    };
    const std::vector<Case> cases = {
        {{1, 1, 20, 5}, {}, {9, 0, 302, 225}},
        {{}, {26, 26, 23, 29}, {36, 43, 248, 148}},
        {{0, 0, 0, 0}, {150, 150, 0, 0}, {10, 20, 300, 200}},  // shadows wider than the window
        {{0xFFFFFFFFu, 2, 300, 4}, {}, {10, 20, 302, 204}},    // negative and absurd sides
        {{1, 1, 20}, {26, 26, 23, 29, 1}, {10, 20, 300, 200}}, // not four words
        {{1, 1, 20, 5}, {257, 0, 0, 0}, {9, 0, 302, 225}},
    };
    for (const Case& c : cases) {
        ClientWindow w = normalWindow();
        w.extents = saneExtents(c.frame);
        w.gtkExtents = saneExtents(c.shadow, w.bounds.width, w.bounds.height);
        EXPECT_EQ(w.visibleFrame(), c.visible) << c.visible.x;
    }
}

TEST(SizeHints, ConstrainAsTheWindowManagerDoes) {
    struct Case {
        std::vector<std::uint32_t> hints;
        Size wanted;
        Size given;
    };
    const auto hints = [](std::uint32_t flags, std::vector<std::pair<int, std::uint32_t>> at) {
        std::vector<std::uint32_t> words(18, 0);
        words[0] = flags;
        for (const auto& [i, v] : at) {
            words[std::size_t(i)] = v;
        }
        return words;
    };
    const std::vector<Case> cases = {
        {{}, {640, 400}, {640, 400}},
        {hints(16, {{5, 800}, {6, 50}}), {640, 400}, {800, 400}},                        // minimum
        {hints(48, {{5, 100}, {6, 100}, {7, 300}, {8, 300}}), {640, 400}, {300, 300}},   // fixed
        {hints(48, {{5, 500}, {6, 0}, {7, 300}, {8, 0}}), {640, 400}, {640, 400}},       // max below min
        {hints(64 | 256, {{9, 6}, {10, 13}, {15, 4}, {16, 2}}), {640, 400}, {640, 392}}, // cells from a base
        {hints(16 | 64, {{5, 10}, {6, 10}, {9, 7}, {10, 7}}), {640, 400}, {640, 395}},   // cells from the minimum
        {hints(16, {{5, 0xFFFFFFFF}, {6, 40000}}), {640, 400}, {640, 400}},              // absurd minimum
        {{16, 0, 0, 0, 0, 800}, {640, 400}, {640, 400}},                                 // cut short
    };
    for (const Case& c : cases) {
        EXPECT_EQ(constrainedSize(parseSizeHints(c.hints), c.wanted), c.given) << c.given.width;
    }
}

TEST(DesktopEntry, ReadsNameAndWmClassOfTheMainGroupOnly) {
    struct Case {
        QByteArray text;
        std::optional<DesktopEntry> expected;
    };
    const std::vector<Case> cases = {
        {"[Desktop Entry]\nName=Text Editor\nStartupWMClass=gedit\n", DesktopEntry{"Text Editor", "gedit", ""}},
        {"# c\n[Desktop Entry]\r\nName[de]=Editor\r\nName = Files\\sand\\\\more \r\n",
         DesktopEntry{"Files and\\more", "", ""}},
        {"[Desktop Action new]\nName=New\n[Desktop Entry]\nName=Real\n", DesktopEntry{"Real", "", ""}},
        {"[Desktop Entry]\nExec=x\n[Other]\nName=Late\n", std::nullopt},
        {"Name=Outside\n", std::nullopt},
        {"[Desktop Entry]\nName=\n", std::nullopt},
        {"[Desktop Entry]\nName=Trailing\\", DesktopEntry{"Trailing\\", "", ""}},
        {"[Desktop Entry]\nIcon=org.example.Web\nName=Web\nIcon=second\n", DesktopEntry{"Web", "", "org.example.Web"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseDesktopEntry(c.text), c.expected) << c.text.toStdString();
    }
}

TEST(DesktopEntryIndex, NamesByAppIdThenWmClassAndSeesNewEntries) {
    QTemporaryDir home;
    QTemporaryDir system;
    const auto write = [](const QTemporaryDir& root, const QString& file, const QByteArray& text) {
        QDir(root.path()).mkpath(QStringLiteral("applications/sub"));
        QFile out(root.filePath(QStringLiteral("applications/") + file));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
    };
    write(home, QStringLiteral("org.example.Notes.desktop"), "[Desktop Entry]\nName=My Notes\n");
    write(system, QStringLiteral("org.example.Notes.desktop"), "[Desktop Entry]\nName=Notes\n");
    write(system, QStringLiteral("sub/term.desktop"),
          "[Desktop Entry]\nName=Terminal\nStartupWMClass=XTerm\nIcon=utilities-terminal\n");
    write(system, QStringLiteral("firefox-esr.desktop"), "[Desktop Entry]\nName=Browser\n");
    DesktopEntryIndex index({home.path(), system.path()});
    struct Case {
        QString appId, instance, className, expected;
    };
    const std::vector<Case> cases = {
        {"org.example.Notes", "", "", "My Notes"},
        {"/usr/share/applications/org.example.Notes.desktop", "", "", "My Notes"},
        {"", "xterm", "XTerm", "Terminal"},
        {"", "sub-term", "Other", "Terminal"},
        {"", "Navigator", "firefox-esr", "Browser"},
        {"", "nothing", "Nothing", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(index.nameFor(c.appId, c.instance, c.className), c.expected) << c.appId.toStdString();
    }
    EXPECT_EQ(index.iconFor(QStringLiteral("XTerm")), QStringLiteral("utilities-terminal")) << "by its window class";
    EXPECT_EQ(index.iconFor(QStringLiteral("org.example.Notes")), QString());
    write(home, QStringLiteral("later.desktop"), "[Desktop Entry]\nName=Installed Later\n");
    EXPECT_EQ(index.nameFor({}, QStringLiteral("later"), {}), QStringLiteral("Installed Later"));
}

class TwoApps final : public Workspace {
public:
    std::optional<AppInfo> frontApplication() override { return std::nullopt; }
    std::vector<AppInfo> runningApplications() override {
        return {{10, QStringLiteral("org.example.Paint"), QStringLiteral("Paint")},
                {11, QString(), QStringLiteral("X")}};
    }
    SubscriptionPtr observeActivations(std::function<void(const AppInfo&)>) override { return nullptr; }
    bool openUrl(const QUrl&) override { return false; }
};

class WindowIcon final : public AppIcons {
public:
    std::optional<Bitmap> icon(std::int32_t pid, std::uint32_t, int) override {
        asked.push_back(pid);
        return bare ? std::nullopt : std::optional(Bitmap{1, 1, 4, QByteArray(4, '\x7f')});
    }
    std::vector<std::int32_t> asked;
    bool bare = false; // no window has an icon of its own
};

TEST(EntryAppIcons, TheDesktopEntrysIconComesFirstThenTheWindowsOwn) {
    QTemporaryDir data;
    QDir(data.path()).mkpath(QStringLiteral("applications"));
    QImage picture(24, 24, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(data.filePath(QStringLiteral("paint.png"))));
    QFile entry(data.filePath(QStringLiteral("applications/org.example.Paint.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nName=Paint\nIcon=" + data.filePath(QStringLiteral("paint.png")).toUtf8() + "\n");
    entry.close();
    DesktopEntryIndex entries({data.path()});
    TwoApps workspace;
    WindowIcon windows;
    EntryAppIcons icons(windows, workspace, entries);

    const auto paint = icons.icon(10, 0, 24);
    ASSERT_TRUE(paint);
    EXPECT_EQ(paint->width, 24);
    EXPECT_TRUE(windows.asked.empty());
    EXPECT_EQ(icons.icon(11, 0, 24)->width, 1) << "no application id: the window's icon";
    EXPECT_EQ(icons.icon(99, 0, 24)->width, 1);
    EXPECT_EQ(windows.asked, (std::vector<std::int32_t>{11, 99}));

    // For a window its own picture comes first; the desktop entry's stands in for a window without one.
    EntryAppIcons forWindows(windows, workspace, entries, EntryAppIcons::Order::WindowsFirst);
    struct Case {
        bool bare;
        std::int32_t pid;
        int width; // 0: none
    };
    for (const Case& c : {Case{false, 10, 1}, Case{true, 10, 24}, Case{true, 11, 0}}) {
        windows.bare = c.bare;
        const auto found = forWindows.icon(c.pid, 0, 24);
        EXPECT_EQ(found ? found->width : 0, c.width) << c.bare << " " << c.pid;
    }
}

std::vector<std::uint32_t> icon(std::uint32_t w, std::uint32_t h, std::uint32_t argb) {
    std::vector<std::uint32_t> words{w, h};
    words.insert(words.end(), std::size_t(w) * h, argb);
    return words;
}

std::vector<std::uint32_t> join(std::initializer_list<std::vector<std::uint32_t>> parts) {
    std::vector<std::uint32_t> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST(NetWmIcon, PicksTheNearestSizeAndRefusesOverrunningData) {
    const auto three = join({icon(16, 16, 0xFF0000FF), icon(32, 32, 0xFF00FF00), icon(48, 48, 0xFFFF0000)});
    struct Case {
        const char* what;
        std::vector<std::uint32_t> words;
        int size;
        int expectedWidth; // 0: nothing
    };
    const std::vector<Case> cases = {
        {"exact", three, 32, 32},
        {"nearest below", three, 20, 16},
        {"nearest above", three, 44, 48},
        {"tie takes the larger", three, 40, 48},
        {"beyond the largest", three, 512, 48},
        {"non-square by its larger side", join({icon(64, 8, 1), icon(20, 20, 1)}), 60, 64},
        {"zero side skipped", join({icon(0, 5, 1), icon(8, 8, 1)}), 0, 8},
        {"declared size overruns", join({icon(16, 16, 1), {64, 64, 1, 2, 3}}), 16, 0},
        {"huge sides overflow nothing", join({icon(2, 2, 1), {0xFFFFFFFF, 0xFFFFFFFF, 1}}), 2, 0},
        {"half a header", join({icon(2, 2, 1), {7}}), 2, 0},
        {"empty", {}, 32, 0},
        {"only a zero entry", {0, 0}, 32, 0},
        {"over 1024 never picked", join({icon(1025, 1, 1), icon(4, 4, 1)}), 1025, 4},
    };
    for (const Case& c : cases) {
        const auto bitmap = pickNetWmIcon(c.words.data(), c.words.size(), c.size);
        EXPECT_EQ(bitmap ? bitmap->width : 0, c.expectedWidth) << c.what;
        if (bitmap) {
            EXPECT_TRUE(bitmap->isValid()) << c.what;
        }
    }
}

TEST(NetWmIcon, PremultipliesAlpha) {
    const std::vector<std::uint32_t> words = {2, 1, 0x80FF8000, 0x00FFFFFF};
    const auto bitmap = pickNetWmIcon(words.data(), words.size(), 2);
    ASSERT_TRUE(bitmap);
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(bitmap->pixels.constData());
    EXPECT_EQ(pixels[0], 0x80804000u);
    EXPECT_EQ(pixels[1], 0x00000000u);
    EXPECT_EQ(bitmap->stride, 8);
}

TEST(CompoundText, LatinAndUtf8SegmentsReadOtherSetsStandIn) {
    struct Case {
        QByteArray bytes;
        QString text;
    };
    const std::vector<Case> cases = {
        {"Caf\xe9", QStringLiteral("Caf\u00e9")},
        {"Notes \x1b%G\xe2\x80\x94\x1b%@ draft", QStringLiteral("Notes \u2014 draft")},
        {"\x1b%G\xd0\x96", QStringLiteral("\u0416")}, // UTF-8 to the end
        {"\x1b-L\xd0\x1b-A\xe9", QStringLiteral("\ufffd\u00e9")},
        {"\x1b$(B\x21\x3d\x1b(Bok", QStringLiteral("\ufffdok")}, // two bytes a character
        {"\x1b%/1\x80\x88utf-8\x02\xc3\xa9!", QStringLiteral("\u00e9!")},
        {"\x1b%/1\x80\x87"
         "big5\x02\xa4\x40!",
         QStringLiteral("\ufffd!")}, // its length says where it ends
        {"a\x9b"
         "1]b\x9b]\x07\tc",
         QStringLiteral("ab\tc")},
        {"abc\x1b%", QStringLiteral("abc")},
        {"\x1b%/1\xff\xff", QString()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decodeCompoundText(c.bytes), c.text) << c.bytes.toHex().toStdString();
    }
}

TEST(WorkArea, StrutsTakeTheirStripFromTheMonitorsTheyReach) {
    const Size root{1280, 800};
    const Rect left{0, 0, 640, 800};
    const Rect right{640, 0, 640, 800};
    struct Case {
        const char* what;
        std::vector<std::uint32_t> partial;
        std::vector<std::uint32_t> plain;
        Rect left;
        Rect right;
    };
    const std::vector<Case> cases = {
        {"top of the right one", {0, 0, 30, 0, 0, 0, 0, 0, 640, 1279, 0, 0}, {}, left, {640, 30, 640, 770}},
        {"whole bottom edge", {}, {0, 0, 0, 40}, {0, 0, 640, 760}, {640, 0, 640, 760}},
        {"left edge", {50, 0, 0, 0, 0, 799, 0, 0, 0, 0, 0, 0}, {}, {50, 0, 590, 800}, right},
        {"right edge, upper half", {0, 60, 0, 0, 0, 0, 0, 399, 0, 0, 0, 0}, {}, left, {640, 0, 580, 800}},
        {"partial wins", {0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0, 639}, {0, 0, 0, 40}, {0, 0, 640, 780}, right},
        {"thicker than the root", {0, 0, 900, 0, 0, 0, 0, 0, 0, 1279, 0, 0}, {}, left, right},
        {"span ends before it starts", {0, 0, 30, 0, 0, 0, 0, 0, 900, 100, 0, 0}, {}, left, right},
        {"cut short", {0, 0, 30}, {}, left, right},
        {"leaving nothing of a monitor", {}, {700, 0, 0, 0}, left, {700, 0, 580, 800}},
    };
    for (const Case& c : cases) {
        std::vector<Strut> struts;
        if (auto strut = parseStrut(c.partial, c.plain, root)) {
            struts.push_back(*strut);
        }
        EXPECT_EQ(workArea(left, struts, root), c.left) << c.what;
        EXPECT_EQ(workArea(right, struts, root), c.right) << c.what;
    }
}

TEST(WorkArea, WhatTheManagerReservesBeyondItsClientsTakesTheWholeEdge) {
    const Size root{1280, 800};
    const auto top30 = parseStrut({0, 0, 30, 0, 0, 0, 0, 0, 640, 1279, 0, 0}, {}, root);
    const auto bottom20 = parseStrut({}, {0, 0, 0, 20}, root);
    struct Case {
        const char* what;
        std::vector<Strut> clients;
        Rect workarea;
        Rect left; // the left monitor's work area, with the manager's strut when there is one
    };
    const std::vector<Case> cases = {
        {"a taskbar of its own", {}, {0, 0, 1280, 774}, {0, 0, 640, 774}},
        {"only the clients'", {*top30}, {0, 30, 1280, 770}, {0, 0, 640, 800}},
        {"a client's strut ignored", {*top30}, {0, 0, 1280, 800}, {0, 0, 640, 800}},
        {"more than the clients'", {*bottom20}, {0, 0, 1280, 760}, {0, 0, 640, 760}},
        {"left and right of its own", {}, {10, 0, 1250, 800}, {10, 0, 630, 800}},
        {"beyond the root", {}, {0, 0, 1280, 900}, {0, 0, 640, 800}},
        {"empty", {}, {0, 0, 0, 0}, {0, 0, 640, 800}},
    };
    for (const Case& c : cases) {
        std::vector<Strut> struts = c.clients;
        if (auto own = managerStrut(c.clients, c.workarea, root)) {
            struts.push_back(*own);
        }
        EXPECT_EQ(workArea({0, 0, 640, 800}, struts, root), c.left) << c.what;
    }
}

TEST(ScreenSpace, ReferenceFirstAtTheOriginAndTheRestFlippedAgainstIt) {
    struct Case {
        const char* what;
        std::vector<Monitor> monitors;
        std::vector<Rect> frames;
        double reference;
    };
    const auto at = [](Rect r, bool primary = false) { return Monitor{r, r, primary}; };
    const std::vector<Case> cases = {
        {"one", {at({0, 0, 1440, 900}, true)}, {{0, 0, 1440, 900}}, 900},
        {"origin on the second",
         {at({1920, 0, 1280, 1024}, true), at({0, 0, 1920, 1080})},
         {{0, 0, 1920, 1080}, {1920, 56, 1280, 1024}},
         1080},
        {"bottoms aligned, the primary lower",
         {at({0, 360, 1920, 1080}, true), at({1920, 0, 2560, 1440})},
         {{1920, 0, 2560, 1440}, {0, 0, 1920, 1080}},
         1440},
        {"primary on top, away from the origin",
         {at({0, 100, 1000, 700}), at({1000, 0, 1000, 800}, true), at({2000, 0, 1000, 900})},
         {{1000, 0, 1000, 800}, {0, 0, 1000, 700}, {2000, -100, 1000, 900}},
         800},
        {"none", {}, {}, 0},
    };
    for (const Case& c : cases) {
        double reference = -1;
        const auto list = screenSpace(c.monitors, &reference);
        std::vector<Rect> frames;
        for (const ScreenInfo& s : list) {
            frames.push_back(s.frame);
            EXPECT_EQ(s.visibleFrame, s.frame) << c.what;
        }
        EXPECT_EQ(frames, c.frames) << c.what;
        EXPECT_EQ(reference, c.reference) << c.what;
    }
}

TEST(ScreenSpace, PrimaryGetsANotchAreaAtItsTopCentre) {
    struct Case {
        const char* what;
        Monitor monitor;
        double inset;
        std::optional<Rect> left, right;
    };
    const std::vector<Case> cases = {
        {"no panel", {{0, 0, 1512, 982}, {0, 0, 1512, 982}, true}, 32, Rect{0, 950, 656, 32}, Rect{856, 950, 656, 32}},
        {"top panel",
         {{0, 0, 1920, 1080}, {0, 27, 1920, 1053}, true},
         27,
         Rect{0, 1053, 860, 27},
         Rect{1060, 1053, 860, 27}},
        {"bottom panel only",
         {{0, 0, 1000, 800}, {0, 0, 1000, 760}, true},
         32,
         Rect{0, 768, 400, 32},
         Rect{600, 768, 400, 32}},
        {"not primary", {{0, 0, 1000, 800}, {0, 0, 1000, 800}, false}, 0, std::nullopt, std::nullopt},
        {"too narrow", {{0, 0, 200, 800}, {0, 0, 200, 800}, true}, 0, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto list = screenSpace({c.monitor});
        ASSERT_EQ(list.size(), 1u) << c.what;
        EXPECT_EQ(list[0].safeAreaTop, c.inset) << c.what;
        EXPECT_EQ(list[0].auxiliaryTopLeftArea, c.left) << c.what;
        EXPECT_EQ(list[0].auxiliaryTopRightArea, c.right) << c.what;
    }
}

TEST(ScreenSpace, NotchAreaWidthComesFromTheSettingWithinBounds) {
    const struct {
        QVariant setting;
        double width;
    } cases[] = {
        {QVariant(), 200},
        {QStringLiteral("300"), 300},
        {260, 260},
        {QStringLiteral("wide"), 200},
        {50, 120},
        {1000, 400},
        {qQNaN(), 200},
        {qInf(), 200},
        {QStringLiteral("-5"), 120},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(notchAreaWidth(c.setting), c.width) << c.setting.toString().toStdString();
    }
    const auto list = screenSpace({{{0, 0, 1512, 982}, {0, 0, 1512, 982}, true}}, nullptr, 300);
    EXPECT_EQ(list[0].auxiliaryTopLeftArea, (Rect{0, 950, 606, 32}));
    EXPECT_EQ(list[0].auxiliaryTopRightArea, (Rect{906, 950, 606, 32}));
}

} // namespace
