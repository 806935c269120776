// The switcher as a user sees it: rendered offscreen from a real engine over the simulated desktop, with painted
// window pictures and application icons.
#include "core/manual_scheduler.h"
#include "core/settings.h"
#include "keyhub/key_event_hub.h"
#include "platform/sim/sim_desktop.h"
#include "switcher/view/quick_switcher_panel.h"
#include "switcher/view/switcher_images.h"
#include "switcher/view/switcher_tile_model.h"
#include "switcher/window_switcher_engine.h"
#include "ui/view/screen_space.h"
#include "ui/view/tests/painted_pictures.h"
#include "ui/view/tests/view_test_support.h"

#include <QPainter>
#include <QPointer>
#include <QTest>

#include <functional>

namespace tillory::switcher {
namespace {

using namespace ui::testing;
using platform::Bitmap;
using platform::EventFlags::Command;
using platform::EventFlags::Shift;
namespace KeyCode = platform::KeyCode;

const auto* environment = ::testing::AddGlobalTestEnvironment(new OffscreenApp);

/// Captures that wait for `finish`, each a painted window in its application's colour.
class PaintedCapture final : public platform::WindowCapture {
public:
    explicit PaintedCapture(core::Scheduler& scheduler) : scheduler_(scheduler) {}
    bool capture(std::vector<platform::CaptureRequest> requests, Delivery deliver) override {
        if (!allowed) {
            return false;
        }
        for (const auto& request : requests) {
            pending_.push_back({request, deliver});
        }
        return true;
    }
    void finish() {
        for (auto& [request, deliver] : pending_) {
            const auto& [accent, dark] = looks.at(request.window);
            Bitmap image = toBitmap(windowPicture(QSize(request.width, request.height), accent, dark));
            scheduler_.post([deliver, id = request.window, image] { deliver(id, image); });
        }
        pending_.clear();
    }
    bool allowed = true;
    std::map<std::uint32_t, std::pair<QColor, bool>> looks;

private:
    core::Scheduler& scheduler_;
    std::vector<std::pair<platform::CaptureRequest, Delivery>> pending_;
};

struct AppLook {
    const char* name;
    QColor color;
    bool dark;
};
const AppLook kApps[] = {
    {"Files", QColor(0x3b, 0x82, 0xf6), false},    {"Terminal", QColor(0x22, 0xc5, 0x5e), true},
    {"Editor", QColor(0x8b, 0x5c, 0xf6), true},    {"Browser", QColor(0xf9, 0x73, 0x16), false},
    {"Mail", QColor(0x0e, 0xa5, 0xe9), false},     {"Music", QColor(0xec, 0x48, 0x99), true},
    {"Calendar", QColor(0xef, 0x44, 0x44), false}, {"Notes", QColor(0xea, 0xb3, 0x08), false},
};
const std::pair<int, const char*> kWindows[] = {
    {2, "main.cpp — tillory"},
    {3, "Release notes — Browser"},
    {1, "~/src/tillory — bash"},
    {0, "Downloads"},
    {4, "Inbox (3)"},
    {5, "Evening playlist"},
    {2, "switcher_view_test.cpp"},
    {6, "Week 14"},
    {7, "Shopping list"},
    {3, "Qt Quick documentation"},
    {1, "htop"},
    {0, "Pictures"},
};

class SwitcherViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.grantAccessibility();
        sim.setScreenCaptureAllowed(true);
        std::vector<std::int32_t> pids;
        for (const AppLook& app : kApps) {
            pids.push_back(sim.launchApp(QStringLiteral("org.example.") + QString::fromUtf8(app.name),
                                         QString::fromUtf8(app.name)));
            sim.setAppIcon(pids.back(), iconPicture(app.color, QChar::fromLatin1(app.name[0])));
        }
        // Opened last to first, so that front to back (the order without any recency) is the list's order.
        for (auto it = std::rbegin(kWindows); it != std::rend(kWindows); ++it) {
            const auto pid = pids[static_cast<std::size_t>(it->first)];
            const std::uint32_t id = sim.openWindow(pid, QString::fromUtf8(it->second), {40, 40, 1200, 760});
            capture.looks[id] = {kApps[it->first].color, kApps[it->first].dark};
            windowPids.insert(windowPids.begin(), pid);
        }
        platform.windowCapture = &capture;
    }
    void TearDown() override {
        engine.reset();
        pump(50);
        // Without an event loop running, the view's deleteLater()s would wait for one that never comes.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void make(platform::Size display = {1440, 900}) {
        sim.setScreens({{platform::Rect{0, 0, display.width, display.height},
                         platform::Rect{0, 0, display.width, display.height - 25}}});
        sim.setMouseLocation({display.width / 2, display.height / 2});
        engine = std::make_unique<WindowSwitcherEngine>(platform, hub, settings, scheduler, &panels);
        panels.setEngine(engine.get());
        engine->enable();
        pump(50);
    }

