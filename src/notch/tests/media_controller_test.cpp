#include "core/manual_scheduler.h"
#include "core/settings.h"
#include "notch/media_controller.h"
#include "notch/media_reply.h"
#include "platform/sim/sim_desktop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

namespace tillory::notch {
namespace {

using platform::Bitmap;
using platform::sim::SimPlayer;

const QString kMusic = QStringLiteral("com.apple.Music");
const QString kSpotify = QStringLiteral("com.spotify.client");

struct ReplyCase {
    const char* reply;
    bool parses;
    bool playing = false;
    const char* title = "";
    const char* artist = "";
    double position = 0;
    double duration = 0;
    int volume = 0;
    bool volumeKnown = false;
};

TEST(MediaReply, ParsesRepliesAsThePlayersWriteThem) {
    const ReplyCase cases[] = {
        {"playing|~|Song|~|Artist|~|12,5|~|200,25|~|40", true, true, "Song", "Artist", 12.5, 200.25, 40, true},
        {"paused|~|Song|~|Artist|~|0|~|180|~|", true, false, "Song", "Artist", 0, 180, 70, false},
        {"playing|~|S|~|A|~|1|~|215,0|~|+7", true, true, "S", "A", 1, 215, 7, true},
        {"stopped", false},
        {"playing|~|Song|~|Artist|~|1|~|2", false},
        // The separator inside a title no longer hides the track.
        {"playing|~|Lo|~|Fi|~|Artist|~|1|~|2|~|3", true, true, "Lo|~|Fi", "Artist", 1, 2, 3, true},
        {"playing|~|Line\nTwo|~|A\rB|~|1|~|2|~|3", true, true, "Line\nTwo", "A\rB", 1, 2, 3, true},
        {"playing|~|S|~|A|~|nan|~|inf|~|50", true, true, "S", "A", 0, 0, 50, true},
        {"playing|~|S|~|A|~|-4|~|1e999|~|250", true, true, "S", "A", 0, 0, 100, true},
        {"paused|~|S|~|A|~|x|~||~|-7", true, false, "S", "A", 0, 0, 0, true},
        {"playing|~|S|~|A|~|1|~|2|~|99999999999999999999", true, true, "S", "A", 1, 2, 70, false},
        // A week is the longest length believed; past it the track is a stream of unknown length.
        {"playing|~|S|~|A|~|1|~|604800|~|5", true, true, "S", "A", 1, 604800, 5, true},
        {"playing|~|S|~|A|~|1|~|604800.5|~|5", true, true, "S", "A", 1, 0, 5, true},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.reply);
        const auto parsed = parseStateReply(QString::fromUtf8(c.reply), MediaApp::Spotify);
        ASSERT_EQ(parsed.has_value(), c.parses);
        if (!parsed) {
            continue;
        }
        EXPECT_EQ(parsed->app, MediaApp::Spotify);
        EXPECT_EQ(parsed->isPlaying, c.playing);
        EXPECT_EQ(parsed->title, QString::fromUtf8(c.title));
        EXPECT_EQ(parsed->artist, QString::fromUtf8(c.artist));
        EXPECT_DOUBLE_EQ(parsed->position, c.position);
        EXPECT_DOUBLE_EQ(parsed->duration, c.duration);
        EXPECT_EQ(parsed->volume, c.volume);
        EXPECT_EQ(parsed->volumeKnown, c.volumeKnown);
    }
}

TEST(MediaReply, ClocksAndIsolatedFields) {
    const std::pair<double, const char*> clocks[] = {
        {0, "0:00"},       {59.4, "0:59"},      {59.6, "1:00"}, {5999, "99:59"},        {6000, "1:40:00"},
        {7322, "2:02:02"}, {36000, "10:00:00"}, {-3, "0:00"},   {std::nan(""), "0:00"}, {1e300, "168:00:00"},
    };
    for (const auto& [seconds, text] : clocks) {
        EXPECT_EQ(clockText(seconds), QString::fromUtf8(text)) << seconds;
    }
    const std::pair<const char*, const char*> fields[] = {
        {"Plain title", "Plain title"},
        {"\u05e9\u05dc\u05d5\u05dd", "\u05e9\u05dc\u05d5\u05dd"}, // right-to-left text needs no wrapping
        {"\u202eevil", "\u2068\u202eevil\u2069"},                 // an override left open
        {"a\u2067b", "\u2068a\u2067b\u2069"},
        {"x\u200fy", "\u2068x\u200fy\u2069"},
        {"\u061c", "\u2068\u061c\u2069"},
    };
    for (const auto& [field, shown] : fields) {
        EXPECT_EQ(isolated(QString::fromUtf8(field)), QString::fromUtf8(shown)) << field;
    }
}

TEST(MediaReply, HugeTitleSurvivesWhole) {
    const QString title(200000, QLatin1Char('x'));
    const auto parsed =
        parseStateReply(QStringLiteral("paused|~|") + title + QStringLiteral("|~|A|~|1|~|2|~|3"), MediaApp::Music);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->title.size(), 200000);
}

