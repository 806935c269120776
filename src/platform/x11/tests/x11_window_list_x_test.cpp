// What the switcher asks of an X11 desktop besides the list itself, against Xvfb: reports of the active window and
// activation by window number (with openbox and with icewm), icons from the pixmaps of WM_HINTS (without a window
// manager, which could put an icon of its own into _NET_WM_ICON), captures that keep the window's shape, and what a
// server without Composite says instead of previews.
#include "platform/x11/x11_app_icons.h"
#include "platform/x11/x11_clients.h"
#include "platform/x11/x11_reply.h"
#include "platform/x11/x11_thumbnails.h"
#include "platform/x11/x11_window_list.h"

#include "platform/x11/tests/x_test_env.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>

using namespace tillory::platform;
using namespace tillory::platform::nix;
using tillory::platform::nix::testing::pumpUntil;
using tillory::platform::nix::testing::XServer;

namespace {

/// Waits for another process (the server, the window manager); not a test timing. Generous: under the sanitizers
/// on a loaded machine a client may take seconds to be managed and drawn.
template <typename Done> bool waitFor(Done done, int ms = 15000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QThread::msleep(10);
    }
    return done();
}

void ensureApplication() {
    static int argc = 1;
    static char name[] = "tillory_window_list_x_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) {
        new QCoreApplication(argc, argv); // for the socket notifiers; lives as long as the program
    }
}

void setProperty(X11Clients& c, xcb_window_t w, const char* name, xcb_atom_t type, int format, const void* data,
                 std::uint32_t count) {
    xcb_change_property(c.connection(), XCB_PROP_MODE_REPLACE, w, c.atom(name), type, std::uint8_t(format), count,
                        data);
}

/// A top-level window as a client program makes one; `pid` 0 names no process.
xcb_window_t makeWindow(X11Clients& c, const QByteArray& title, std::int32_t pid, int width = 300, int height = 200) {
    const xcb_window_t w = xcb_generate_id(c.connection());
    const std::uint32_t background = 0x3366cc;
    xcb_create_window(c.connection(), XCB_COPY_FROM_PARENT, w, c.root(), 40, 40, std::uint16_t(width),
                      std::uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL,
                      &background);
    setProperty(c, w, "_NET_WM_NAME", c.atom("UTF8_STRING"), 8, title.constData(), std::uint32_t(title.size()));
    const char wmClass[] = "probe\0Probe";
    setProperty(c, w, "WM_CLASS", XCB_ATOM_STRING, 8, wmClass, sizeof wmClass);
    if (pid > 0) {
        setProperty(c, w, "_NET_WM_PID", XCB_ATOM_CARDINAL, 32, &pid, 1);
    }
    xcb_map_window(c.connection(), w);
    c.sync();
    return w;
}

/// One server per window manager for the whole program ("" runs none).
struct Desktop {
    XServer server;
    std::unique_ptr<X11Clients> clients;
    QString missing;
    explicit Desktop(const QString& manager) {
        if (!server.start(!manager.isEmpty(), manager.isEmpty() ? QStringLiteral("openbox") : manager)) {
            missing = server.missing() + QStringLiteral(" is not available");
            return;
        }
        clients = std::make_unique<X11Clients>(server.display().toStdString());
    }
};

std::map<QString, std::unique_ptr<Desktop>>& desktops() {
    static std::map<QString, std::unique_ptr<Desktop>> all;
    return all;
}

Desktop& desktopWith(const QString& manager) {
    auto& slot = desktops()[manager];
    if (!slot) {
        slot = std::make_unique<Desktop>(manager);
    }
    return *slot;
}

class Teardown : public ::testing::Environment {
public:
    void TearDown() override { desktops().clear(); }
};
const auto* const kTeardown = ::testing::AddGlobalTestEnvironment(new Teardown);

#define DESKTOP_OR_SKIP(name, manager)                                                                                 \
    Desktop& name = desktopWith(manager);                                                                              \
    if (!name.missing.isEmpty()) {                                                                                     \
        GTEST_SKIP() << name.missing.toStdString();                                                                    \
    }

class X11ActiveWindowTest : public ::testing::TestWithParam<QString> {};