    QQuickWindow* open(bool forward = true, bool withPictures = true) {
        sim.changeFlags(forward ? Command : Command | Shift);
        sim.pressKey(KeyCode::Tab, forward ? Command : Command | Shift);
        if (withPictures) {
            capture.finish();
            scheduler.advance(0.01);
        }
        const auto windows = quickWindows();
        return windows.empty() ? nullptr : windows.back();
    }

    /// Tile `index`'s top left in the window (the window is the card).
    QPoint tileAt(int index) const {
        const auto place =
            SwitcherTileModel::place(index, static_cast<int>(engine->windows().size()), engine->layout());
        return place.origin.toPoint();
    }
    static int brightness(QRgb pixel) { return qRed(pixel) + qGreen(pixel) + qBlue(pixel); }

    core::ManualScheduler scheduler;
    platform::sim::SimDesktop sim{scheduler};
    platform::Platform platform = sim.platform();
    PaintedCapture capture{scheduler};
    core::MemorySettings settings;
    keyhub::KeyEventHub hub{*platform.eventTaps, *platform.accessibility, scheduler};
    QuickSwitcherPanelFactory panels;
    std::unique_ptr<WindowSwitcherEngine> engine;
    std::vector<std::int32_t> windowPids;
};

TEST_F(SwitcherViewTest, ShowsEveryWindowWithItsTitlePreviewAndTheSecondHighlighted) {
    make();
    QQuickWindow* window = open();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(engine->isActive());
    // Seven tiles of 190 with gaps of 6 and padding 12: 1,390 wide; two rows of 144.
    EXPECT_EQ(window->size(), QSize(1390, 12 + 144 + 6 + 144 + 12));
    EXPECT_EQ(window->geometry().center(), ui::toWindowGeometry({0, 0, 1440, 900}).center());
    const QImage image = snapshot(window, QStringLiteral("switcher"));
    const QStringList shown = texts(window->contentItem());
    for (const auto& [app, title] : kWindows) {
        EXPECT_TRUE(shown.contains(QString::fromUtf8(title))) << title;
    }
    EXPECT_FALSE(shown.contains(QStringLiteral("Enable Screen Recording in System Settings to see window previews")));
    // The highlight is on the second tile; the first shows its painted window (the accent block).
    const QPoint below(20, 141);
    EXPECT_GT(brightness(image.pixel(tileAt(1) + below)), brightness(image.pixel(tileAt(0) + below)) + 40);
    const QRgb accent = image.pixel(tileAt(0) + QPoint(6 + 89, 6 + 30));
    EXPECT_GT(qBlue(accent), qRed(accent) + 60) << Qt::hex << accent;
}

TEST_F(SwitcherViewTest, TitlesThatLookLikeMarkupAreShownAsTheyAreAndLoadNothing) {
    CountingServer server;
    const QStringList titles = markupTexts(server);
    for (const QString& title : titles) {
        const std::uint32_t id = sim.openWindow(windowPids[0], title, {40, 40, 1200, 760});
        capture.looks[id] = {kApps[0].color, kApps[0].dark};
    }
    make();
    QQuickWindow* window = open();
    ASSERT_NE(window, nullptr);
    pump(300);
    for (const QString& title : titles) {
        EXPECT_EQ(shownLiterally(window->contentItem(), title), 1) << title.toStdString();
    }
    EXPECT_EQ(server.connections, 0);
}