TEST(MediaReply, ScriptTexts) {
    EXPECT_EQ(stateScript(MediaApp::Spotify),
              QStringLiteral("tell application \"Spotify\"\n"
                             "    set theState to (player state as string)\n"
                             "    if theState is in {\"playing\", \"paused\"} then\n"
                             "        return theState & \"|~|\" & (name of current track) & \"|~|\" & (artist of "
                             "current track) & \"|~|\" & (player position as string) & \"|~|\" & (((duration of "
                             "current track) / 1000) as string) & \"|~|\" & (sound volume as string)\n"
                             "    end if\n"
                             "    return theState\n"
                             "end tell"));
    EXPECT_TRUE(stateScript(MediaApp::Music).contains(QStringLiteral("& ((duration of current track) as string) &")));
    EXPECT_EQ(artworkScript(MediaApp::Spotify),
              QStringLiteral("tell application \"Spotify\" to get artwork url of current track"));
    EXPECT_EQ(artworkScript(MediaApp::Music),
              QStringLiteral("tell application \"Music\" to get data of artwork 1 of current track"));
}

TEST(MediaColor, MeanOfPremultipliedPixels) {
    struct Case {
        std::vector<std::uint32_t> pixels;
        std::optional<MediaController::Rgb> rgb;
    } cases[] = {
        {{0xFF102030u, 0xFF304050u}, MediaController::Rgb{0x20, 0x30, 0x40}},
        {{0x00000000u, 0xFFFFFFFFu}, MediaController::Rgb{128, 128, 128}},
        {{}, std::nullopt},
    };
    for (const Case& c : cases) {
        Bitmap b{static_cast<int>(c.pixels.size()), 1, 4 * static_cast<int>(c.pixels.size()), {}};
        b.pixels.resize(b.stride);
        if (!c.pixels.empty()) {
            std::memcpy(b.pixels.data(), c.pixels.data(), b.pixels.size());
        }
        EXPECT_EQ(averageColor(b), c.rgb);
    }
}

class MediaControllerTest : public ::testing::Test {
protected:
    MediaController& make() {
        media_ = std::make_unique<MediaController>(sim_.platform(), settings_, scheduler_);
        QObject::connect(media_.get(), &MediaController::nowPlayingChanged,
                         [this] { published_.push_back(media_->position()); });
        QObject::connect(media_.get(), &MediaController::transportEvent,
                         [this](const TransportHUD& n) { notices_.push_back(n); });
        return *media_;
    }
    void set(const QString& id, const char* state, const char* title, double position = 0, double duration = 200,
             std::optional<int> volume = 50) {
        SimPlayer p = sim_.players().player(id);
        p.running = true;
        p.state = QString::fromUtf8(state);
        p.title = QString::fromUtf8(title);
        p.artist = QStringLiteral("Artist");
        p.position = position;
        p.duration = duration;
        p.volume = volume;
        sim_.players().setPlayer(id, p);
    }
    void quit(const QString& id) {
        SimPlayer p = sim_.players().player(id);
        p.running = false;
        sim_.players().setPlayer(id, p);
    }
    void pollNow() {
        media_->poll();
        scheduler_.runPosted();
    }
    int stateQueries() {
        return sim_.players().askedCount(stateScript(MediaApp::Music)) +
               sim_.players().askedCount(stateScript(MediaApp::Spotify));
    }
    std::vector<QString> fired() { return sim_.players().fired(); }
    QMap<QString, qint64> memory() const { return settings_.intDictionary(QStringLiteral("volumeMemory")); }
    static Bitmap solid(std::uint32_t pixel) {
        Bitmap b{1, 1, 4, QByteArray(4, '\0')};
        std::memcpy(b.pixels.data(), &pixel, 4);
        return b;
    }

