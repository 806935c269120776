// The window list, window elements, icons and captures against Xvfb with openbox and with icewm (and once with no
// window manager), on windows this test makes with chosen types, states, titles and owners.
#include "platform/x11/x11_app_icons.h"
#include "platform/x11/x11_clients.h"
#include "platform/x11/x11_thumbnails.h"
#include "platform/x11/x11_top_keeper.h"
#include "platform/x11/x11_window_elements.h"
#include "platform/x11/x11_window_list.h"

#include "platform/x11/tests/x_test_env.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>

using namespace tillory::platform;
using namespace tillory::platform::nix;
using tillory::platform::nix::testing::XServer;

namespace {

const std::int32_t kSelf = static_cast<std::int32_t>(getpid());

/// How one test window is made. `pid` 0 sets no _NET_WM_PID, -1 sets one of the wrong type.
struct Shape {
    QByteArray title;
    const char* type = nullptr;
    const char* state = nullptr;
    std::int32_t pid = 4001;
    int width = 300;
    int height = 200;
    bool legacyTitle = false; // WM_NAME (Latin-1) only
    bool transparent = false;
    int minWidth = 0;                      // WM_NORMAL_HINTS
    std::array<std::uint32_t, 4> shadow{}; // _GTK_FRAME_EXTENTS, drawn without the window manager's frame
};

const std::vector<Shape> kShapes = {
    {"Plain"},
    {"Caf\xe9 legacy", nullptr, nullptr, 4001, 300, 200, true},
    {"Broken \xff\xfe utf", nullptr, nullptr, 4002},
    {"Dock", "_NET_WM_WINDOW_TYPE_DOCK", nullptr, 4003},
    {"Splash", "_NET_WM_WINDOW_TYPE_SPLASH", nullptr, 4003},
    {"Utility", "_NET_WM_WINDOW_TYPE_UTILITY", nullptr, 4003},
    {"Skip", nullptr, "_NET_WM_STATE_SKIP_TASKBAR", 4003},
    {"Minimised", nullptr, nullptr, 4001},
    {"Elsewhere", nullptr, nullptr, 4004},
    {"Own", nullptr, nullptr, kSelf},
    {"No pid", nullptr, nullptr, 0},
    {"Bad pid", nullptr, nullptr, -1},
    {"Clear", nullptr, nullptr, 4005, 300, 200, false, true},
    {"Small", nullptr, nullptr, 4005, 81, 61},
};

/// A connection of the test's own, making windows the way a client program does.
class Maker {
public:
    explicit Maker(const std::string& display) : clients_(display) {}
    X11Clients& clients() { return clients_; }

    xcb_atom_t atom(const char* name) { return clients_.atom(name); }

    void set(xcb_window_t w, const char* name, xcb_atom_t type, int format, const void* data, std::uint32_t count) {
        xcb_change_property(c(), XCB_PROP_MODE_REPLACE, w, atom(name), type, std::uint8_t(format), count, data);
        clients_.sync();
    }

    xcb_window_t make(const Shape& shape) {
        const xcb_window_t w = xcb_generate_id(c());
        const std::uint32_t background = 0x3366cc;
        xcb_create_window(c(), XCB_COPY_FROM_PARENT, w, clients_.root(), 50, 60, std::uint16_t(shape.width),
                          std::uint16_t(shape.height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          XCB_CW_BACK_PIXEL, &background);
        if (shape.legacyTitle) {
            set(w, "WM_NAME", XCB_ATOM_STRING, 8, shape.title.constData(), std::uint32_t(shape.title.size()));
        } else {
            set(w, "_NET_WM_NAME", atom("UTF8_STRING"), 8, shape.title.constData(), std::uint32_t(shape.title.size()));
        }
        const char wmClass[] = "probe\0Probe";
        set(w, "WM_CLASS", XCB_ATOM_STRING, 8, wmClass, sizeof wmClass);
        if (shape.pid > 0) {
            set(w, "_NET_WM_PID", XCB_ATOM_CARDINAL, 32, &shape.pid, 1);
        } else if (shape.pid < 0) {
            set(w, "_NET_WM_PID", XCB_ATOM_STRING, 8, "4242", 4);
        }
        if (shape.type) {
            const xcb_atom_t type = atom(shape.type);
            set(w, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, 32, &type, 1);
        }
        if (shape.state) {
            const xcb_atom_t state = atom(shape.state);
            set(w, "_NET_WM_STATE", XCB_ATOM_ATOM, 32, &state, 1);
        }
        if (shape.minWidth > 0) {
            std::array<std::uint32_t, 18> hints{};
            hints[0] = 16; // PMinSize
            hints[5] = std::uint32_t(shape.minWidth);
            hints[6] = 50;
            set(w, "WM_NORMAL_HINTS", XCB_ATOM_WM_SIZE_HINTS, 32, hints.data(), 18);
        }
        if (shape.shadow != std::array<std::uint32_t, 4>{}) {
            set(w, "_GTK_FRAME_EXTENTS", XCB_ATOM_CARDINAL, 32, shape.shadow.data(), 4);
            const std::uint32_t undecorated[] = {2, 0, 0, 0, 0}; // _MOTIF_WM_HINTS: decorations given, none
            set(w, "_MOTIF_WM_HINTS", atom("_MOTIF_WM_HINTS"), 32, undecorated, 5);
        }
        if (shape.transparent) {
            const std::uint32_t none = 0;
            set(w, "_NET_WM_WINDOW_OPACITY", XCB_ATOM_CARDINAL, 32, &none, 1);
        }
        xcb_map_window(c(), w);
        xcb_flush(c());
        return w;
    }

    /// Waits until the window manager lists `w`; a map it missed is asked again.
    bool managed(xcb_window_t w) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (waitFor([&] { return !clients_.read(w).empty(); })) {
                return true;
            }
            xcb_unmap_window(c(), w);
            xcb_map_window(c(), w);
            xcb_flush(c());
        }
        return false;
    }