TEST_F(SwitcherViewTest, NarrowOrLowDisplaysShowFewerColumnsAndKeepTheHighlightInView) {
    struct Case {
        const char* name;
        platform::Size display;
        bool forward;
        QSize card;
        QStringList shows, hides;
    };
    const QString first = QString::fromUtf8(kWindows[0].second), last = QString::fromUtf8(kWindows[11].second);
    const Case cases[] = {
        {"switcher-1280", {1280, 800}, true, {6 * 190 + 5 * 6 + 24, 2 * 144 + 6 + 24}, {first, last}, {}},
        {"switcher-1280-low", {1280, 340}, false, {6 * 190 + 5 * 6 + 24, 144 + 24}, {last}, {first}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        make(c.display);
        QQuickWindow* window = open(c.forward);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->size(), c.card);
        snapshot(window, QString::fromUtf8(c.name));
        const QStringList shown = texts(window->contentItem());
        for (const QString& title : c.shows) {
            EXPECT_TRUE(shown.contains(title)) << title.toStdString();
        }
        for (const QString& title : c.hides) {
            EXPECT_FALSE(shown.contains(title)) << title.toStdString();
        }
        sim.pressKey(KeyCode::Escape, Command);
        engine.reset();
    }
}

TEST_F(SwitcherViewTest, WithoutScreenRecordingTheHintShowsAndTilesShowIcons) {
    sim.setScreenCaptureAllowed(false);
    capture.allowed = false;
    make();
    QQuickWindow* window = open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->height(), 12 + 144 + 6 + 144 + 8 + 16 + 12);
    const QImage image = snapshot(window, QStringLiteral("switcher-no-previews"));
    EXPECT_TRUE(texts(window->contentItem())
                    .contains(QStringLiteral("Enable Screen Recording in System Settings to see window previews")));
    // The Files icon (blue) in the middle of the first tile's box.
    const QRgb icon = image.pixel(tileAt(3) + QPoint(6 + 89 - 10, 6 + 55 - 10));
    EXPECT_GT(qBlue(icon), qRed(icon) + 60) << Qt::hex << icon;
}

TEST_F(SwitcherViewTest, AWindowWithoutPictureOrIconShowsAPlainWindowOutline) {
    sim.setScreenCaptureAllowed(false);
    capture.allowed = false;
    const std::int32_t plain = sim.launchApp(QStringLiteral("org.example.Plain"), QStringLiteral("Plain"));
    sim.openWindow(plain, QStringLiteral("xlogo"), {40, 40, 300, 300});
    make();
    QQuickWindow* window = open();
    ASSERT_NE(window, nullptr);
    const QImage image = snapshot(window, QStringLiteral("switcher-generic-icon"));
    // Tile 0 is the plain window (front most), tile 4 has an icon. The box's centre column, from the outline's
    // title bar down to its lower edge, shows something brighter than the empty well in both.
    const auto brightest = [&](int tile) {
        int most = 0;
        for (int y = 6 + 55 - 15; y <= 6 + 55 + 15; ++y) {
            most = std::max(most, brightness(image.pixel(tileAt(tile) + QPoint(6 + 89, y))));
        }
        return most;
    };
    const int well = brightness(image.pixel(tileAt(0) + QPoint(6 + 30, 6 + 55)));
    EXPECT_GT(brightest(0), well + 100);
    EXPECT_GT(brightest(4), well + 100);
}