    core::ManualScheduler scheduler_;
    platform::sim::SimDesktop sim_{scheduler_};
    core::MemorySettings settings_;
    std::unique_ptr<MediaController> media_;
    std::vector<double> published_;
    std::vector<TransportHUD> notices_;
};

TEST_F(MediaControllerTest, ChoosesThePlayerToShow) {
    auto& m = make();
    set(kMusic, "paused", "M");
    set(kSpotify, "playing", "S");
    pollNow();
    EXPECT_EQ(m.appBundleId(), kSpotify);

    // The shown player keeps the notch while it plays.
    set(kMusic, "playing", "M");
    pollNow();
    EXPECT_EQ(m.appBundleId(), kSpotify);
    set(kSpotify, "paused", "S");
    pollNow();
    EXPECT_EQ(m.appBundleId(), kMusic);

    set(kMusic, "stopped", "M");
    quit(kSpotify);
    pollNow();
    EXPECT_FALSE(m.hasNowPlaying());
}

TEST_F(MediaControllerTest, PlayersOfOneKindAreToldApart) {
    const QString mpv = QStringLiteral("org.mpris.MediaPlayer2.mpv");
    const QString test = QStringLiteral("org.mpris.MediaPlayer2.test.instance77");
    const QString testName = QStringLiteral("org.mpris.MediaPlayer2.test");
    const auto add = [this](const QString& id, const QString& name, const char* state, const char* title, int volume) {
        SimPlayer p = sim_.players().player(id);
        p.kind = kMusic;
        p.name = name;
        p.state = QString::fromUtf8(state);
        p.title = QString::fromUtf8(title);
        p.duration = 200;
        p.volume = volume;
        sim_.players().setPlayer(id, p);
    };
    auto& m = make();
    const struct {
        const char* step;
        std::function<void()> act;
        QString shown;
        const char* title;
    } steps[] = {
        // Two play and none is shown: the most recently active one wins.
        {"both play",
         [&] {
             add(mpv, mpv, "playing", "Mpv song", 30);
             add(test, testName, "playing", "Test song", 80);
         },
         test, "Test song"},
        // The shown one keeps the island while it plays, whoever else starts.
        {"mpv plays on", [&] { add(mpv, mpv, "playing", "Mpv song 2", 30); }, test, "Test song"},
        {"test pauses", [&] { add(test, testName, "paused", "Test song", 80); }, mpv, "Mpv song 2"},
        // When nothing plays, the shown one stays, even though the other was active more recently.
        {"mpv pauses",
         [&] {
             add(mpv, mpv, "paused", "Mpv song 2", 30);
             add(test, testName, "paused", "Test song", 80);
         },
         mpv, "Mpv song 2"},
        // Play on the card starts the player the card shows.
        {"play", [&] { m.playPause(); }, mpv, "Mpv song 2"},
        {"mpv pauses again", [&] { m.playPause(); }, mpv, "Mpv song 2"},
    };
    for (const auto& s : steps) {
        s.act();
        pollNow();
        EXPECT_EQ(m.nowPlaying() ? m.nowPlaying()->player : QString(), s.shown) << s.step;
        EXPECT_EQ(m.title(), QString::fromUtf8(s.title)) << s.step;
    }
    EXPECT_EQ(sim_.players().player(mpv).state, QStringLiteral("paused"));
    EXPECT_EQ(sim_.players().player(test).state, QStringLiteral("paused"));
    // Each command went to the shown player; the only volume handed back was mpv's own, to mpv.
    const std::vector<QString> targets = sim_.players().firedAt();
    const std::vector<QString> scripts = fired();
    ASSERT_EQ(scripts.size(), 2u);
    EXPECT_EQ(targets, (std::vector<QString>{mpv, mpv}));
    // Volumes are remembered per player, under the name that outlives the run.
    EXPECT_EQ(memory(), (QMap<QString, qint64>{{mpv, 30}, {testName, 80}}));
    // A remembered volume goes back to its own player when that player is shown again.
    settings_.setIntDictionary(QStringLiteral("volumeMemory"), {{mpv, 30}, {testName, 65}});
    add(test, testName, "playing", "Test song", 80);
    pollNow();
    EXPECT_EQ(fired().back(), QStringLiteral("tell application \"Music\" to set sound volume to 65"));
    EXPECT_EQ(sim_.players().firedAt().back(), test);
    EXPECT_EQ(sim_.players().player(mpv).volume, 30);
}

