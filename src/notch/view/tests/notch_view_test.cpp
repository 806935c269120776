// The notch island as a user sees it: rendered offscreen from a real controller over the simulated desktop, on a
// 1512 × 982 display with a 200 × 32 notch (so the panel is 476 × 180 and the collapsed strip 264 × 32).
#include "core/manual_scheduler.h"
#include "core/settings.h"
#include "notch/notch_controller.h"
#include "notch/view/quick_notch_panel.h"
#include "platform/sim/sim_desktop.h"
#include "ui/view/tests/view_test_support.h"

#include <QTest>

#include <cstring>

namespace tillory::notch {
namespace {

using namespace ui::testing;
using platform::Rect;

const auto* environment =
    ::testing::AddGlobalTestEnvironment(new OffscreenApp("offscreen:configfile=" TILLORY_NOTCH_VIEW_SCREEN));

const platform::ScreenInfo kNotched{
    {0, 0, 1512, 982}, {0, 0, 1512, 950}, 32, Rect{0, 950, 656, 32}, Rect{856, 950, 656, 32}};
const QString kMusic = QStringLiteral("com.apple.Music");
const QColor kDesktop(0xa0, 0xa0, 0xa0);

/// A 64 × 64 cover running from violet to orange.
platform::Bitmap cover() {
    platform::Bitmap b{64, 64, 64 * 4, QByteArray(64 * 64 * 4, '\0')};
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const std::uint32_t p = qRgb(0x70 + 2 * x, 0x30 + y, 0xd0 - 2 * y);
            std::memcpy(b.pixels.data() + (y * 64 + x) * 4, &p, 4);
        }
    }
    return b;
}

class NotchViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.setScreens({kNotched});
        sim.setMouseLocation({756, 300});
        sim.pictures().setPicture(QByteArray(40, 'c'), cover());
        notch = std::make_unique<NotchController>(sim.platform(), settings, scheduler, &panels);
        panels.setController(notch.get());
        notch->enable();
        scheduler.runPosted();
    }
    void TearDown() override {
        notch.reset();
        pump(50);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    /// Music shows `state` ("playing", "paused"), or nothing runs for an empty state.
    void play(const char* state, bool art = true, const char* title = "Weightless Afternoon") {
        platform::sim::SimPlayer p;
        p.running = *state != '\0';
        p.state = QString::fromUtf8(state);
        p.title = QString::fromUtf8(title);
        p.artist = QStringLiteral("The Quiet Rooms");
        p.position = 30;
        p.duration = 200;
        if (art) {
            p.artworkData = QByteArray(40, 'c');
        }
        sim.players().setPlayer(kMusic, p);
        notch->media().poll();
        scheduler.runPosted();
        pump(50);
    }
    QQuickWindow* panel() {
        const auto windows = quickWindows();
        return windows.empty() ? nullptr : windows.back();
    }
    QQuickItem* item(const char* name) {
        return panel() ? panel()->contentItem()->findChild<QQuickItem*>(name) : nullptr;
    }
    bool shown(const char* name) { return item(name) && item(name)->isVisible(); }
    QPoint centre(const char* name) {
        QQuickItem* i = item(name);
        return i->mapToScene(QPointF(i->width() / 2, i->height() / 2)).toPoint();
    }
    QStringList shownTexts() { return texts(panel()->contentItem()); }
    /// The panel over a grey desktop, as a compositing manager shows it.
    QImage look(const QString& name) {
        panel()->setColor(kDesktop);
        return snapshot(panel(), name);
    }

    core::ManualScheduler scheduler;
    platform::sim::SimDesktop sim{scheduler};
    core::MemorySettings settings;
    QuickNotchPanelFactory panels;
    std::unique_ptr<NotchController> notch;
};