    template <typename Done> static bool waitFor(Done done, int ms = 3000) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < ms) {
            QThread::msleep(10); // waiting for another process (the window manager); not a test timing
        }
        return done();
    }

private:
    xcb_connection_t* c() { return clients_.connection(); }
    X11Clients clients_;
};

/// One server with one window manager and the windows of kShapes, kept for the whole program.
struct Desktop {
    XServer server;
    std::string display;
    std::unique_ptr<Maker> maker;
    std::map<QByteArray, xcb_window_t> ids;
    QString missing; // what this machine lacks
    QString failure; // what went wrong

    explicit Desktop(const QString& manager) {
        if (!server.start(true, manager)) {
            missing = server.missing() + QStringLiteral(" is not available");
            return;
        }
        display = server.display().toStdString();
        maker = std::make_unique<Maker>(display);
        for (const Shape& shape : kShapes) {
            ids[shape.title] = maker->make(shape);
        }
        for (const auto& [title, id] : ids) {
            if (!maker->managed(id)) {
                failure = QStringLiteral("the window manager did not take ") + QString::fromLatin1(title);
                return;
            }
        }
        X11Clients& c = maker->clients();
        const auto settled = [this, &c] {
            const auto windows = c.read();
            return std::all_of(windows.begin(), windows.end(), [this](const ClientWindow& w) {
                return (w.id != ids["Minimised"] || (w.hidden && !w.viewable)) &&
                       (w.id != ids["Elsewhere"] || (w.desktop == 1 && !w.viewable));
            });
        };
        // A window manager that has only just taken a window may miss a request about it; ask again.
        for (int attempt = 0; attempt < 3 && !settled(); ++attempt) {
            c.sendToWindowManager(ids["Minimised"], c.atom("WM_CHANGE_STATE"), {3, 0, 0, 0, 0});
            c.sendToWindowManager(ids["Elsewhere"], c.atom("_NET_WM_DESKTOP"), {1, 2, 0, 0, 0});
            Maker::waitFor(settled);
        }
        if (!settled()) {
            failure = QStringLiteral("minimising or moving a window to another workspace did not happen");
        }
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

// Servers go before static destruction, while QProcess can still wait for them.
class Teardown : public ::testing::Environment {
public:
    void TearDown() override { desktops().clear(); }
};
const auto* const kTeardown = ::testing::AddGlobalTestEnvironment(new Teardown);

class X11WindowsTest : public ::testing::TestWithParam<QString> {
protected:
    void SetUp() override {
        desktop_ = &desktopWith(GetParam());
        if (!desktop_->missing.isEmpty()) {
            GTEST_SKIP() << desktop_->missing.toStdString();
        }
        ASSERT_TRUE(desktop_->failure.isEmpty()) << desktop_->failure.toStdString();
    }
    xcb_window_t id(const char* title) { return desktop_->ids[title]; }
    Desktop* desktop_ = nullptr;
};

const WindowInfo* find(const std::vector<WindowInfo>& list, xcb_window_t id) {
    const auto found = std::find_if(list.begin(), list.end(), [id](const WindowInfo& w) { return w.number == id; });
    return found == list.end() ? nullptr : &*found;
}

Element windowElement(X11WindowElements& elements, std::int32_t pid, xcb_window_t id) {
    const AXValue all = elements.attribute(elements.application(pid), AXAttribute::Windows);
    const auto* windows = std::get_if<std::vector<Element>>(&all);
    if (!windows) {
        return nullptr;
    }
    const auto found = std::find_if(windows->begin(), windows->end(),
                                    [&](const Element& e) { return elements.windowNumber(e) == id; });
    return found == windows->end() ? nullptr : *found;
}

std::optional<Rect> frameOf(X11WindowElements& elements, const Element& window) {
    const AXValue position = elements.attribute(window, AXAttribute::Position);
    const AXValue size = elements.attribute(window, AXAttribute::Size);
    const auto* p = std::get_if<Point>(&position);
    const auto* z = std::get_if<Size>(&size);
    return p && z ? std::optional(Rect{p->x, p->y, z->width, z->height}) : std::nullopt;
}

bool within2(const Rect& a, const Rect& b) {
    return std::abs(a.x - b.x) <= 2 && std::abs(a.y - b.y) <= 2 && std::abs(a.width - b.width) <= 2 &&
           std::abs(a.height - b.height) <= 2;
}

/// What the snapping logic writes: the frame in one write.
void applyFrame(X11WindowElements& elements, const Element& window, const Rect& r) {
    elements.setAttribute(window, AXAttribute::Frame, r);
}

TEST_P(X11WindowsTest, ListsEachKindOfWindowAsItIs) {
    X11Clients clients(desktop_->display);
    X11WindowList everyone(clients, 0);
    const auto list = everyone.windows(0);
    struct Case {
        const char* title;
        QString name;
        int layer;
        bool onscreen;
        std::int32_t pid;
    };
    const std::vector<Case> cases = {
        {"Plain", "Plain", 0, true, 4001},
        {"Caf\xe9 legacy", QStringLiteral("Caf\u00e9 legacy"), 0, true, 4001},
        {"Broken \xff\xfe utf", QStringLiteral("Broken \ufffd\ufffd utf"), 0, true, 4002},
        {"Dock", "Dock", 20, true, 4003},
        {"Splash", "Splash", 21, true, 4003},
        {"Utility", "Utility", 3, true, 4003},
        {"Skip", "Skip", 3, true, 4003},
        {"Minimised", "Minimised", 0, false, 4001},
        {"Elsewhere", "Elsewhere", 0, false, 4004},
        {"Own", "Own", 0, true, kSelf},
        {"No pid", "No pid", 0, true, kSelf},
        {"Bad pid", "Bad pid", 0, true, kSelf},
        {"Small", "Small", 0, true, 4005},
    };
    for (const Case& c : cases) {
        const WindowInfo* w = find(list, id(c.title));
        ASSERT_TRUE(w) << c.title;
        EXPECT_EQ(w->name, c.name) << c.title;
        EXPECT_EQ(w->layer, c.layer) << c.title;
        EXPECT_EQ(w->isOnscreen, c.onscreen) << c.title;
        EXPECT_EQ(w->ownerPid, c.pid) << c.title;
        EXPECT_EQ(w->ownerName, QStringLiteral("Probe")) << c.title;
    }
    const WindowInfo* small = find(list, id("Small"));
    X11WindowElements elements(clients);
    EXPECT_EQ(small->bounds, frameOf(elements, windowElement(elements, 4005, id("Small"))))
        << "the same rectangle as the window element's";
    EXPECT_GT(small->bounds.height, 61) << "with the window manager's frame";
    EXPECT_EQ(find(list, id("Clear"))->alpha, 0.0);

    X11WindowList mine(clients, kSelf);
    const auto others = mine.windows(0);
    for (const char* title : {"Own", "No pid", "Bad pid"}) {
        EXPECT_FALSE(find(others, id(title))) << title << " belongs to this process";
    }
    const auto shown = mine.windows(static_cast<unsigned>(WindowListOption::OnScreenOnly));
    EXPECT_FALSE(find(shown, id("Minimised")));
    EXPECT_FALSE(find(shown, id("Elsewhere")));
    EXPECT_TRUE(find(shown, id("Plain")));
}

TEST_P(X11WindowsTest, RaisingAWindowBringsItToTheFrontOfTheList) {
    X11Clients clients(desktop_->display);
    X11WindowList list(clients, 0);
    X11WindowElements elements(clients);
    for (const char* title : {"Clear", "Small", "Plain"}) {
        const AXValue all =
            elements.attribute(elements.application(title == QByteArray("Plain") ? 4001 : 4005), AXAttribute::Windows);
        const auto* windows = std::get_if<std::vector<Element>>(&all);
        ASSERT_TRUE(windows);
        const auto element = std::find_if(windows->begin(), windows->end(),
                                          [&](const Element& e) { return elements.windowNumber(e) == id(title); });
        ASSERT_NE(element, windows->end()) << title;
        ASSERT_TRUE(elements.performAction(*element, kAXRaiseAction));
        // Docks and other layers may stay above; what counts is the order of the application windows.
        EXPECT_TRUE(Maker::waitFor([&] {
            const auto shown = list.windows(0);
            const auto front = std::find_if(shown.begin(), shown.end(),
                                            [](const WindowInfo& w) { return w.layer == 0 && w.isOnscreen; });
            return front != shown.end() && front->number == id(title) && clients.activeWindow() == id(title);
        })) << title;
    }
    // The application comes forward with the window last raised for it.
    EXPECT_FALSE(elements.activateApplication(999999));
    ASSERT_TRUE(elements.activateApplication(4005));
    EXPECT_TRUE(Maker::waitFor([&] { return clients.activeWindow() == id("Small"); }));
}

// Frames also under fluxbox, which makes up a height for a request that gives none.
class X11FramesTest : public X11WindowsTest {};

TEST_P(X11FramesTest, FramesLandOnTheLeftHalfOfTheWorkAreaAsFarAsTheWindowAllows) {
    X11Clients& clients = desktop_->maker->clients();
    X11WindowElements elements(clients);
    const auto workarea = [&] {
        const auto cookie = xcb_get_property(clients.connection(), 0, clients.root(), clients.atom("_NET_WORKAREA"),
                                             XCB_ATOM_CARDINAL, 0, 4);
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
            xcb_get_property_reply(clients.connection(), cookie, nullptr), &std::free);
        const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
        return Rect{double(v[0]), double(v[1]), double(v[2]), double(v[3])};
    }();
    const Rect half{workarea.x, workarea.y, workarea.width / 2, workarea.height};
    // icewm keeps every window's frame on the screen, so shadows cannot reach past its edge there.
    const Rect inner{workarea.x + 128, workarea.y + 64, 1024, 672};
    struct Case {
        Shape shape;
        bool maximised;
        Rect target;
        double minWidth; // the client's minimum
    };
    const std::vector<Case> cases = {
        {{"Normal", nullptr, nullptr, 4101}, false, half, 0},
        {{"Maximised", nullptr, nullptr, 4101}, true, half, 0},
        {{"Shadowed", nullptr, nullptr, 4101, 400, 300, false, false, 0, {20, 20, 15, 25}}, false, inner, 0},
        {{"Wide", nullptr, nullptr, 4101, 900, 300, false, false, 800}, false, half, 800},
    };
    for (const Case& c : cases) {
        const xcb_window_t id = desktop_->maker->make(c.shape);
        ASSERT_TRUE(desktop_->maker->managed(id)) << c.shape.title.constData();
        const Element window = windowElement(elements, 4101, id);
        ASSERT_TRUE(window);
        if (c.shape.shadow[0] != 0) {
            const auto frame = frameOf(elements, window);
            ASSERT_TRUE(frame);
            EXPECT_EQ(frame->size(), (Size{360, 260})) << "the shadows are not part of the window";
        }
        if (c.maximised) {
            clients.sendToWindowManager(
                id, clients.atom("_NET_WM_STATE"),
                {1, clients.atom("_NET_WM_STATE_MAXIMIZED_VERT"), clients.atom("_NET_WM_STATE_MAXIMIZED_HORZ"), 2, 0});
            ASSERT_TRUE(Maker::waitFor([&] { return clients.read(id).front().maximized; }));
        }
        applyFrame(elements, window, c.target);
        const auto frame = frameOf(elements, window);
        ASSERT_TRUE(frame) << c.shape.title.constData();
        if (c.minWidth == 0) {
            EXPECT_TRUE(within2(*frame, c.target)) << c.shape.title.constData() << " at " << frame->x << "," << frame->y
                                                   << " " << frame->width << "x" << frame->height;
        } else {
            EXPECT_TRUE(within2(Rect{frame->x, frame->y, half.width, frame->height}, half));
            EXPECT_GE(frame->width, c.minWidth) << "the client's minimum width holds";
        }
        const ClientWindow after = clients.read(id).front();
        EXPECT_FALSE(after.maximized) << c.shape.title.constData();
        EXPECT_EQ(after.visibleFrame(), *frame) << "the window list's rectangle";
    }
}

TEST_P(X11WindowsTest, UnminimisingShowsTheWindowAndAVanishedWindowTakesNoWrites) {
    X11Clients& clients = desktop_->maker->clients();
    X11WindowElements elements(clients);
    const Element minimised = windowElement(elements, 4001, id("Minimised"));
    ASSERT_TRUE(minimised);
    ASSERT_EQ(elements.attribute(minimised, AXAttribute::Minimized), AXValue{true});
    ASSERT_TRUE(elements.setAttribute(minimised, AXAttribute::Minimized, false));
    EXPECT_EQ(elements.attribute(minimised, AXAttribute::Minimized), AXValue{false}) << "shown when the call returns";
    EXPECT_TRUE(Maker::waitFor([&] { return clients.read(id("Minimised")).front().viewable; }));
    // Minimised again for the tests after this one, which share the window.
    ASSERT_TRUE(elements.setAttribute(minimised, AXAttribute::Minimized, true));
    EXPECT_TRUE(Maker::waitFor([&] { return clients.read(id("Minimised")).front().hidden; }));

    const xcb_window_t doomed = desktop_->maker->make(Shape{"Doomed", nullptr, nullptr, 4102});
    ASSERT_TRUE(desktop_->maker->managed(doomed));
    const Element window = windowElement(elements, 4102, doomed);
    ASSERT_TRUE(window);
    xcb_destroy_window(clients.connection(), doomed);
    clients.sync();
    EXPECT_FALSE(elements.setAttribute(window, AXAttribute::Position, Point{10, 10}));
    EXPECT_FALSE(elements.setAttribute(window, AXAttribute::Size, Size{300, 300}));
    EXPECT_FALSE(frameOf(elements, window));
}

TEST_P(X11WindowsTest, ApplicationWindowsCarryTheirIdsTitlesAndFrames) {
    X11Clients clients(desktop_->display);
    X11WindowElements elements(clients);
    EXPECT_EQ(elements.application(999999), nullptr);
    const Element app = elements.application(4001);
    ASSERT_NE(app, nullptr);
    const AXValue all = elements.attribute(app, AXAttribute::Windows);
    const auto* windows = std::get_if<std::vector<Element>>(&all);
    ASSERT_TRUE(windows);
    std::vector<std::uint32_t> numbers;
    for (const Element& w : *windows) {
        numbers.push_back(elements.windowNumber(w));
        if (elements.windowNumber(w) == id("Minimised")) {
            EXPECT_EQ(elements.attribute(w, AXAttribute::Minimized), AXValue{true});
            EXPECT_EQ(elements.attribute(w, AXAttribute::Title), AXValue{QStringLiteral("Minimised")});
            const AXValue frame = elements.attribute(w, AXAttribute::Size);
            const auto* size = std::get_if<Size>(&frame);
            ASSERT_TRUE(size);
            EXPECT_GE(size->width, 300) << "the frame holds the client";
            EXPECT_GE(size->height, 200);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    std::vector<std::uint32_t> expected = {id("Plain"), id("Caf\xe9 legacy"), id("Minimised")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(numbers, expected);
}

TEST_P(X11WindowsTest, RaisingSwitchesWorkspaceUnminimisesAndActivates) {
    X11Clients clients(desktop_->display);
    X11WindowElements elements(clients);
    struct Case {
        const char* title;
        std::int32_t pid;
        std::uint32_t desktop;
    };
    for (const Case& c : std::vector<Case>{{"Elsewhere", 4004, 1}, {"Minimised", 4001, 0}, {"Plain", 4001, 0}}) {
        const AXValue all = elements.attribute(elements.application(c.pid), AXAttribute::Windows);
        const auto* windows = std::get_if<std::vector<Element>>(&all);
        ASSERT_TRUE(windows) << c.title;
        const auto element = std::find_if(windows->begin(), windows->end(),
                                          [&](const Element& e) { return elements.windowNumber(e) == id(c.title); });
        ASSERT_NE(element, windows->end()) << c.title;
        ASSERT_TRUE(elements.performAction(*element, kAXRaiseAction));
        EXPECT_TRUE(Maker::waitFor([&] {
            return clients.activeWindow() == id(c.title) && clients.currentDesktop() == c.desktop;
        })) << c.title;
        EXPECT_EQ(elements.attribute(*element, AXAttribute::Minimized), AXValue{false}) << c.title;
    }
    // Put the desktop back as the other tests expect it.
    clients.sendToWindowManager(id("Minimised"), clients.atom("WM_CHANGE_STATE"), {3, 0, 0, 0, 0});
    clients.sendToWindowManager(id("Elsewhere"), clients.atom("_NET_WM_DESKTOP"), {1, 2, 0, 0, 0});
    EXPECT_TRUE(Maker::waitFor([&] {
        const auto minimised = clients.read(id("Minimised"));
        const auto elsewhere = clients.read(id("Elsewhere"));
        return !minimised.empty() && minimised.front().hidden && !elsewhere.empty() && elsewhere.front().desktop == 1;
    }));
}

TEST_P(X11WindowsTest, IconsComeFromTheProcesssWindows) {
    X11Clients clients(desktop_->display);
    const std::vector<std::uint32_t> icon = {2, 2, 0xFF112233, 0xFF112233, 0xFF112233, 0xFF112233};
    xcb_change_property(clients.connection(), XCB_PROP_MODE_REPLACE, id("Splash"), clients.atom("_NET_WM_ICON"),
                        XCB_ATOM_CARDINAL, 32, std::uint32_t(icon.size()), icon.data());
    const std::vector<std::uint32_t> overrun = {64, 64, 1, 2};
    xcb_change_property(clients.connection(), XCB_PROP_MODE_REPLACE, id("Clear"), clients.atom("_NET_WM_ICON"),
                        XCB_ATOM_CARDINAL, 32, std::uint32_t(overrun.size()), overrun.data());
    clients.sync();
    X11AppIcons icons(clients);
    const auto found = icons.icon(4003, id("Splash"), 32);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->width, 2);
    EXPECT_EQ(*reinterpret_cast<const std::uint32_t*>(found->pixels.constData()), 0xFF112233u);
    // openbox gives windows without an icon one of its own; the malformed one must not be what comes back.
    const auto fallback = icons.icon(4005, id("Clear"), 64);
    EXPECT_TRUE(!fallback || fallback->width != 64);
    EXPECT_FALSE(icons.icon(999999, 0, 32)) << "no such process";
}

TEST_P(X11WindowsTest, CapturesScaleShownWindowsAndRefuseUnmappedOnes) {
    std::mutex mutex;
    std::condition_variable arrived;
    std::map<std::uint32_t, std::optional<Bitmap>> images;
    // Deliveries come through `post`; here it runs them at once, on the worker thread.
    X11WindowCapture capture([](std::function<void()> work) { work(); }, desktop_->display);
    ASSERT_TRUE(capture.available());
    ASSERT_TRUE(
        capture.capture({{id("Plain"), 75, 50}, {id("Small"), 20, 15}, {id("Minimised"), 75, 50}, {0x7FFFFF, 5, 5}},
                        [&](std::uint32_t window, std::optional<Bitmap> image) {
                            const std::lock_guard lock(mutex);
                            images[window] = std::move(image);
                            arrived.notify_all();
                        }));
    std::unique_lock lock(mutex);
    ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(10), [&] { return images.size() == 4; }));
    ASSERT_TRUE(images[id("Plain")]);
    EXPECT_EQ(images[id("Plain")]->width, 75);
    EXPECT_EQ(images[id("Plain")]->height, 50);
    // The window's background, all through: the client area only, without the frame's decorations.
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(images[id("Plain")]->pixels.constData());
    for (const int at : {0, 74, 49 * 75, 49 * 75 + 74, 25 * 75 + 37}) {
        EXPECT_EQ(pixels[at], 0xFF3366CCu) << at;
    }
    EXPECT_EQ(images[id("Small")]->width, 20);
    EXPECT_FALSE(images[id("Minimised")]);
    EXPECT_FALSE(images[0x7FFFFF]);
    EXPECT_FALSE(capture.capture({}, [](std::uint32_t, std::optional<Bitmap>) {}));
}

TEST_P(X11WindowsTest, ABatchStillWaitingGivesWayToTheNextOne) {
    std::mutex mutex;
    std::condition_variable arrived;
    bool release = false;
    std::map<int, std::vector<bool>> images; // per batch: whether each delivery had an image
    X11WindowCapture capture([](std::function<void()> work) { work(); }, desktop_->display);
    ASSERT_TRUE(capture.available());
    const auto batch = [&](int n) {
        return [&, n](std::uint32_t, std::optional<Bitmap> image) {
            std::unique_lock lock(mutex);
            images[n].push_back(image.has_value());
            arrived.notify_all();
            if (n == 0) {
                arrived.wait(lock, [&] { return release; }); // holds the worker inside the first batch
            }
        };
    };
    capture.capture({{id("Plain"), 75, 50}}, batch(0));
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(10), [&] { return images[0].size() == 1; }));
    }
    capture.capture({{id("Plain"), 75, 50}, {id("Small"), 20, 15}}, batch(1));
    capture.capture({{id("Small"), 20, 15}}, batch(2));
    std::unique_lock lock(mutex);
    release = true;
    arrived.notify_all();
    ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(10), [&] { return images[2].size() == 1; }));
    EXPECT_EQ(images[1], (std::vector<bool>{false, false}));
    EXPECT_EQ(images[2], (std::vector<bool>{true}));
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, X11WindowsTest,
                         ::testing::Values(QStringLiteral("openbox"), QStringLiteral("icewm")),
                         [](const auto& param) { return param.param.toStdString(); });