TEST_F(MediaControllerTest, IdenticalPausedRepliesPublishOnce) {
    auto& m = make();
    set(kMusic, "paused", "M", 10);
    pollNow();
    const double stamp = m.positionTimestamp();
    scheduler_.advance(5);
    pollNow();
    EXPECT_EQ(published_.size(), 1u);
    EXPECT_EQ(m.positionTimestamp(), stamp);
}

TEST_F(MediaControllerTest, VolumeIsHandedBackWhenThePlayerChanges) {
    settings_.setIntDictionary(QStringLiteral("volumeMemory"), {{kMusic, 30}, {kSpotify, 80}});
    make();
    set(kMusic, "playing", "M", 0, 200, 30);
    pollNow();
    quit(kMusic);
    set(kSpotify, "playing", "S", 0, 200, 50);
    const int writes = settings_.writeCount();
    pollNow();
    EXPECT_EQ(fired(), std::vector<QString>{QStringLiteral("tell application \"Spotify\" to set sound volume to 80")});
    EXPECT_EQ(settings_.writeCount(), writes);
    pollNow();
    EXPECT_EQ(media_->volume(), 80);
    EXPECT_EQ(memory().value(kSpotify), 80);
}

TEST_F(MediaControllerTest, VolumeMemoryKeepsOnlyReadVolumes) {
    struct Case {
        std::optional<int> reported;
        std::optional<qint64> stored;
        int shown;
        std::optional<qint64> remembered;
    } cases[] = {
        {std::nullopt, std::nullopt, 70, std::nullopt}, // unknown is shown as 70 but never stored
        {std::nullopt, 25, 70, 25},
        {250, std::nullopt, 100, 100},
    };
    for (const Case& c : cases) {
        settings_.remove(QStringLiteral("volumeMemory"));
        if (c.stored) {
            settings_.setIntDictionary(QStringLiteral("volumeMemory"), {{kMusic, *c.stored}});
        }
        make();
        SimPlayer p;
        p.rawReply =
            QStringLiteral("playing|~|M|~|A|~|1|~|2|~|") + (c.reported ? QString::number(*c.reported) : QString());
        sim_.players().setPlayer(kMusic, p);
        pollNow();
        EXPECT_EQ(media_->volume(), c.shown);
        const auto stored = memory();
        EXPECT_EQ(stored.contains(kMusic) ? std::optional<qint64>(stored.value(kMusic)) : std::nullopt, c.remembered);
    }
}

TEST_F(MediaControllerTest, MalformedStoredVolumeDoesNotDropTheOthers) {
    settings_.registerDefaults(
        {{QStringLiteral("volumeMemory"), QVariantMap{{kMusic, QStringLiteral("loud")}, {kSpotify, 80}}}});
    make();
    set(kMusic, "playing", "M", 0, 200, 30);
    pollNow();
    quit(kMusic);
    set(kSpotify, "playing", "S", 0, 200, 50);
    pollNow();
    EXPECT_EQ(fired(), std::vector<QString>{QStringLiteral("tell application \"Spotify\" to set sound volume to 80")});
}

TEST_F(MediaControllerTest, Seek) {
    struct Case {
        double request;
        const char* sent;
        double shown;
    } cases[] = {{500, "200", 200}, {-3, "0", 0}, {61.9, "61", 61.9}};
    auto& m = make();
    set(kMusic, "paused", "M", 10, 200);
    pollNow();
    for (const Case& c : cases) {
        m.seek(c.request);
        EXPECT_EQ(fired().back(),
                  QStringLiteral("tell application \"Music\" to set player position to ") + QString::fromUtf8(c.sent));
        EXPECT_DOUBLE_EQ(m.position(), c.shown);
    }
}