TEST_F(NotchViewTest, CollapsedStripHugsTheNotchAndIsAllThatShows) {
    play("playing");
    ASSERT_NE(panel(), nullptr);
    EXPECT_EQ(panel()->geometry(), QRect(518, 0, 476, 180));
    const QImage image = look(QStringLiteral("notch-collapsed"));
    const QRegion mask = panel()->mask();
    EXPECT_TRUE(QRect(106, 0, 264, 32).contains(mask.boundingRect())) << "nothing shows beside the strip";
    for (const auto& [p, in] : {std::pair{QPoint(113, 16), true},
                                {QPoint(110, 16), false},
                                {QPoint(113, 30), false},
                                {QPoint(238, 31), true}}) {
        EXPECT_EQ(mask.contains(p), in) << p.x() << "," << p.y();
    }
    EXPECT_EQ(image.pixel(238, 16), qRgb(0, 0, 0)) << "black over the notch";
    EXPECT_GT(qRed(image.pixel(124, 16)), 0x80) << "the cover on the left wing";
    EXPECT_EQ(image.pixel(238, 60), kDesktop.rgb()) << "clear below it";
    EXPECT_TRUE(shown("wingArt"));
    EXPECT_FALSE(shown("card"));
}

TEST_F(NotchViewTest, WingsFollowThePlayer) {
    const struct {
        const char* state;
        bool art;
        bool note, equalizer, pause;
    } cases[] = {
        {"", false, true, false, false},
        {"playing", false, true, true, false},
        {"paused", true, false, false, true},
    };
    for (const auto& c : cases) {
        play(c.state, c.art, c.state); // each a new track, so its art is fetched
        EXPECT_EQ(shown("wingNote"), c.note) << c.state;
        EXPECT_EQ(shown("wingArt"), !c.note) << c.state;
        EXPECT_EQ(shown("equalizer"), c.equalizer) << c.state;
        EXPECT_EQ(shown("wingPause"), c.pause) << c.state;
    }
}

// The bars step only while someone can see them move: a playing track all day must not redraw a hidden island.
TEST_F(NotchViewTest, TheEqualizerStepsOnlyWhileItsBarsShow) {
    const auto stepping = [this] {
        QQuickItem* eq = item("equalizer");
        const QList<QObject*> timers = eq ? eq->findChildren<QObject*>() : QList<QObject*>{};
        for (QObject* t : timers) {
            if (t->property("running").isValid() && t->property("interval").isValid()) {
                return t->property("running").toBool() && t->property("interval").toInt() == 180;
            }
        }
        return false;
    };
    const struct {
        const char* what;
        const char* state;
        bool expanded, onScreen, steps;
    } cases[] = {
        {"playing, collapsed", "playing", false, true, true},
        {"paused", "paused", false, true, false},
        {"playing, the card open", "playing", true, true, false},
        {"playing, no notched display", "playing", false, false, false},
        {"nothing running", "", false, true, false},
    };
    for (const auto& c : cases) {
        sim.setScreens({kNotched});
        play(c.state, false, c.what);
        notch->hoverChanged(c.expanded);
        scheduler.advance(1);
        if (!c.onScreen) {
            sim.setScreens({{{0, 0, 1920, 1080}, {0, 0, 1920, 1080}}});
        }
        pump(50);
        EXPECT_EQ(stepping(), c.steps) << c.what;
    }
    const double before = item("equalizer") ? item("equalizer")->property("time").toDouble() : -1;
    sim.setScreens({kNotched});
    play("playing", false, "moving");
    notch->hoverChanged(false);
    scheduler.advance(1);
    pump(400);
    EXPECT_GT(item("equalizer")->property("time").toDouble(), before) << "the bars moved on their own";
}