TEST_F(SwitcherViewTest, RowsCutOffAboveOrBelowShowAChevronThere) {
    struct Case {
        const char* name;
        bool forward;
        bool previews;
        bool above, below;
    };
    // 1280 × 500 holds two rows of six: the twelve windows fit; with eleven more, rows are cut off.
    for (int i = 0; i < 11; ++i) {
        const std::uint32_t id = sim.openWindow(windowPids[0], QStringLiteral("Extra %1").arg(i), {40, 40, 1200, 760});
        capture.looks[id] = {kApps[0].color, kApps[0].dark};
    }
    const Case cases[] = {
        {"switcher-more-below", true, true, false, true},
        {"switcher-more-above", false, true, true, false},
        {"switcher-more-below-hint", true, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim.setScreenCaptureAllowed(c.previews);
        capture.allowed = c.previews;
        make({1280, 500});
        QQuickWindow* window = open(c.forward);
        ASSERT_NE(window, nullptr);
        const QImage image = snapshot(window, QString::fromUtf8(c.name));
        const int middle = window->width() / 2;
        // The chevron's point: in the top margin, or in the margin under the last row shown (above the hint).
        const QRgb top = image.pixel(middle, 4);
        const QRgb bottom = image.pixel(middle, window->height() - 12 - (c.previews ? 0 : 8 + 16) - 3 + 9);
        EXPECT_EQ(brightness(top) > 300, c.above) << Qt::hex << top;
        EXPECT_EQ(brightness(bottom) > 300, c.below) << Qt::hex << bottom;
        sim.pressKey(KeyCode::Escape, Command);
        engine.reset();
    }
}

TEST_F(SwitcherViewTest, CardIsLightOrDarkAsTheDesktopSaysAtEachSessionAndItsTextReads) {
    sim.setScreenCaptureAllowed(false); // the hint shows too
    capture.allowed = false;
    bool desktopDark = false;
    panels.setDark([&desktopDark] { return desktopDark; });
    make();
    // One panel, made once: light, then dark, then light again.
    const struct {
        bool dark;
        const char* name;
    } cases[] = {{false, "switcher-light"}, {true, "switcher-dark"}, {false, "switcher-light-again"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        desktopDark = c.dark;
        QQuickWindow* window = open();
        ASSERT_NE(window, nullptr);
        const QList<QQuickItem*> titles = itemsNamed(window->contentItem(), QStringLiteral("title"));
        const QQuickItem* hint = itemNamed(window->contentItem(), QStringLiteral("hintText"));
        ASSERT_GE(titles.size(), 2);
        ASSERT_NE(hint, nullptr);
        for (const QColor desktop : {QColor(Qt::white), QColor(Qt::black)}) {
            const QImage image = snapshotOver(window, desktop, QString::fromUtf8(c.name));
            const double glass = luminance(besideItem(image, titles[0]));
            EXPECT_TRUE(c.dark ? glass < 0.1 : glass > 0.6) << glass;
            EXPECT_GE(textContrast(image, titles[0]), 4.5) << "a plain tile";
            EXPECT_GE(textContrast(image, titles[1]), 4.5) << "the highlighted tile";
            EXPECT_GE(textContrast(image, hint), 3.0);
        }
        window->setColor(Qt::transparent);
        sim.pressKey(KeyCode::Escape, Command);
        sim.changeFlags(0);
    }
}

TEST_F(SwitcherViewTest, PanelIsMadeAtTheFirstSessionAndPicturesArriveIntoTheOpenPanel) {
    make();
    EXPECT_FALSE(engine->hasPanel());
    QQuickWindow* window = open(true, false);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->flags().testFlags(Qt::BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus |
                                          Qt::WindowStaysOnTopHint));
    const QPoint preview = tileAt(0) + QPoint(6 + 89, 6 + 30);
    // No capture yet: the Editor icon (violet) stands in the box, not the painted window.
    EXPECT_EQ(window->grabWindow().pixel(preview), snapshot(window, QStringLiteral("switcher-before")).pixel(preview));
    const QRgb before = window->grabWindow().pixel(preview);
    capture.finish();
    scheduler.advance(0.01);
    pump(30);
    const QRgb after = window->grabWindow().pixel(preview);
    EXPECT_NE(after, before);
    EXPECT_GT(qBlue(after), qGreen(after) + 60) << Qt::hex << after; // the Editor's violet block

    // The next session shows the kept capture before any new one lands, in the same window.
    sim.pressKey(KeyCode::Escape, Command);
    EXPECT_FALSE(window->isVisible());
    ASSERT_EQ(open(true, false), window);
    pump(30);
    EXPECT_EQ(window->grabWindow().pixel(preview), after);
}

TEST_F(SwitcherViewTest, HoverLightsATileAndAClickSwitchesToIt) {
    make();
    QQuickWindow* window = open();
    ASSERT_NE(window, nullptr);
    const QPoint below(20, 141);
    const QRgb plain = window->grabWindow().pixel(tileAt(3) + below);
    QTest::mouseMove(window, tileAt(3) + QPoint(95, 60));
    pump(30);
    const QRgb hovered = window->grabWindow().pixel(tileAt(3) + below);
    EXPECT_GT(brightness(hovered), brightness(plain) + 15);
    EXPECT_LT(brightness(hovered), brightness(window->grabWindow().pixel(tileAt(1) + below)));

    QTest::mouseClick(window, Qt::LeftButton, {}, tileAt(3) + QPoint(95, 60));
    pump(30);
    EXPECT_FALSE(engine->isActive());
    EXPECT_FALSE(window->isVisible());
    ASSERT_FALSE(sim.activationRequests().empty());
    EXPECT_EQ(sim.activationRequests().back(), windowPids[3]);
}

TEST_F(SwitcherViewTest, ALaterSessionFillsInTheSameTilesWithOnlyItsOwnWindows) {
    make();
    ASSERT_NE(open(), nullptr);
    std::vector<std::uint32_t> ids;
    for (const SwitcherWindow& w : engine->windows()) {
        ids.push_back(w.id);
    }
    QList<QPointer<QQuickItem>> tiles;
    const std::function<void(QQuickItem*)> collect = [&](QQuickItem* item) {
        if (item->objectName() == QLatin1String("title")) {
            tiles << item;
        }
        for (QQuickItem* child : item->childItems()) {
            collect(child);
        }
    };
    collect(quickWindows().back()->contentItem());
    sim.pressKey(KeyCode::Escape, Command);
    sim.changeFlags(0);
    sim.closeWindow(ids[0]);
    sim.closeWindow(ids[1]);
    QQuickWindow* window = open();
    ASSERT_NE(window, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList titles;
    for (std::size_t i = 2; i < std::size(kWindows); ++i) {
        titles << QString::fromUtf8(kWindows[i].second);
    }
    EXPECT_EQ(texts(window->contentItem()), titles);
    EXPECT_EQ(std::count_if(tiles.begin(), tiles.end(), [](const auto& tile) { return !tile.isNull(); }), 10)
        << "every tile made again";
}

TEST(SwitcherTileModel, PlacesRowsCentredAndPicturesFitTheirBox) {
    struct Place {
        int count, index;
        double x, y;
    };
    // On a 1440 × 900 display: seven columns, 190 + 6 per tile, rows centred in a 1,366-wide grid.
    const Place places[] = {
        {9, 6, 12 + 6 * 196, 12}, {9, 7, 502, 162},   {9, 8, 698, 162},
        {14, 13, 1188, 162},      {15, 14, 600, 312}, {3, 2, 12 + 2 * 196, 12},
    };
    for (const Place& p : places) {
        const SwitcherLayout layout = SwitcherLayout::make(p.count, 0, {1440, 900}, false, 0);
        const auto place = SwitcherTileModel::place(p.index, p.count, layout);
        EXPECT_EQ(place.origin, QPointF(p.x, p.y)) << p.count << " " << p.index;
        EXPECT_TRUE(place.shown);
    }
    // Springs of 0.16 s and 0.12 s at damping 0.85.
    EXPECT_NEAR(SwitcherTileModel::settleSeconds(0.16, 0.85), 0.120, 0.001);
    EXPECT_NEAR(SwitcherTileModel::settleSeconds(0.12, 0.85), 0.090, 0.001);

    struct Fit {
        Bitmap bitmap;
        QSize bounds, size;
    };
    Bitmap padded{2, 1, 16, QByteArray(16, '\0')};
    padded.pixels[4] = '\xff'; // the second pixel is blue; the padding after it must not be read as pixels
    padded.pixels[7] = '\xff';
    const Fit fits[] = {
        {Bitmap{400, 200, 1600, QByteArray(1600 * 200, '\x40')}, {172, 105}, {172, 86}},
        {Bitmap{20, 20, 80, QByteArray(80 * 20, '\x40')}, {172, 105}, {20, 20}},
        {Bitmap{20, 20, 80, QByteArray(80 * 19, '\x40')}, {172, 105}, {}},
        {padded, {}, {2, 1}},
    };
    for (const Fit& f : fits) {
        const QImage image = toImage(f.bitmap, f.bounds);
        EXPECT_EQ(image.isNull() ? QSize() : image.size(), f.size);
    }
    EXPECT_EQ(toImage(padded).pixel(1, 0), qRgba(0, 0, 0xff, 0xff));
}

} // namespace
} // namespace tillory::switcher