INSTANTIATE_TEST_SUITE_P(WindowManagers, X11FramesTest,
                         // fluxbox's frames are proven end to end (the snap test under fluxbox), which waits for a
                         // frame to settle; read at once, a slow run sometimes sees its half-applied frame.
                         ::testing::Values(QStringLiteral("openbox"), QStringLiteral("icewm")),
                         [](const auto& param) { return param.param.toStdString(); });

// Without a window manager, lists written by hand: a window that does not exist and properties of the wrong
// format are passed over, never fatal.
TEST(X11WindowsWithoutManager, VanishedWindowsAndWrongFormatsLeaveTheRestIntact) {
    XServer server;
    if (!server.start(false)) {
        GTEST_SKIP() << server.missing().toStdString() << " is not available";
    }
    Maker maker(server.display().toStdString());
    const xcb_window_t real = maker.make(Shape{"Real"});
    const std::uint8_t garbage[] = {1, 2, 3};
    maker.set(real, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, 8, garbage, 3);
    maker.set(real, "_NET_WM_DESKTOP", XCB_ATOM_CARDINAL, 16, garbage, 1);
    X11Clients clients(server.display().toStdString());
    X11WindowList list(clients, 0);
    EXPECT_TRUE(list.windows(0).empty()) << "no client list";

    const std::uint32_t stacking[] = {0x7FFFFF0, real, 0x7FFFFF1};
    maker.set(clients.root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW, 32, stacking, 3);
    clients.sync();
    ASSERT_TRUE(Maker::waitFor([&] { return !list.windows(0).empty(); }));
    const auto windows = list.windows(0);
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows.front().number, real);
    EXPECT_EQ(windows.front().layer, 0);
    EXPECT_TRUE(windows.front().isOnscreen);

    maker.set(clients.root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW, 8, garbage, 3);
    maker.set(clients.root(), "_NET_CLIENT_LIST", XCB_ATOM_WINDOW, 32, stacking, 3);
    clients.sync();
    EXPECT_EQ(list.windows(0).size(), 1u) << "the other list stands in";
}

