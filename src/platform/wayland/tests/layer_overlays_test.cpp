// Overlays as layer-shell surfaces on a real compositor (a headless sway of the test's own): where they show, what
// they draw, and that they go when hidden. Pixels are read back with grim.
#include "platform/wayland/layer_overlays.h"
#include "platform/wayland/screencopy_capture.h"
#include "platform/wayland/virtual_keyboard.h"
#include "platform/wayland/wayland_connection.h"
#include "ui/view/scene_graph.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QQuickItem>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <xkbcommon/xkbcommon-keysyms.h>

using namespace tillory;
using namespace tillory::platform::nix;
using tillory::platform::WindowInfo;
using tillory::platform::WindowList;

namespace {

QGuiApplication& app() {
    static int argc = 1;
    static char name[] = "layer_overlays_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* instance = [] {
        qputenv("QT_QPA_PLATFORM", "wayland");
        ui::preferSoftwareSceneGraph();
        return new QGuiApplication(argc, argv);
    }();
    return *instance;
}

template <class Predicate> bool spinUntil(Predicate done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

// The screen as the compositor shows it now.
QImage screenshot() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("shot.png"));
    QProcess grim;
    grim.start(QStringLiteral("grim"), {file});
    spinUntil([&] { return grim.state() == QProcess::NotRunning; }, 10000);
    return QImage(file);
}

class LayerOverlaysTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            GTEST_SKIP() << "needs a Wayland compositor (run inside tests/wayland/sway-session.sh)";
        }
        if (QStandardPaths::findExecutable(QStringLiteral("grim")).isEmpty()) {
            GTEST_SKIP() << "needs grim";
        }
        app();
        connection_ = WaylandConnection::open();
        ASSERT_TRUE(connection_);
        overlays_ = LayerOverlays::create(*connection_);
        ASSERT_TRUE(overlays_);
    }

    std::unique_ptr<ui::OverlaySurface> probe(const QRect& geometry) {
        auto surface = overlays_->create(ui::OverlayRole{QStringLiteral("probe"), false, false, {}});
        EXPECT_TRUE(surface);
        surface->view().setResizeMode(QQuickView::SizeRootObjectToView);
        surface->view().setColor(Qt::transparent);
        surface->view().setSource(QUrl::fromLocalFile(QStringLiteral(TILLORY_PROBE_QML)));
        EXPECT_EQ(surface->view().status(), QQuickView::Ready);
        surface->setGeometry(geometry);
        return surface;
    }

    std::unique_ptr<WaylandConnection> connection_;
    std::unique_ptr<LayerOverlays> overlays_;
};

TEST_F(LayerOverlaysTest, ShowsWhereItIsPlacedAndGoesWhenHidden) {
    const QRect geometry(100, 80, 200, 100);
    auto surface = probe(geometry);
    int frames = 0;
    QObject::connect(&surface->view(), &QQuickWindow::frameSwapped, [&] { ++frames; });
    surface->show();
    ASSERT_TRUE(spinUntil([&] { return frames > 0; }, 5000)) << "no picture reached the compositor";
    spinUntil([] { return false; }, 200);

    struct Probe {
        const char* what;
        QPoint at;
        QRgb expected;
    };
    const QImage shown = screenshot();
    ASSERT_FALSE(shown.isNull());
    const QRgb background = shown.pixel(20, 20);
    for (const Probe& p :
         {Probe{"left half is the inner blue", {150, 130}, qRgb(0, 0, 255)},
          Probe{"right half is red", {250, 130}, qRgb(255, 0, 0)},
          Probe{"top-left corner pixel", {100, 80}, qRgb(0, 0, 255)},
          Probe{"bottom-right corner pixel", {299, 179}, qRgb(255, 0, 0)},
          Probe{"just outside, right", {300, 130}, background}, Probe{"just outside, above", {250, 79}, background}}) {
        EXPECT_EQ(shown.pixel(p.at) & 0xffffff, p.expected & 0xffffff) << p.what;
    }

    surface->setGeometry(QRect(600, 300, 100, 50));
    spinUntil([] { return false; }, 400);
    const QImage moved = screenshot();
    EXPECT_EQ(moved.pixel(680, 320) & 0xffffff, qRgb(255, 0, 0) & 0xffffff) << "moved and resized";
    EXPECT_EQ(moved.pixel(250, 130) & 0xffffff, background & 0xffffff) << "gone from the old place";

    surface->hide();
    spinUntil([] { return false; }, 400);
    EXPECT_EQ(screenshot().pixel(680, 320) & 0xffffff, background & 0xffffff) << "hidden";
}