TEST_P(X11ActiveWindowTest, ReportsEveryNewActiveWindowAlsoWithinOneProcess) {
    DESKTOP_OR_SKIP(desktop, GetParam());
    ensureApplication();
    X11Clients& c = *desktop.clients;
    X11WindowList list(c, 0);
    const xcb_window_t first = makeWindow(c, "First", 5001);
    const xcb_window_t second = makeWindow(c, "Second", 5001);
    const xcb_window_t other = makeWindow(c, "Other", 5002);
    for (const xcb_window_t w : {first, second, other}) {
        ASSERT_TRUE(waitFor([&] { return !c.read(w).empty(); })) << "not managed";
    }
    ASSERT_TRUE(list.activateWindow(other));
    ASSERT_TRUE(waitFor([&] { return c.activeWindow() == other; }));
    std::vector<std::uint32_t> reports;
    const SubscriptionPtr subscription = list.observeActiveWindow([&](std::uint32_t w) { reports.push_back(w); });
    pumpUntil([] { return false; }, 100);
    EXPECT_TRUE(reports.empty()) << "what was active before is history";
    const std::vector<std::uint32_t> sequence{first, second, first, other};
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        ASSERT_TRUE(list.activateWindow(sequence[i]));
        EXPECT_TRUE(pumpUntil([&] { return reports.size() > i; })) << i;
    }
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(reports, sequence) << "once each, without the moments of no active window";
}

TEST_P(X11ActiveWindowTest, AWindowNamingNoProcessIsActivatedByItsNumberFromWhereverItIs) {
    DESKTOP_OR_SKIP(desktop, GetParam());
    X11Clients& c = *desktop.clients;
    X11WindowList list(c, 0);
    struct Case {
        const char* name;
        bool minimised;
        std::uint32_t workspace;
    };
    const Case cases[] = {{"behind another", false, 0}, {"minimised", true, 0}, {"on workspace 2", false, 1}};
    const xcb_window_t front = makeWindow(c, "Front", 5003);
    for (const Case& k : cases) {
        const xcb_window_t w = makeWindow(c, k.name, 0);
        ASSERT_TRUE(waitFor([&] { return !c.read(w).empty(); })) << k.name;
        ASSERT_TRUE(list.activateWindow(front));
        ASSERT_TRUE(waitFor([&] { return c.activeWindow() == front && c.currentDesktop() == 0u; })) << k.name;
        if (k.minimised) {
            c.sendToWindowManager(w, c.atom("WM_CHANGE_STATE"), {3, 0, 0, 0, 0});
            ASSERT_TRUE(waitFor([&] { return !c.read(w).empty() && c.read(w).front().hidden; })) << k.name;
        }
        if (k.workspace != 0) {
            c.sendToWindowManager(w, c.atom("_NET_WM_DESKTOP"), {k.workspace, 2, 0, 0, 0});
            ASSERT_TRUE(waitFor([&] { return !c.read(w).empty() && c.read(w).front().desktop == k.workspace; }));
        }
        ASSERT_TRUE(list.activateWindow(w)) << k.name;
        EXPECT_TRUE(waitFor([&] {
            const auto now = c.read(w);
            return c.activeWindow() == w && c.currentDesktop() == k.workspace && !now.empty() && !now.front().hidden;
        })) << k.name;
        const auto shown = list.windows(0);
        const auto top =
            std::find_if(shown.begin(), shown.end(), [](const WindowInfo& i) { return i.layer == 0 && i.isOnscreen; });
        ASSERT_NE(top, shown.end());
        EXPECT_EQ(top->number, w) << k.name << ": at the front";
    }
    c.sendToWindowManager(c.root(), c.atom("_NET_CURRENT_DESKTOP"), {0, 0, 0, 0, 0});
    EXPECT_FALSE(list.activateWindow(0x7FFFFF)) << "no such window";
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, X11ActiveWindowTest,
                         ::testing::Values(QStringLiteral("openbox"), QStringLiteral("icewm")),
                         [](const auto& param) { return param.param.toStdString(); });

/// A pixmap of `depth` filled with `value`, with the `set` rectangle in `setValue`.
xcb_pixmap_t makePixmap(X11Clients& c, int depth, int width, int height, std::uint32_t value,
                        std::optional<xcb_rectangle_t> set = {}, std::uint32_t setValue = 0) {
    xcb_connection_t* x = c.connection();
    const xcb_pixmap_t p = xcb_generate_id(x);
    xcb_create_pixmap(x, std::uint8_t(depth), p, c.root(), std::uint16_t(width), std::uint16_t(height));
    const xcb_gcontext_t gc = xcb_generate_id(x);
    xcb_create_gc(x, gc, p, XCB_GC_FOREGROUND, &value);
    const xcb_rectangle_t all{0, 0, std::uint16_t(width), std::uint16_t(height)};
    xcb_poly_fill_rectangle(x, p, gc, 1, &all);
    if (set) {
        xcb_change_gc(x, gc, XCB_GC_FOREGROUND, &setValue);
        xcb_poly_fill_rectangle(x, p, gc, 1, &*set);
    }
    xcb_free_gc(x, gc);
    return p;
}