TEST_F(NotchViewTest, ExpandedCardShowsTheTrackWithItsLivePosition) {
    play("playing");
    scheduler.advance(1);
    notch->hoverChanged(true);
    pump(600); // the half-second timeline reads the position again
    look(QStringLiteral("notch-expanded"));
    EXPECT_EQ(panel()->mask().boundingRect(), QRect(18, 0, 440, 144));
    const QStringList t = shownTexts();
    for (const char* want : {"Weightless Afternoon", "The Quiet Rooms", "0:31", "3:20"}) {
        EXPECT_TRUE(t.contains(QString::fromUtf8(want))) << want << " in " << t.join(u'|').toStdString();
    }
    EXPECT_EQ(item("playPause")->property("symbol").toString(), QStringLiteral("pause.fill"));
}

TEST_F(NotchViewTest, CardAndNoticeAreLightOrDarkAsTheDesktopSaysEachTimeTheyOpenAndTheStripStaysBlack) {
    // The panel is made before the first case and stays up: each opening of the card or the notice reads again.
    bool desktopDark = false;
    panels.setDark([&desktopDark] { return desktopDark; });
    notch->disable();
    notch->enable();
    scheduler.runPosted();
    play("playing");
    struct Case {
        const char* name;
        bool dark;
        bool notice; // else the expanded card
        const char* title;
        const char* secondary;
    };
    const Case cases[] = {
        {"notch-expanded-light", false, false, "title", "artist"},
        {"notch-expanded-dark", true, false, "title", "artist"},
        {"notch-hud-light", false, true, "hudLabel", nullptr},
        {"notch-hud-dark", true, true, "hudLabel", nullptr},
        {"notch-expanded-light-again", false, false, "title", "elapsed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desktopDark = c.dark;
        if (c.notice) {
            notch->flashHUD({QStringLiteral("bolt.fill"), QStringLiteral("Charging · 80%")});
        } else {
            notch->hoverChanged(true);
        }
        const QQuickItem* title = item(c.title);
        const QQuickItem* secondary = c.secondary ? item(c.secondary) : nullptr;
        ASSERT_TRUE(title && (secondary || !c.secondary));
        // The glass lets the desktop through: over a white one and a black one.
        for (const QColor desktop : {QColor(Qt::white), QColor(Qt::black)}) {
            const QImage image = snapshotOver(panel(), desktop, QString::fromUtf8(c.name));
            const double glass = luminance(besideItem(image, title));
            EXPECT_TRUE(c.dark ? glass < 0.12 : glass > 0.6) << glass;
            EXPECT_GE(textContrast(image, title), 4.5);
            if (secondary) {
                EXPECT_GE(textContrast(image, secondary), 3.0);
            }
            EXPECT_EQ(image.pixel(238, 16), qRgb(0, 0, 0)) << "the strip over the notch is black on any desktop";
        }
        panel()->setColor(kDesktop);
        notch->hoverChanged(false);
        scheduler.advance(5); // the card folds and the notice goes
        pump(450);
        EXPECT_FALSE(shown("card"));
        EXPECT_FALSE(shown("hud"));
    }
}

TEST_F(NotchViewTest, TrackTextsThatLookLikeMarkupAreShownAsTheyAreAndLoadNothing) {
    CountingServer server;
    notch->hoverChanged(true);
    for (const QString& text : markupTexts(server)) {
        platform::sim::SimPlayer p;
        p.running = true;
        p.state = QStringLiteral("playing");
        p.title = text;
        p.artist = text + QStringLiteral(" band");
        p.duration = 200;
        sim.players().setPlayer(kMusic, p);
        notch->media().poll();
        scheduler.runPosted();
        pump(450);
        EXPECT_EQ(shownLiterally(panel()->contentItem(), text), 2) << text.toStdString();
    }
    EXPECT_EQ(server.connections, 0);
}

TEST_F(NotchViewTest, LongTracksShowHoursAndStayInsideTheCard) {
    const struct {
        double duration;
        const char* total;
    } cases[] = {{200, "3:20"}, {5999, "99:59"}, {7322, "2:02:02"}, {36000, "10:00:00"}};
    notch->hoverChanged(true);
    for (const auto& c : cases) {
        platform::sim::SimPlayer p;
        p.state = QStringLiteral("paused");
        p.title = QStringLiteral("Symphony");
        p.duration = c.duration;
        sim.players().setPlayer(kMusic, p);
        notch->media().poll();
        scheduler.runPosted();
        pump(450);
        QQuickItem* total = item("total");
        ASSERT_NE(total, nullptr);
        EXPECT_EQ(total->property("text").toString(), QString::fromUtf8(c.total));
        // The whole text is drawn inside its box, and the box inside the card.
        EXPECT_LE(total->property("contentWidth").toReal(), total->width()) << c.total;
        const QRectF box = total->mapRectToScene(QRectF(0, 0, total->width(), total->height()));
        EXPECT_LE(box.right(), 18 + 440) << c.total;
        const QRectF bar = item("bar")->mapRectToScene(QRectF(0, 0, item("bar")->width(), 1));
        EXPECT_GE(bar.width(), 200) << c.total;
    }
    look(QStringLiteral("notch-long-track"));
}

TEST_F(NotchViewTest, ExpandedWithNothingPlaying) {
    play("");
    notch->hoverChanged(true);
    pump(450);
    EXPECT_TRUE(shownTexts().contains(QStringLiteral("Play something in a media player")));
    EXPECT_FALSE(shown("scrubber"));
    EXPECT_EQ(item("playPause")->property("symbol").toString(), QStringLiteral("play.fill"));
}

TEST_F(NotchViewTest, TransportButtonsFireOnlyWhenReleasedWhereThePressWas) {
    play("playing");
    notch->hoverChanged(true);
    pump(450);
    const struct {
        const char* button;
        int slide;
        const char* command; // nothing: no command
    } cases[] = {
        {"playPause", 0, "tell application \"Music\" to playpause"},
        {"next", 9, "tell application \"Music\" to next track"},
        {"previous", 12, nullptr},
    };
    for (const auto& c : cases) {
        const auto before = sim.players().fired().size();
        const QPoint p = centre(c.button);
        QTest::mousePress(panel(), Qt::LeftButton, {}, p);
        QTest::mouseMove(panel(), p + QPoint(c.slide, 0));
        QTest::mouseRelease(panel(), Qt::LeftButton, {}, p + QPoint(c.slide, 0));
        const auto fired = sim.players().fired();
        if (c.command) {
            ASSERT_EQ(fired.size(), before + 1) << c.button;
            EXPECT_EQ(fired.back(), QString::fromUtf8(c.command));
        } else {
            EXPECT_EQ(fired.size(), before) << c.button;
        }
    }
}

TEST_F(NotchViewTest, DraggingTheScrubberPastItsEndSeeksToTheEnd) {
    play("paused");
    notch->hoverChanged(true);
    pump(450);
    QQuickItem* bar = item("bar");
    const QPoint start = bar->mapToScene(QPointF(bar->width() / 2, bar->height() / 2)).toPoint();
    QTest::mousePress(panel(), Qt::LeftButton, {}, start);
    QTest::mouseMove(panel(), start + QPoint(400, 0));
    EXPECT_EQ(item("elapsed")->property("text").toString(), QStringLiteral("3:20")) << "it follows the pointer";
    QTest::mouseRelease(panel(), Qt::LeftButton, {}, start + QPoint(400, 0));
    scheduler.runPosted();
    EXPECT_EQ(sim.players().player(kMusic).position, 200);
}

TEST_F(NotchViewTest, NoticeDropsBelowTheStripOnlyWhileCollapsed) {
    play("playing");
    notch->flashHUD({QStringLiteral("bolt.fill"), QStringLiteral("Charging · 80%")});
    look(QStringLiteral("notch-hud"));
    EXPECT_TRUE(shownTexts().contains(QStringLiteral("Charging · 80%")));
    EXPECT_TRUE(panel()->mask().contains(centre("hud")));
    notch->hoverChanged(true);
    pump(450);
    EXPECT_FALSE(shown("hud"));
}

} // namespace
} // namespace tillory::notch