TEST_F(LayerOverlaysTest, PlacedOffEveryOutputItShowsNothingAndDrawsNothing) {
    auto surface = probe(QRect(-10000, -10000, 64, 64));
    int frames = 0;
    QObject::connect(&surface->view(), &QQuickWindow::frameSwapped, [&] { ++frames; });
    surface->show();
    spinUntil([] { return false; }, 500);
    EXPECT_TRUE(surface->isVisible());
    EXPECT_EQ(frames, 0);
}

TEST_F(LayerOverlaysTest, ALockingOverlayTakesEveryKeyAndTheCompositorsShortcutsStayQuiet) {
    // One keyboard for the test: the seat has none before it.
    std::unique_ptr<WaylandConnection> keysConnection = WaylandConnection::open();
    std::unique_ptr<VirtualKeyboard> keyboard = VirtualKeyboard::create(*keysConnection);
    ASSERT_TRUE(keyboard);
    keyboard->type(XKB_KEY_Shift_L, {}, true);
    keyboard->type(XKB_KEY_Shift_L, {}, false);
    spinUntil([] { return false; }, 300);

    std::vector<std::uint32_t> heard;
    overlays_->setKeyListener([&](const OverlayKey& key) {
        if (key.pressed) {
            heard.push_back(key.keysym);
        }
    });
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                          QFileDevice::WriteOther | QFileDevice::ExeOther);
    const QString fired = dir.filePath(QStringLiteral("fired"));
    QProcess::execute(QStringLiteral("swaymsg"), {QStringLiteral("bindsym Mod4+x exec touch %1").arg(fired)});

    auto lock = overlays_->create(ui::OverlayRole{QStringLiteral("lock"), true, false, {}, true});
    lock->view().setSource(QUrl::fromLocalFile(QStringLiteral(TILLORY_PROBE_QML)));
    lock->setGeometry(QRect(0, 0, 1280, 720));

    struct Row {
        const char* what;
        bool locked;
        bool heardByOverlay;
        bool shortcutFired;
    };
    for (const Row& row : {Row{"locked", true, true, false}, Row{"unlocked", false, false, true}}) {
        heard.clear();
        QFile::remove(fired);
        if (row.locked) {
            lock->show();
        } else {
            lock->hide();
        }
        spinUntil([] { return false; }, 500);
        keyboard->type(XKB_KEY_Super_L, {}, true);
        keyboard->type(XKB_KEY_x, {}, true);
        keyboard->type(XKB_KEY_x, {}, false);
        keyboard->type(XKB_KEY_Super_L, {}, false);
        keysConnection->roundtrip();
        spinUntil([] { return false; }, 700);
        EXPECT_EQ(std::count(heard.begin(), heard.end(), XKB_KEY_x) == 1, row.heardByOverlay) << row.what;
        EXPECT_EQ(QFile::exists(fired), row.shortcutFired) << row.what;
    }
}

class FakeWindows final : public WindowList {
public:
    std::vector<WindowInfo> list;
    std::vector<WindowInfo> windows(unsigned) override { return list; }
};