std::uint32_t pixel(const Bitmap& b, int x, int y) {
    return reinterpret_cast<const std::uint32_t*>(b.pixels.constData())[y * b.stride / 4 + x];
}

TEST(X11AppIconsTest, ClassicClientsGetTheIconPixmapOfTheirWmHints) {
    DESKTOP_OR_SKIP(desktop, QString());
    X11Clients& c = *desktop.clients;
    X11AppIcons icons(c);
    const xcb_rectangle_t leftHalf{0, 0, 8, 16};
    struct Case {
        const char* name;
        std::uint32_t flags; // WM_HINTS: 4 icon pixmap, 32 icon mask; 0: no WM_HINTS at all
        xcb_pixmap_t pixmap, mask;
        std::optional<std::array<std::uint32_t, 3>> expected; // width, the top left and top right pixels
        bool netWmIcon = false;
    };
    const Case cases[] = {
        {"colour with a mask", 4 | 32, makePixmap(c, 24, 16, 16, 0xFF0000), makePixmap(c, 1, 16, 16, 0, leftHalf, 1),
         std::array<std::uint32_t, 3>{16, 0xFFFF0000, 0}},
        {"a bitmap is black where set", 4, makePixmap(c, 1, 16, 16, 0, leftHalf, 1), XCB_NONE,
         std::array<std::uint32_t, 3>{16, 0xFF000000, 0xFFFFFFFF}},
        {"a mask of another size is not its mask", 4 | 32, makePixmap(c, 24, 16, 16, 0x00FF00),
         makePixmap(c, 1, 8, 8, 0), std::array<std::uint32_t, 3>{16, 0xFF00FF00, 0xFF00FF00}},
        {"_NET_WM_ICON comes first", 4, makePixmap(c, 24, 16, 16, 0xFF0000), XCB_NONE,
         std::array<std::uint32_t, 3>{2, 0xFF112233, 0xFF112233}, true},
        {"the flag without the pixmap", 32, makePixmap(c, 24, 16, 16, 0xFF0000), XCB_NONE, std::nullopt},
        {"too big for an icon", 4, makePixmap(c, 24, 2000, 8, 0xFF0000), XCB_NONE, std::nullopt},
        {"a pixmap that does not exist", 4, 0x7FFFF1, XCB_NONE, std::nullopt},
        {"no WM_HINTS", 0, XCB_NONE, XCB_NONE, std::nullopt},
    };
    for (const Case& k : cases) {
        const xcb_window_t w = makeWindow(c, k.name, 5100);
        if (k.flags != 0) {
            const std::uint32_t hints[9] = {k.flags, 1, 1, k.pixmap, 0, 0, 0, k.mask, 0};
            setProperty(c, w, "WM_HINTS", XCB_ATOM_WM_HINTS, 32, hints, 9);
        }
        if (k.netWmIcon) {
            const std::uint32_t icon[] = {2, 2, 0xFF112233, 0xFF112233, 0xFF112233, 0xFF112233};
            setProperty(c, w, "_NET_WM_ICON", XCB_ATOM_CARDINAL, 32, icon, 6);
        }
        c.sync();
        const std::optional<Bitmap> found = icons.icon(5100, w, 36);
        ASSERT_EQ(found.has_value(), k.expected.has_value()) << k.name;
        if (found) {
            ASSERT_TRUE(found->isValid()) << k.name;
            const std::uint32_t width = (*k.expected)[0];
            EXPECT_EQ(std::uint32_t(found->width), width) << k.name;
            EXPECT_EQ(pixel(*found, 0, 0), (*k.expected)[1]) << k.name;
            EXPECT_EQ(pixel(*found, int(width) - 1, 0), (*k.expected)[2]) << k.name;
        }
    }
}

