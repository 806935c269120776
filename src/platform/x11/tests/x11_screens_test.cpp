// Screens of an X11 desktop against Xvfb and openbox: RandR monitors on one X screen, as Qt sees them, with a
// panel reserving a strip of one of them.
#include "platform/x11/x11_clients.h"
#include "platform/x11/x11_screens.h"

#include "platform/x11/tests/x_test_env.h"

#include <QRegularExpression>
#include <QScreen>

#include <gtest/gtest.h>

namespace tillory::platform::nix {
namespace {

using testing::pumpUntil;
using testing::XEnvironment;
using testing::XServer;

const bool installed = XEnvironment::install(true);

class X11ScreensTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!XEnvironment::skipReason().isEmpty()) {
            GTEST_SKIP() << XEnvironment::skipReason().toStdString();
        }
    }

    /// Replaces the monitors by these ("WxH+X+Y"); answers once Qt has them. Qt misses a monitor changed in
    /// place, so each layout comes under new names.
    static bool monitors(const QStringList& geometries) {
        static int made = 0;
        static QStringList names;
        const QStringList old = names;
        names.clear();
        for (int i = 0; i < geometries.size(); ++i) {
            const QStringList n = geometries[i].split(QRegularExpression(QStringLiteral("[x+]")));
            names << QStringLiteral("M%1").arg(++made);
            // xrandr wants a size in millimetres too; any will do.
            XServer::run(QStringLiteral("xrandr"), {QStringLiteral("--setmonitor"), names.back(),
                                                    QStringLiteral("%1/300x%2/200+%3+%4").arg(n[0], n[1], n[2], n[3]),
                                                    i == 0 ? QStringLiteral("screen") : QStringLiteral("none")});
        }
        for (const QString& name : old) {
            XServer::run(QStringLiteral("xrandr"), {QStringLiteral("--delmonitor"), name});
        }
        return pumpUntil([&] {
            const auto screens = QGuiApplication::screens();
            return screens.size() == geometries.size() && std::all_of(screens.begin(), screens.end(), [&](QScreen* s) {
                       const QRect g = s->geometry();
                       return geometries.contains(
                           QStringLiteral("%1x%2+%3+%4").arg(g.width()).arg(g.height()).arg(g.x()).arg(g.y()));
                   });
        });
    }
};

TEST_F(X11ScreensTest, ReferenceScreenComesFirstAtTheOriginAndFlipsAsXDoes) {
    struct Case {
        QStringList monitors;
        std::vector<Rect> frames;
    };
    const std::vector<Case> cases = {
        {{"640x800+0+0", "640x800+640+0"}, {{0, 0, 640, 800}, {640, 0, 640, 800}}},
        // No monitor holds the root's origin: the one whose top is the root's top comes first.
        {{"640x600+0+100", "640x800+640+0"}, {{640, 0, 640, 800}, {0, 100, 640, 600}}},
    };
    X11Screens screens;
    for (const Case& c : cases) {
        ASSERT_TRUE(monitors(c.monitors)) << c.monitors.join(u' ').toStdString();
        const auto list = screens.screens();
        ASSERT_EQ(list.size(), c.frames.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            EXPECT_EQ(list[i].frame, c.frames[i]) << c.monitors.join(u' ').toStdString() << " #" << i;
        }
        XServer::run(QStringLiteral("xdotool"),
                     {QStringLiteral("mousemove"), QStringLiteral("700"), QStringLiteral("50")});
        EXPECT_EQ(screens.mouseLocation(), (Point{700, 750}));
    }
}

TEST_F(X11ScreensTest, PanelStrutNarrowsOnlyTheMonitorItStandsOn) {
    ASSERT_TRUE(monitors({QStringLiteral("640x800+0+0"), QStringLiteral("640x800+640+0")}));
    X11Clients x;
    xcb_connection_t* c = x.connection();
    const xcb_window_t panel = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, panel, x.root(), 640, 0, 640, 30, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t dock = x.atom("_NET_WM_WINDOW_TYPE_DOCK");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, panel, x.atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &dock);
    // A strip 30 pixels high across the top of the right monitor only.
    const std::uint32_t strut[] = {0, 0, 30, 0, 0, 0, 0, 0, 640, 1279, 0, 0};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, panel, x.atom("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 32, 12,
                        strut);
    xcb_map_window(c, panel);
    x.sync();

    X11Screens screens;
    const std::vector<ScreenInfo> narrowed = {{{0, 0, 640, 800}, {0, 0, 640, 800}},
                                              {{640, 0, 640, 800}, {640, 0, 640, 770}}};
    // The notch area the primary monitor also carries is not at issue here.
    const auto frames = [](const std::vector<ScreenInfo>& list) {
        std::vector<std::pair<Rect, Rect>> f;
        for (const ScreenInfo& s : list) {
            f.emplace_back(s.frame, s.visibleFrame);
        }
        return f;
    };
    EXPECT_TRUE(pumpUntil([&] { return frames(screens.screens()) == frames(narrowed); }));
    const auto list = screens.screens();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].visibleFrame, narrowed[0].visibleFrame);
    EXPECT_EQ(list[1].visibleFrame, narrowed[1].visibleFrame);

    xcb_delete_property(c, panel, x.atom("_NET_WM_STRUT_PARTIAL"));
    x.sync();
    EXPECT_TRUE(pumpUntil([&] {
        return screens.screens()[1].visibleFrame == Rect{640, 0, 640, 800};
    })) << "a panel that lets its strip go gives it back";
}

} // namespace
} // namespace tillory::platform::nix
