// The snap views as a user sees them: rendered offscreen from a real controller over the simulated desktop, on a
// 1440 × 900 display with a 25-point menu bar, with painted window pictures and application icons.
#include "core/manual_scheduler.h"
#include "keyhub/key_event_hub.h"
#include "platform/sim/sim_desktop.h"
#include "snap/snap_controller.h"
#include "snap/view/quick_snap_panel.h"
#include "snap/view/snap_images.h"
#include "snap/view/snap_view_layout.h"
#include "ui/view/tests/painted_pictures.h"
#include "ui/view/tests/view_test_support.h"

#include <QScreen>
#include <QTest>

namespace tillory::snap {
namespace {

using namespace ui::testing;
using platform::Event;
using platform::EventType;

const auto* environment =
    ::testing::AddGlobalTestEnvironment(new OffscreenApp("offscreen:configfile=" TILLORY_SNAP_VIEW_SCREEN));

constexpr std::int32_t kOwnPid = 1;

/// Captures painted as windows in their application's colour, delivered through the scheduler.
class PaintedCapture final : public platform::WindowCapture {
public:
    explicit PaintedCapture(core::Scheduler& scheduler) : scheduler_(scheduler) {}
    bool capture(std::vector<platform::CaptureRequest> requests, Delivery deliver) override {
        for (const auto& r : requests) {
            const auto image = toBitmap(windowPicture(QSize(r.width, r.height), looks.at(r.window), false));
            scheduler_.post([deliver, id = r.window, image] { deliver(id, image); });
        }
        return true;
    }
    std::map<std::uint32_t, QColor> looks;

private:
    core::Scheduler& scheduler_;
};

struct AppLook {
    const char* name;
    const char* title;
    QColor color;
};
// The editor's window is the one snapped; the others are offered in this order (front to back).
const AppLook kApps[] = {
    {"Editor", "main.cpp — tillory", QColor(0x8b, 0x5c, 0xf6)},
    {"Files", "Downloads", QColor(0x3b, 0x82, 0xf6)},
    {"Terminal", "~/src/tillory — bash", QColor(0x22, 0xc5, 0x5e)},
    {"Browser", "Release notes", QColor(0xf9, 0x73, 0x16)},
    {"Mail", "Inbox (3)", QColor(0xec, 0x48, 0x99)},
};

/// What the tests put behind the panel's clear pixels, as a compositing manager shows the desktop through them.
const QColor kDesktop(0xa0, 0xa0, 0xa0);
const QColor kAccent(0x3a, 0x7b, 0xd5);

int brightness(QRgb p) {
    return qRed(p) + qGreen(p) + qBlue(p);
}
/// The brightest pixel in `area` (points).
int brightest(const QImage& image, QRectF area) {
    const double r = image.devicePixelRatio();
    int most = 0;
    for (int y = int(area.top() * r); y < int(area.bottom() * r); ++y) {
        for (int x = int(area.left() * r); x < int(area.right() * r); ++x) {
            most = std::max(most, brightness(image.pixel(x, y)));
        }
    }
    return most;
}
/// `p` is `color` at `opacity` over the desktop, within `tolerance` in each channel.
::testing::AssertionResult over(QRgb p, QColor color, double opacity, int tolerance = 3) {
    const auto blend = [opacity](int c, int d) { return int(std::lround(c * opacity + d * (1 - opacity))); };
    const QColor want(blend(color.red(), kDesktop.red()), blend(color.green(), kDesktop.green()),
                      blend(color.blue(), kDesktop.blue()));
    if (std::abs(qRed(p) - want.red()) <= tolerance && std::abs(qGreen(p) - want.green()) <= tolerance &&
        std::abs(qBlue(p) - want.blue()) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << QColor(p).name().toStdString() << " is not " << want.name().toStdString();
}
/// Blue well above red: the accent colour, or the Files window's picture.
bool bluish(QRgb p) {
    return qBlue(p) > qRed(p) + 60;
}

class SnapViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QRect display = QGuiApplication::primaryScreen()->geometry();
        const double w = display.width(), h = display.height();
        sim.setScreens({{{0, 0, w, h}, {0, 0, w, h - 25}}});
        sim.grantAccessibility();
        sim.setScreenCaptureAllowed(true);
        platform.windowCapture = &capture;
        for (auto it = std::rbegin(kApps); it != std::rend(kApps); ++it) {
            const auto pid = sim.launchApp(QStringLiteral("org.example.") + QString::fromUtf8(it->name),
                                           QString::fromUtf8(it->name));
            sim.setAppIcon(pid, iconPicture(it->color, QChar::fromLatin1(it->name[0])));
            windows.insert(windows.begin(), sim.openWindow(pid, QString::fromUtf8(it->title), {100, 100, 1200, 800}));
            pids.insert(pids.begin(), pid);
            capture.looks[windows.front()] = it->color;
        }
        sim.activate(pids[0]);
    }
    void TearDown() override {
        snap.reset();
        pump(50);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void make(bool translucent = true) {
        snap = std::make_unique<SnapController>(platform, hub, scheduler, &panels, kOwnPid);
        panels.setController(snap.get());
        panels.setKeyNames(platform::KeyNames::pc());
        panels.setTranslucency([translucent] { return translucent; });
        snap->enable();
    }
    /// The picker, then zone `zone` of layout `layout` from it: Snap Assist with the pictures in.
    void assist(int layout, int zone) {
        snap->open();
        snap->commitZone(layout, zone);
        scheduler.runPosted();
    }
    void mouse(EventType type, platform::Point p) {
        Event e;
        e.type = type;
        e.location = p;
        e.clickState = 1;
        sim.inject(e);
    }
    /// Presses on the editor's title and drags it so that the pointer ends at `to`.
    void drag(platform::Point to) {
        mouse(EventType::LeftMouseDown, {600, 110});
        moveTo({600, 110}, to);
    }
    /// Drags on from `from` to `to` in steps, the editor's window following the pointer.
    void moveTo(platform::Point from, platform::Point to) {
        const platform::Rect start = sim.window(windows[0])->bounds;
        for (int i = 1; i <= 4; ++i) {
            const platform::Point p{from.x + (to.x - from.x) * i / 4, from.y + (to.y - from.y) * i / 4};
            sim.setWindowBounds(windows[0],
                                {start.x + p.x - from.x, start.y + p.y - from.y, start.width, start.height});
            mouse(EventType::LeftMouseDragged, p);
        }
    }
    static QQuickWindow* panel() {
        const auto shown = quickWindows();
        return shown.empty() ? nullptr : shown.back();
    }
    /// The items named `name` under the panel, in tree order.
    static std::vector<QQuickItem*> items(const QString& name, QQuickItem* root = nullptr) {
        std::vector<QQuickItem*> found;
        root = root ? root : panel()->contentItem();
        if (root->isVisible() && root->objectName() == name) {
            found.push_back(root);
        }
        for (QQuickItem* child : root->childItems()) {
            const auto more = items(name, child);
            found.insert(found.end(), more.begin(), more.end());
        }
        return found;
    }
    static QRectF place(const QQuickItem* item) {
        return item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
    }
    /// The pixel at `p` (points) of a picture taken at any pixel density.
    static QRgb at(const QImage& image, QPointF p) {
        const double r = image.devicePixelRatio();
        return image.pixel(int(p.x() * r), int(p.y() * r));
    }
    /// The panel over the desktop, saved as `name`.png once its animations have settled.
    static QImage shot(QQuickWindow* window, const QString& name) {
        window->setColor(kDesktop);
        QImage image = snapshot(window, name);
        image.setDevicePixelRatio(window->devicePixelRatio()); // the grab comes in pixels without saying so
        return image;
    }
    static void click(QPointF p) {
        QTest::mouseClick(panel(), Qt::LeftButton, {}, p.toPoint());
        pump(30);
    }

    core::ManualScheduler scheduler;
    platform::sim::SimDesktop sim{scheduler};
    platform::Platform platform = sim.platform();
    PaintedCapture capture{scheduler};
    keyhub::KeyEventHub hub{*platform.eventTaps, *platform.accessibility, scheduler};
    QuickSnapPanelFactory panels;
    std::unique_ptr<SnapController> snap;
    std::vector<std::int32_t> pids;
    std::vector<std::uint32_t> windows;
};

TEST_F(SnapViewTest, PickerShowsEveryLayoutOnACentredCardOverTheDimmedDisplay) {
    make();
    snap->open();
    QQuickWindow* window = panel();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->geometry(), QRect(0, 0, 1440, 900));
    EXPECT_TRUE(window->flags().testFlags(Qt::BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus));
    EXPECT_FALSE(window->flags().testFlag(Qt::WindowTransparentForInput));
    const QImage image = shot(window, QStringLiteral("snap-picker"));
    EXPECT_EQ(texts(window->contentItem()),
              (QStringList{"Snap Layouts", "Click a zone, or Ctrl+Alt + arrows to snap halves"}));
    const QRectF card = place(items(QStringLiteral("card")).at(0));
    EXPECT_EQ(card, QRectF(291, 350, 858, 200));
    const auto cards = items(QStringLiteral("layoutCard"));
    ASSERT_EQ(cards.size(), 5u);
    EXPECT_EQ(place(cards[0]), QRectF(313, 406, 150, 94));
    EXPECT_EQ(place(cards[4]), QRectF(313 + 4 * 166, 406, 150, 94));
    EXPECT_EQ(place(items(QStringLiteral("hint")).at(0)).bottom(), card.bottom() - 22);
    // Black at 18 % over the display; zone 0 of the first card lit, the first zone of the second not.
    EXPECT_TRUE(over(at(image, {5, 5}), Qt::black, 0.18));
    EXPECT_TRUE(bluish(at(image, place(cards[0]).topLeft() + QPointF(40, 47))));
    EXPECT_FALSE(bluish(at(image, place(cards[1]).topLeft() + QPointF(40, 47))));
}

TEST_F(SnapViewTest, PickerLightsOneZoneWhicheverOfKeysAndPointerMovedLast) {
    make();
    snap->open();
    ASSERT_NE(panel(), nullptr);
    pump(300);
    const auto cards = items(QStringLiteral("layoutCard"));
    ASSERT_EQ(cards.size(), 5u);
    const auto lit = [&cards] {
        std::vector<std::pair<int, int>> on; // card, zone
        for (std::size_t c = 0; c < cards.size(); ++c) {
            for (const QQuickItem* zone : items(QStringLiteral("zone"), cards[c])) {
                if (zone->property("lit").toBool()) {
                    on.emplace_back(int(c), zone->property("index").toInt());
                }
            }
        }
        return on;
    };
    using Lit = std::vector<std::pair<int, int>>;
    EXPECT_EQ(lit(), (Lit{{0, 0}}));
    QTest::mouseMove(panel(), place(items(QStringLiteral("zone"), cards[2]).at(1)).center().toPoint());
    pump(30);
    EXPECT_EQ(lit(), (Lit{{2, 1}})) << "the pointer's zone, not the keyboard's as well";
    sim.pressKey(platform::KeyCode::RightArrow, 0);
    pump(30);
    EXPECT_EQ(lit(), (Lit{{2, 2}})) << "the keys go on from there";
}

TEST_F(SnapViewTest, ClicksCommitAZoneFillTheHighlightedZoneOrCancel) {
    make();
    snap->open();
    ASSERT_NE(panel(), nullptr);
    pump(300); // the card has grown to its size
    // The title is on the card: nothing happens.
    click(place(items(QStringLiteral("card")).at(0)).topLeft() + QPointF(429, 30));
    EXPECT_TRUE(snap->isActive());
    // The right zone of "Halves": the editor takes the right half and Snap Assist offers the others.
    click(place(items(QStringLiteral("layoutCard")).at(0)).topLeft() + QPointF(110, 47));
    EXPECT_EQ(sim.window(windows[0])->bounds, (platform::Rect{720, 25, 720, 875}));
    ASSERT_EQ(snap->mode(), SnapController::Mode::Assist);
    const auto tiles = items(QStringLiteral("tile"));
    ASSERT_EQ(tiles.size(), 4u);
    // The tile under the mouse grows by 4 %.
    QTest::mouseMove(panel(), place(tiles[2]).center().toPoint());
    shot(panel(), QStringLiteral("snap-assist-hover"));
    EXPECT_DOUBLE_EQ(tiles[2]->property("grow").toDouble(), 1.04);
    EXPECT_DOUBLE_EQ(tiles[1]->property("grow").toDouble(), 1);
    click(place(tiles[2]).center());
    EXPECT_EQ(sim.window(windows[3])->bounds, (platform::Rect{0, 25, 720, 875}));
    EXPECT_FALSE(snap->isActive()) << "every zone filled";
    EXPECT_EQ(panel(), nullptr);
    // A click on the dimmed display closes the picker.
    snap->open();
    click({20, 20});
    EXPECT_FALSE(snap->isActive());
    EXPECT_EQ(panel(), nullptr);
}

TEST_F(SnapViewTest, AssistShowsTheLayoutWithTicksAndTheOtherWindows) {
    struct Case {
        const char* name;
        bool pictures;
        int others; // windows left open besides the editor's
        QRectF card;
        QPointF probe; // in tile 0: the Files window's blue block, or the middle of its blue icon
    };
    const Case cases[] = {
        {"snap-assist", true, 4, {416, 268, 4 * 132 + 3 * 12 + 44, 364}, {80, 30}},
        {"snap-assist-icons", false, 4, {416, 268, 608, 364}, {53, 32}},
        {"snap-assist-empty", true, 0, {518, 266, 404, 368}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        sim.setScreenCaptureAllowed(c.pictures);
        for (std::size_t i = 1 + c.others; i < windows.size(); ++i) {
            sim.closeWindow(windows[i]);
        }
        make();
        assist(4, 3); // "Grid" from its bottom-right zone: zone 0 is next
        QQuickWindow* window = panel();
        ASSERT_NE(window, nullptr);
        const QImage image = shot(window, QString::fromUtf8(c.name));
        const QStringList shown = texts(window->contentItem());
        EXPECT_EQ(shown.front(), QStringLiteral("Snap Assist"));
        EXPECT_EQ(shown.back(), QStringLiteral("Pick a window to fill the highlighted zone"));
        EXPECT_EQ(shown.contains(QStringLiteral("No other windows to place")), c.others == 0);
        EXPECT_EQ(shown.contains(QStringLiteral("Release notes")), c.others > 0);
        const QRectF card = place(items(QStringLiteral("card")).at(0));
        EXPECT_EQ(card, c.card);
        EXPECT_EQ(place(items(QStringLiteral("hint")).at(0)).bottom(), card.bottom() - 22);
        // The 220 × 138 card: zone 0 lit, zone 3 ticked (a white check over the faint accent), zone 1 plain.
        const QRectF layout = place(items(QStringLiteral("assistCard")).at(0));
        EXPECT_EQ(layout.size(), QSizeF(220, 138));
        EXPECT_TRUE(bluish(at(image, layout.topLeft() + QPointF(30, 20))));
        EXPECT_GT(brightest(image, QRectF(layout.topLeft() + QPointF(156, 95), QSizeF(11, 11))), 450);
        EXPECT_LT(brightest(image, QRectF(layout.topLeft() + QPointF(156, 32), QSizeF(11, 11))), 300);
        EXPECT_FALSE(bluish(at(image, layout.topLeft() + QPointF(190, 20))));
        const auto tiles = items(QStringLiteral("tile"));
        ASSERT_EQ(tiles.size(), std::size_t(c.others));
        if (c.others > 0) {
            const QRgb probe = at(image, place(tiles[0]).topLeft() + c.probe);
            EXPECT_TRUE(bluish(probe)) << Qt::hex << probe;
            EXPECT_EQ(!items(QStringLiteral("thumbnail"), tiles[0]).empty(), c.pictures);
            EXPECT_EQ(!items(QStringLiteral("centredIcon"), tiles[0]).empty(), !c.pictures);
        }
        snap.reset();
    }
}

TEST_F(SnapViewTest, CardsAreLightOrDarkAsTheDesktopSaysAtEachShowAndTheirTextReads) {
    bool desktopDark = false;
    panels.setDark([&desktopDark] { return desktopDark; });
    make();
    // One panel: the drag bar, the picker and Snap Assist, each shown light and dark, one of them light again.
    enum class Shows { Bar, Picker, Assist };
    struct Case {
        const char* name;
        bool dark;
        Shows shows;
        const char* secondary; // a quieter text on the glass beside the title
    };
    const Case cases[] = {
        {"snap-drag-bar-light", false, Shows::Bar, nullptr},
        {"snap-drag-bar-dark", true, Shows::Bar, nullptr},
        {"snap-picker-light", false, Shows::Picker, "hint"},
        {"snap-picker-dark", true, Shows::Picker, "hint"},
        {"snap-assist-light", false, Shows::Assist, "tileTitle"},
        {"snap-assist-dark", true, Shows::Assist, "tileTitle"},
        {"snap-assist-light-again", false, Shows::Assist, "hint"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desktopDark = c.dark;
        if (c.shows == Shows::Bar) {
            sim.setWindowBounds(windows[0], {100, 100, 1200, 800});
            scheduler.advance(1); // two presses in a moment would be a double click
            drag({470, 65});
        } else if (c.shows == Shows::Picker) {
            snap->open();
        } else {
            assist(4, 3);
        }
        QQuickWindow* window = panel();
        ASSERT_NE(window, nullptr);
        QQuickItem* bar = itemNamed(window->contentItem(), QStringLiteral("bar"));
        QQuickItem* title = itemNamed(window->contentItem(), QStringLiteral("title"));
        QQuickItem* secondary =
            c.secondary ? itemNamed(window->contentItem(), QString::fromUtf8(c.secondary)) : nullptr;
        ASSERT_TRUE(bar && title && (secondary || !c.secondary));
        // The glass is translucent: over a white display and a black one.
        for (const QColor desktop : {QColor(Qt::white), QColor(Qt::black)}) {
            QImage image = snapshotOver(window, desktop, QString::fromUtf8(c.name));
            image.setDevicePixelRatio(window->devicePixelRatio());
            // The bar has no text: its glass in the margin above the layouts.
            const double glass =
                c.secondary ? luminance(besideItem(image, title))
                            : luminance(QColor(at(image, place(bar).topLeft() + QPointF(place(bar).width() / 2, 4))));
            EXPECT_TRUE(c.dark ? glass < 0.1 : glass > 0.6) << glass;
            if (c.secondary) {
                EXPECT_GE(textContrast(image, title), 4.5);
                EXPECT_GE(textContrast(image, secondary), 3.0);
            }
        }
        window->setColor(kDesktop);
        if (c.shows == Shows::Bar) {
            moveTo({470, 65}, {700, 500}); // where nothing snaps: the overlay goes
            mouse(EventType::LeftMouseUp, {700, 500});
        } else {
            snap->cancel();
        }
        EXPECT_EQ(panel(), nullptr);
    }
}

TEST_F(SnapViewTest, AssistShowsTitlesThatLookLikeMarkupAsTheyAreAndLoadsNothing) {
    CountingServer server;
    const QStringList titles = markupTexts(server);
    for (std::size_t i = 1; i < windows.size(); ++i) {
        sim.closeWindow(windows[i]);
    }
    for (std::size_t i = 0; i < std::size_t(titles.size()); ++i) { // one application each: it lists one window each
        capture.looks[sim.openWindow(pids[i + 1], titles[qsizetype(i)], {100, 100, 1200, 800})] = kApps[i + 1].color;
    }
    sim.activate(pids[0]);
    make();
    assist(4, 3);
    QQuickWindow* window = panel();
    ASSERT_NE(window, nullptr);
    pump(300);
    shot(window, QStringLiteral("snap-assist-markup"));
    for (const QString& title : titles) {
        EXPECT_EQ(shownLiterally(window->contentItem(), title), 1) << title.toStdString();
    }
    EXPECT_EQ(server.connections, 0);
}

TEST_F(SnapViewTest, DragOverlayShowsTheBarWithTheHoveredZoneAndThePreview) {
    make();
    drag({470, 65}); // over "Halves", zone 1
    QQuickWindow* window = panel();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->flags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_EQ(window->geometry(), QRect(0, 0, 1440, 900));
    QImage image = shot(window, QStringLiteral("snap-drag-bar"));
    EXPECT_TRUE(bluish(at(image, {490, 87}))) << "the hovered zone";
    EXPECT_FALSE(bluish(at(image, {438, 87})));
    EXPECT_LT(brightness(at(image, {438, 87})), 300) << "the bar";
    EXPECT_TRUE(over(at(image, {1080, 500}), kAccent, 0.45));
    EXPECT_TRUE(over(at(image, {300, 500}), kDesktop, 1)) << "the desktop shows through";

    moveTo({470, 65}, {5, 500}); // the left edge: the bar goes, the preview takes the left half
    image = shot(window, QStringLiteral("snap-drag-edge"));
    EXPECT_TRUE(over(at(image, {300, 500}), kAccent, 0.45));
    EXPECT_TRUE(over(at(image, {1080, 500}), kDesktop, 1));
    EXPECT_TRUE(over(at(image, {1000, 87}), kDesktop, 1)) << "the bar is gone";
    mouse(EventType::LeftMouseUp, {5, 500});
    EXPECT_EQ(panel(), nullptr);
}

TEST_F(SnapViewTest, WithoutCompositingOnlyTheDrawnPartsShowAndTheyAreOpaque) {
    make(false);
    drag({470, 65});
    QQuickWindow* window = panel();
    ASSERT_NE(window, nullptr);
    const QImage overlay = shot(window, QStringLiteral("snap-drag-opaque"));
    struct Probe {
        QPoint point;
        bool shown;
    };
    const Probe dragProbes[] = {
        {{720, 87}, true},    // the bar
        {{722, 500}, true},   // the preview's ring
        {{1080, 500}, false}, // inside the preview
        {{300, 500}, false},  {{200, 87}, false},
    };
    for (const Probe& p : dragProbes) {
        EXPECT_EQ(window->mask().contains(p.point), p.shown) << p.point.x() << "," << p.point.y();
    }
    EXPECT_GT(brightness(at(overlay, {722, 500})), 700) << "the white ring";
    EXPECT_LT(brightness(at(overlay, {720, 87})), 300) << "the bar";
    EXPECT_TRUE(over(at(overlay, {1080, 500}), kDesktop, 1)) << "no fill";
    // Dragged on to where nothing snaps: nothing is drawn, so nothing shows.
    moveTo({470, 65}, {700, 500});
    EXPECT_EQ(panel(), nullptr);
    mouse(EventType::LeftMouseUp, {700, 500});

    snap->open();
    window = panel();
    ASSERT_NE(window, nullptr);
    const QImage picker = shot(window, QStringLiteral("snap-picker-opaque"));
    EXPECT_TRUE(window->mask().contains(QPoint(720, 450)));
    EXPECT_FALSE(window->mask().contains(QPoint(20, 20)));
    EXPECT_TRUE(over(at(picker, {300, 360}), QColor(0x30, 0x32, 0x38), 1, 6)) << "the card, opaque";
    EXPECT_TRUE(over(at(picker, {20, 20}), kDesktop, 1)) << "no dimming";
    click({20, 20});
    EXPECT_TRUE(snap->isActive()) << "the display is not the panel's: only Escape closes it";
}

TEST_F(SnapViewTest, CoversTheDisplayAndCentresTheCardAtAnyScale) {
    for (std::size_t i = 2; i < windows.size(); ++i) {
        sim.closeWindow(windows[i]);
    }
    make();
    assist(0, 1);
    QQuickWindow* window = panel();
    ASSERT_NE(window, nullptr);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QImage image = shot(window, QStringLiteral("snap-assist-scale-%1").arg(window->devicePixelRatio()));
    EXPECT_EQ(window->geometry(), screen->geometry());
    EXPECT_EQ(image.size(), screen->geometry().size() * screen->devicePixelRatio());
    const QRectF card = place(items(QStringLiteral("card")).at(0));
    EXPECT_EQ(card.size(), QSizeF(404, 364));
    EXPECT_NEAR(card.center().x(), screen->geometry().width() / 2.0, 1);
    EXPECT_NEAR(card.center().y(), screen->geometry().height() / 2.0, 1);
    EXPECT_TRUE(bluish(at(image, place(items(QStringLiteral("tile")).at(0)).topLeft() + QPointF(80, 30))));
}

TEST(SnapViewLayout, CardSizesZonePlacesSpringAndHalo) {
    using Mode = SnapController::Mode;
    struct Card {
        Mode mode;
        int candidates;
        QSizeF size;
    };
    const Card cards[] = {
        {Mode::Layouts, 0, {858, 200}}, {Mode::Assist, 0, {404, 368}},  {Mode::Assist, 1, {404, 364}},
        {Mode::Assist, 3, {464, 364}},  {Mode::Assist, 8, {1184, 364}},
    };
    for (const Card& c : cards) {
        EXPECT_EQ(SnapViewLayout::cardSize(c.mode, 5, c.candidates), c.size) << c.candidates;
    }
    // On a display 1024 wide six tiles fit a row beside the card's margins, and eight candidates take two rows.
    EXPECT_EQ(SnapViewLayout::tileColumnsFor(1024), 6);
    EXPECT_EQ(SnapViewLayout::tileColumnsFor(1280), 8);
    EXPECT_EQ(SnapViewLayout::tileColumnsFor(100), 1);
    EXPECT_EQ(SnapViewLayout::cardSize(Mode::Assist, 5, 8, 6), QSizeF(896, 482));
    struct Zone {
        QRectF unit;
        QSizeF card;
        QRectF rect;
    };
    const Zone zones[] = {
        {{0, 0, 0.5, 1}, {150, 94}, {9, 9, 63, 76}},
        {{0.5, 0.5, 0.5, 0.5}, {220, 138}, {113, 72, 98, 57}},
    };
    const SnapViewLayout layout(nullptr);
    for (const Zone& z : zones) {
        EXPECT_EQ(layout.zoneRect(z.unit, z.card.width(), z.card.height()), z.rect);
    }
    // A response of 0.28 s at damping 0.82, stepped every 16 ms.
    EXPECT_NEAR(layout.springStrength(), 8.06, 0.01);
    EXPECT_NEAR(layout.springDamping(), 0.589, 0.001);
    // The preview's glow: 14 points out from corners of 10, the accent at 60 % in the middle, fading to the rim.
    const QImage halo = haloImage(14, 10, QColor(0x3a, 0x7b, 0xd5, 0x99));
    EXPECT_EQ(halo.size(), QSize(77, 77));
    EXPECT_NEAR(qAlpha(halo.pixel(38, 38)), 0x99, 1);
    EXPECT_NEAR(qAlpha(halo.pixel(14, 38)), 0x99 / 2, 8) << "half at the shape's edge";
    EXPECT_LT(qAlpha(halo.pixel(0, 38)), 8);
    EXPECT_EQ(qAlpha(halo.pixel(2, 2)), 0);
    EXPECT_EQ(qAlpha(haloImage(14, 10, Qt::black, true).pixel(38, 38)), 0) << "hollow";
}

} // namespace
} // namespace tillory::snap