TEST(X11AppIconsTest, XtermXlogoAndXclockHaveIcons) {
    DESKTOP_OR_SKIP(desktop, QString());
    X11Clients& c = *desktop.clients;
    X11AppIcons icons(c);
    for (const char* program : {"xterm", "xlogo", "xclock"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            GTEST_SKIP() << program << " is not installed";
        }
        QProcess client;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), desktop.server.display());
        client.setProcessEnvironment(environment);
        client.start(QString::fromLatin1(program), {});
        // Without a window manager the client's window is a child of the root with its WM_CLASS.
        xcb_window_t window = XCB_NONE;
        const QByteArray instance(program);
        waitFor([&] {
            const Reply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(c.connection(), xcb_query_tree(c.connection(), c.root()), nullptr));
            const xcb_window_t* children = tree ? xcb_query_tree_children(tree.get()) : nullptr;
            for (int i = 0; tree && i < xcb_query_tree_children_length(tree.get()); ++i) {
                const Reply<xcb_get_property_reply_t> wmClass(xcb_get_property_reply(
                    c.connection(),
                    xcb_get_property(c.connection(), 0, children[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64),
                    nullptr));
                const int length = wmClass ? xcb_get_property_value_length(wmClass.get()) : 0;
                if (length > 0 && QByteArray(static_cast<const char*>(xcb_get_property_value(wmClass.get())), length)
                                      .startsWith(instance + '\0')) {
                    window = children[i];
                }
            }
            return window != XCB_NONE;
        });
        ASSERT_NE(window, XCB_NONE) << program;
        waitFor([&] { return icons.icon(1, window, 36).has_value(); }, 2000);
        const std::optional<Bitmap> icon = icons.icon(1, window, 36);
        ASSERT_TRUE(icon && icon->isValid()) << program;
        int opaque = 0;
        for (int y = 0; y < icon->height; ++y) {
            for (int x = 0; x < icon->width; ++x) {
                opaque += (pixel(*icon, x, y) >> 24) == 0xFF ? 1 : 0;
            }
        }
        EXPECT_GT(opaque, 0) << program;
        client.terminate();
        client.waitForFinished(5000);
    }
}

TEST(X11CaptureTest, ThePictureKeepsTheWindowsShapeInsideTheBoxAsked) {
    DESKTOP_OR_SKIP(desktop, QStringLiteral("openbox"));
    X11Clients& c = *desktop.clients;
    struct Case {
        int width, height; // the window's client area
        int boxWidth, boxHeight;
        int expectedWidth, expectedHeight;
    };
    const Case cases[] = {
        {300, 200, 172, 105, 158, 105}, // wider than tall: the height fills the box
        {600, 200, 172, 105, 172, 57},  // wider still: the width does
        {100, 300, 344, 210, 70, 210},  // tall, at two pixels per point
        {560, 360, 172, 105, 163, 105},
    };
    std::vector<xcb_window_t> windows;
    for (const Case& k : cases) {
        windows.push_back(makeWindow(c, "Shape", 5200, k.width, k.height));
        ASSERT_TRUE(waitFor([&] { return !c.read(windows.back()).empty(); }));
    }
    std::mutex mutex;
    std::condition_variable arrived;
    std::map<std::uint32_t, std::optional<Bitmap>> images;
    X11WindowCapture capture([](std::function<void()> work) { work(); }, desktop.server.display().toStdString());
    ASSERT_TRUE(capture.available());
    std::vector<CaptureRequest> requests;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        requests.push_back({windows[i], cases[i].boxWidth, cases[i].boxHeight});
    }
    ASSERT_TRUE(capture.capture(requests, [&](std::uint32_t window, std::optional<Bitmap> image) {
        const std::lock_guard lock(mutex);
        images[window] = std::move(image);
        arrived.notify_all();
    }));
    std::unique_lock lock(mutex);
    ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(10), [&] { return images.size() == std::size(cases); }));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& image = images[windows[i]];
        ASSERT_TRUE(image && image->isValid()) << i;
        EXPECT_EQ(image->width, cases[i].expectedWidth) << i;
        EXPECT_EQ(image->height, cases[i].expectedHeight) << i;
        EXPECT_EQ(pixel(*image, image->width - 1, image->height - 1), 0xFF3366CCu) << i;
    }
}

TEST(X11CaptureTest, AServerWithoutCompositeSaysSoInsteadOfAskingForPermission) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        GTEST_SKIP() << "Xvfb is not available";
    }
    QProcess server;
    server.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-extension"),
                  QStringLiteral("Composite"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    ASSERT_TRUE(server.waitForReadyRead(30000));
    const std::string display = ":" + server.readLine().trimmed().toStdString();
    struct Case {
        std::string display;
        bool available;
        QString missing;
    };
    DESKTOP_OR_SKIP(desktop, QString());
    const Case cases[] = {
        {display, false, QStringLiteral("Window previews need the X server's Composite extension")},
        {desktop.server.display().toStdString(), true, QString()},
    };
    for (const Case& k : cases) {
        const X11WindowCapture capture([](std::function<void()> work) { work(); }, k.display);
        const X11ScreenCapture access(capture);
        EXPECT_EQ(access.hasAccess(), k.available) << k.display;
        EXPECT_EQ(access.missingCapability(), k.missing) << k.display;
    }
    server.terminate();
    server.waitForFinished(5000);
}

} // namespace