// While the switcher holds the keyboard it would be in a fresh copy of the screen: pictures come from the copy
// taken before, and only windows that stood in the same place then get one.
TEST_F(LayerOverlaysTest, PicturesFromAnEarlierCopyGoOnlyToWindowsThatStoodThere) {
    auto painted = probe(QRect(100, 80, 200, 100));
    int frames = 0;
    QObject::connect(&painted->view(), &QQuickWindow::frameSwapped, [&] { ++frames; });
    painted->show();
    ASSERT_TRUE(spinUntil([&] { return frames > 0; }, 5000));
    spinUntil([] { return false; }, 300);

    const WindowInfo there{1, 0, {}, {}, 0, 1.0, platform::Rect{100, 80, 200, 100}, true};
    FakeWindows windows;
    windows.list = {there};
    auto capture = ScreencopyCapture::create(*connection_, windows, *overlays_);
    ASSERT_TRUE(capture);
    const auto picture = [&](std::uint32_t window) {
        std::optional<std::optional<platform::Bitmap>> got;
        capture->capture({{window, 40, 20}}, [&](std::uint32_t, std::optional<platform::Bitmap> image) {
            got = std::move(image);
        });
        spinUntil([&] { return got.has_value(); }, 5000);
        return got.value_or(std::nullopt);
    };
    ASSERT_TRUE(picture(1).has_value()) << "a fresh copy";

    auto lock = overlays_->create(ui::OverlayRole{QStringLiteral("lock"), true, false, {}, false});
    lock->view().setSource(QUrl::fromLocalFile(QStringLiteral(TILLORY_PROBE_QML)));
    lock->setGeometry(QRect(900, 500, 100, 100));
    lock->show();
    ASSERT_TRUE(spinUntil([&] { return overlays_->keyboardOverlayShown(); }, 5000));
    const struct {
        const char* what;
        std::vector<WindowInfo> now;
        std::uint32_t window;
        bool pictured;
    } cases[] = {
        {"where it stood", {there}, 1, true},
        {"moved since", {WindowInfo{1, 0, {}, {}, 0, 1.0, platform::Rect{500, 300, 200, 100}, true}}, 1, false},
        {"new since", {there, WindowInfo{2, 0, {}, {}, 0, 1.0, platform::Rect{400, 80, 200, 100}, true}}, 2, false},
    };
    for (const auto& c : cases) {
        windows.list = c.now;
        const auto image = picture(c.window);
        EXPECT_EQ(image.has_value(), c.pictured) << c.what;
        if (image) {
            // The probe's blue left half, not the overlay that holds the keyboard.
            const QImage cut(reinterpret_cast<const uchar*>(image->pixels.constData()), image->width, image->height,
                             image->stride, QImage::Format_ARGB32_Premultiplied);
            EXPECT_EQ(cut.pixel(2, image->height / 2) & 0xffffff, qRgb(0, 0, 255) & 0xffffff) << c.what;
        }
    }
}

// Last: it changes the compositor's output for the rest of the session.
TEST_F(LayerOverlaysTest, OnAScaledOutputItDrawsAtTheOutputsPixelDensity) {
    struct ScaleBack {
        ~ScaleBack() { QProcess::execute(QStringLiteral("swaymsg"), {QStringLiteral("output * scale 1")}); }
    } scaleBack;
    ASSERT_EQ(QProcess::execute(QStringLiteral("swaymsg"), {QStringLiteral("output * scale 2")}), 0);
    connection_->roundtrip();
    spinUntil([] { return false; }, 300);
    auto surface = probe(QRect(100, 80, 200, 100));
    int frames = 0;
    QObject::connect(&surface->view(), &QQuickWindow::frameSwapped, [&] { ++frames; });
    surface->show();
    ASSERT_TRUE(spinUntil([&] { return frames > 0; }, 5000)) << "no picture reached the compositor";
    spinUntil([] { return false; }, 300);

    // Drawn at two pixels a point, into a buffer the compositor is told is twice the surface's size: either alone
    // would show the overlay at half or twice its size.
    EXPECT_EQ(surface->view().effectiveDevicePixelRatio(), 2.0);
    // The 640 × 360 point layout is 1280 × 720 pixels; the overlay's points (100, 80) to (300, 180).
    const QImage shown = screenshot();
    ASSERT_EQ(shown.size(), QSize(1280, 720));
    const QRgb background = shown.pixel(20, 20);
    const struct {
        const char* what;
        QPoint at;
        QRgb expected;
    } probes[] = {
        {"top-left pixel of the overlay", {200, 160}, qRgb(0, 0, 255)},
        {"the blue half ends at point 199", {399, 200}, qRgb(0, 0, 255)},
        {"the red half starts at point 200", {400, 200}, qRgb(255, 0, 0)},
        {"bottom-right pixel of the overlay", {599, 359}, qRgb(255, 0, 0)},
        {"just outside, right", {600, 300}, background},
        {"just outside, below", {300, 360}, background},
    };
    for (const auto& p : probes) {
        EXPECT_EQ(shown.pixel(p.at) & 0xffffff, p.expected & 0xffffff) << p.what;
    }
}

} // namespace