TEST_F(MediaControllerTest, UnknownDurationCannotBeSought) {
    auto& m = make();
    set(kMusic, "playing", "Stream", 30, 0);
    pollNow();
    scheduler_.advance(2);
    m.seek(10);
    EXPECT_TRUE(fired().empty());
    EXPECT_EQ(m.currentProgress(), 0.0);
    EXPECT_DOUBLE_EQ(m.currentPosition(), 32.0);
    EXPECT_FALSE(m.canSeek());
}

TEST_F(MediaControllerTest, LivePositionAndProgress) {
    struct Case {
        const char* state;
        double progress;
        double live;
    } cases[] = {{"playing", 0.16, 32}, {"paused", 0.15, 30}};
    for (const Case& c : cases) {
        auto& m = make();
        set(kMusic, c.state, "M", 30, 200);
        pollNow();
        const double at = scheduler_.now() + 2;
        EXPECT_DOUBLE_EQ(m.progress(at), c.progress);
        EXPECT_DOUBLE_EQ(m.livePosition(at), c.live);
    }
}

TEST_F(MediaControllerTest, FastCadenceTwicePollsOnceAndReschedulesOnce) {
    auto& m = make();
    set(kMusic, "playing", "M");
    m.scheduleTimer();
    m.setPollingCadence(true);
    m.setPollingCadence(true);
    scheduler_.runPosted();
    EXPECT_EQ(stateQueries(), 1);
    scheduler_.advance(1.5);
    EXPECT_EQ(stateQueries(), 2);
    m.setPollingCadence(false);
    scheduler_.advance(3.9);
    EXPECT_EQ(stateQueries(), 2);
    scheduler_.advance(0.1);
    EXPECT_EQ(stateQueries(), 3);
}

TEST_F(MediaControllerTest, TransportSendsAndTellsOnlyWhatWasSent) {
    auto& m = make();
    m.playPause();
    m.nextTrack();
    EXPECT_FALSE(m.transport(QStringLiteral("next track")));
    EXPECT_TRUE(fired().empty());
    EXPECT_TRUE(notices_.empty());

    set(kMusic, "playing", "M");
    pollNow();
    m.playPause();
    scheduler_.runPosted();
    EXPECT_FALSE(m.isPlaying()); // the poll right after the command sees its effect
    m.playPause();
    m.previousTrack();
    m.nextTrack();
    EXPECT_EQ(fired(), (std::vector<QString>{QStringLiteral("tell application \"Music\" to playpause"),
                                             QStringLiteral("tell application \"Music\" to playpause"),
                                             QStringLiteral("tell application \"Music\" to previous track"),
                                             QStringLiteral("tell application \"Music\" to next track")}));
    EXPECT_EQ(notices_, (std::vector<TransportHUD>{{QStringLiteral("pause.fill"), QStringLiteral("Paused")},
                                                   {QStringLiteral("play.fill"), QStringLiteral("Playing")},
                                                   {QStringLiteral("backward.fill"), QStringLiteral("Previous")},
                                                   {QStringLiteral("forward.fill"), QStringLiteral("Next")}}));
}

TEST_F(MediaControllerTest, MusicArtwork) {
    const QByteArray cover(40, 'c');
    sim_.pictures().setPicture(cover, solid(0xFF102030u));
    auto& m = make();
    SimPlayer p;
    p.title = QStringLiteral("M");
    p.duration = 200;
    p.artworkData = cover;
    sim_.players().setPlayer(kMusic, p);
    pollNow();
    EXPECT_TRUE(m.hasArtwork());
    EXPECT_EQ(m.artworkColor(), QStringLiteral("#102030"));

    // Ten bytes is no art; the same track is not asked again.
    p.title = QStringLiteral("N");
    p.artworkData = QByteArray(10, 'c');
    sim_.players().setPlayer(kMusic, p);
    pollNow();
    pollNow();
    EXPECT_FALSE(m.hasArtwork());
    EXPECT_EQ(m.artworkColor(), QString());
    EXPECT_EQ(sim_.players().askedCount(artworkScript(MediaApp::Music)), 2);
}