// A manager that keeps its stacking list in mapping order, whatever is raised: the server's stacking decides which
// window is in front. A list that differs from the mapping order is the manager's own and is taken as it is.
TEST(X11WindowsWithoutManager, AStackingListInMappingOrderGivesWayToTheServersStacking) {
    XServer server;
    if (!server.start(false)) {
        GTEST_SKIP() << server.missing().toStdString() << " is not available";
    }
    Maker maker(server.display().toStdString());
    const xcb_window_t a = maker.make(Shape{"A"});
    const xcb_window_t b = maker.make(Shape{"B"});
    const xcb_window_t c = maker.make(Shape{"C"});
    X11Clients clients(server.display().toStdString());
    X11WindowList list(clients, 0);
    struct Case {
        const char* what;
        std::vector<xcb_window_t> stacking, mapped;
        xcb_window_t raised;
        std::vector<xcb_window_t> frontToBack;
    };
    const Case cases[] = {
        {"stale list, the first raised", {a, b, c}, {a, b, c}, a, {a, c, b}},
        {"stale list, the middle raised", {a, b, c}, {a, b, c}, b, {b, a, c}},
        {"no stacking list", {}, {a, b, c}, c, {c, b, a}},
        {"the manager's own order", {c, a, b}, {a, b, c}, a, {b, a, c}},
    };
    for (const Case& k : cases) {
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(maker.clients().connection(), k.raised, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        maker.set(clients.root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW, 32, k.stacking.data(),
                  std::uint32_t(k.stacking.size()));
        maker.set(clients.root(), "_NET_CLIENT_LIST", XCB_ATOM_WINDOW, 32, k.mapped.data(),
                  std::uint32_t(k.mapped.size()));
        clients.sync();
        std::vector<xcb_window_t> seen;
        for (const WindowInfo& w : list.windows(0)) {
            seen.push_back(w.number);
        }
        EXPECT_EQ(seen, k.frontToBack) << k.what;
    }
}

// Writes wait for a window manager that answers. One that has gone (the root still names its check window) costs no
// wait; one that does not answer costs one per window, until the window's frame changes.
TEST(X11WindowsWithoutManager, WritesWaitForNoManagerThatIsGoneOrSilent) {
    XServer server;
    if (!server.start(false)) {
        GTEST_SKIP() << server.missing().toStdString() << " is not available";
    }
    Maker maker(server.display().toStdString());
    X11Clients& c = maker.clients();
    const xcb_window_t alive = xcb_generate_id(c.connection());
    xcb_create_window(c.connection(), XCB_COPY_FROM_PARENT, alive, c.root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    maker.set(alive, "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW, 32, &alive, 1);
    struct Case {
        const char* what;
        xcb_window_t check;
        std::size_t waits;
    };
    const Case cases[]{{"gone", 0x7FFFFF0, 0}, {"silent", alive, 1}};
    for (const Case& k : cases) {
        maker.set(c.root(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW, 32, &k.check, 1);
        // Left maximised: leaving that state is waited for too.
        const xcb_window_t id = maker.make(Shape{"Left behind", nullptr, "_NET_WM_STATE_MAXIMIZED_VERT", 4201});
        maker.set(c.root(), "_NET_CLIENT_LIST", XCB_ATOM_WINDOW, 32, &id, 1);
        X11WindowElements elements(c);
        const Element window = windowElement(elements, 4201, id);
        ASSERT_TRUE(window) << k.what;
        EXPECT_TRUE(elements.setAttribute(window, AXAttribute::Frame, Rect{0, 0, 640, 400})) << k.what;
        EXPECT_TRUE(elements.setAttribute(window, AXAttribute::Frame, Rect{640, 0, 640, 400})) << k.what;
        EXPECT_TRUE(elements.setAttribute(window, AXAttribute::Position, Point{10, 10})) << k.what;
        EXPECT_EQ(elements.waitsRunOut(), k.waits) << k.what;
        // The window moves after all: whoever moved it answers, so the next write waits again.
        const std::uint32_t to[] = {300, 200};
        xcb_configure_window(c.connection(), id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, to);
        c.sync();
        elements.setAttribute(window, AXAttribute::Frame, Rect{0, 0, 640, 400});
        EXPECT_EQ(elements.waitsRunOut(), 2 * k.waits) << k.what;
    }
}

// Override-redirect windows stack like any other: one mapped later covers the kept one until the keeper puts it
// back, and only while it keeps it.
TEST(X11TopKeeper, PutsTheKeptWindowBackAboveWindowsMappedLater) {
    XServer server;
    if (!server.start(false)) {
        GTEST_SKIP() << server.missing().toStdString() << " is not available";
    }
    X11Clients clients(server.display().toStdString());
    xcb_connection_t* c = clients.connection();
    const auto overlay = [&] {
        const xcb_window_t w = xcb_generate_id(c);
        const std::uint32_t overrideRedirect = 1;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, clients.root(), 10, 10, 100, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
                          &overrideRedirect);
        xcb_map_window(c, w);
        clients.sync();
        return w;
    };
    const auto top = [&] {
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, clients.root()), nullptr), &std::free);
        const int count = xcb_query_tree_children_length(tree.get());
        return count > 0 ? xcb_query_tree_children(tree.get())[count - 1] : XCB_NONE;
    };
    X11TopKeeper keeper(server.display().toStdString());
    const xcb_window_t panel = overlay();
    const xcb_window_t tooltip = overlay();
    keeper.keepOnTop(panel);
    EXPECT_EQ(top(), panel) << "raised when kept";
    overlay();
    EXPECT_TRUE(Maker::waitFor([&] {
        keeper.handleEvents();
        return top() == panel;
    }));
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(c, tooltip, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    clients.sync();
    EXPECT_TRUE(Maker::waitFor([&] {
        keeper.handleEvents();
        return top() == panel;
    })) << "a window raised above it";

    keeper.keepOnTop(0);
    const xcb_window_t menu = overlay();
    keeper.handleEvents();
    EXPECT_EQ(top(), menu) << "no longer kept";
}

} // namespace