TEST_F(MediaControllerTest, ArtworkKeyTellsFieldsApart) {
    auto& m = make();
    SimPlayer p;
    p.rawReply = QStringLiteral("playing|~|a|b|~|c|~|1|~|2|~|3");
    sim_.players().setPlayer(kMusic, p);
    pollNow();
    p.rawReply = QStringLiteral("playing|~|a|~|b|c|~|1|~|2|~|3");
    sim_.players().setPlayer(kMusic, p);
    pollNow();
    EXPECT_EQ(m.artist(), QStringLiteral("b|c"));
    EXPECT_EQ(sim_.players().askedCount(artworkScript(MediaApp::Music)), 2);
}

TEST_F(MediaControllerTest, SpotifyArtworkDownloadFailureClearsTheCover) {
    const QUrl url(QStringLiteral("https://i.example/a.jpg"));
    const QByteArray body(100, 'j');
    sim_.downloads().setBody(url, body);
    sim_.pictures().setPicture(body, solid(0xFF000000u));
    auto& m = make();
    SimPlayer p;
    p.title = QStringLiteral("One");
    p.artworkUrl = url.toString();
    sim_.players().setPlayer(kSpotify, p);
    pollNow();
    EXPECT_EQ(m.artworkColor(), QStringLiteral("#000000"));

    p.title = QStringLiteral("Two");
    p.artworkUrl = QStringLiteral("https://i.example/missing.jpg");
    sim_.players().setPlayer(kSpotify, p);
    pollNow();
    EXPECT_FALSE(m.hasArtwork());
    EXPECT_EQ(sim_.downloads().requests().size(), 2u);
}

TEST_F(MediaControllerTest, RequestDuringPollMakesOneTrailingPoll) {
    auto& m = make();
    set(kMusic, "playing", "M");
    sim_.players().setReplyDelay(1.0);
    m.poll();
    m.poll();
    m.poll();
    scheduler_.advance(1.0);
    EXPECT_EQ(stateQueries(), 2);
    scheduler_.advance(1.0);
    EXPECT_EQ(stateQueries(), 2);
    EXPECT_TRUE(m.hasNowPlaying());
}

TEST_F(MediaControllerTest, ReplyFromBeforeASeekDoesNotUndoIt) {
    auto& m = make();
    set(kMusic, "paused", "M", 10, 200);
    pollNow();
    sim_.players().setReplyDelay(1.0);
    m.poll();
    set(kMusic, "paused", "M", 20, 200); // the old reply carries 20
    m.seek(100);
    scheduler_.advance(2.0);
    EXPECT_EQ(std::count(published_.begin(), published_.end(), 20.0), 0);
    EXPECT_DOUBLE_EQ(m.position(), 100);
}

TEST_F(MediaControllerTest, ReplyFromBeforeACommandDoesNotUndoIt) {
    auto& m = make();
    set(kMusic, "playing", "M");
    pollNow();
    set(kMusic, "playing", "M", 5);
    sim_.players().setReplyDelay(1.0);
    m.poll(); // its reply says playing at 5
    m.playPause();
    std::vector<bool> shown;
    QObject::connect(&m, &MediaController::nowPlayingChanged, [&] { shown.push_back(m.isPlaying()); });
    scheduler_.advance(2.0);
    EXPECT_EQ(shown, std::vector<bool>{false});
}

TEST_F(MediaControllerTest, StoppedPollNeverApplies) {
    auto& m = make();
    set(kMusic, "playing", "M");
    sim_.players().setReplyDelay(1.0);
    m.poll();
    m.stopPolling();
    scheduler_.advance(2.0);
    EXPECT_FALSE(m.hasNowPlaying());
}

TEST_F(MediaControllerTest, SilentPlayerCountsAsNoAnswerAfterThreeSeconds) {
    auto& m = make();
    set(kMusic, "playing", "M");
    pollNow();
    sim_.players().setReplyDelay(std::nullopt);
    m.poll();
    scheduler_.advance(2.9);
    EXPECT_TRUE(m.isPollRunning());
    scheduler_.advance(0.1);
    EXPECT_FALSE(m.isPollRunning());
    EXPECT_FALSE(m.hasNowPlaying());
}

} // namespace
} // namespace tillory::notch
