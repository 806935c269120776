#include "platform/linux/desktop_appearance.h"
#include "platform/linux/mpris_script_runner.h"
#include "platform/linux/qt_url_fetcher.h"
#include "platform/linux/tests/media_script_texts.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>

#include <memory>

// Readable failures: gtest would print a QString as its UTF-16 units.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace tillory::platform::nix {
namespace {

// Debian's own interpreter: another python3 earlier on PATH may lack the bindings.
const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kMusic = QStringLiteral("com.apple.Music");
const QString kSpotify = QStringLiteral("com.spotify.client");
const QString kMusicState = QString::fromUtf8(kMusicStateScript);
const QString kSpotifyState = QString::fromUtf8(kSpotifyStateScript);

/// A private bus for the whole program, so no test reaches the machine's players.
class PrivateBus : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char arg0[] = "mpris_test";
        static char* argv[] = {arg0, nullptr};
        new QCoreApplication(argc, argv); // lives to the end: QtDBus tears down after static destructors begin
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
            reason = QStringLiteral("dbus-daemon is not available");
            return;
        }
        if (QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import dbus, gi")}) != 0) {
            reason = QStringLiteral("python3-dbus or python3-gi is not installed");
            return;
        }
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!daemon_.waitForReadyRead(30000)) {
            reason = QStringLiteral("a working dbus-daemon is not available");
            return;
        }
        address = QString::fromLocal8Bit(daemon_.readLine().trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toLocal8Bit());
    }
    void TearDown() override {
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    static inline QString reason;
    static inline QString address;

private:
    QProcess daemon_;
};
const auto* const kBus = ::testing::AddGlobalTestEnvironment(new PrivateBus);

class MprisScriptRunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PrivateBus::reason.isEmpty()) {
            GTEST_SKIP() << PrivateBus::reason.toStdString();
        }
        bus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(PrivateBus::address, name_));
        ASSERT_TRUE(bus_->isConnected());
        runner_ = std::make_unique<MprisScriptRunner>(*bus_, &fetcher_);
    }
    void TearDown() override {
        runner_.reset();
        for (auto& player : players_) {
            player->kill();
            player->waitForFinished(5000);
        }
        bus_.reset();
        QDBusConnection::disconnectFromBus(name_);
    }

    /// Starts the fake player as org.mpris.MediaPlayer2.<name> and waits until it owns the name.
    QProcess& start(const QString& name, QStringList options = {}) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(kPython,
                       QStringList{QStringLiteral(TILLORY_FAKE_PLAYER), QStringLiteral("--name"), name} + options);
        EXPECT_TRUE(process->waitForReadyRead(20000)) << "the fake player did not start";
        players_.push_back(std::move(process));
        sync();
        return *players_.back();
    }
    /// Lets the signals the bus sent before now reach the runner.
    void sync() {
        bus_->call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                  QStringLiteral("/org/freedesktop/DBus"),
                                                  QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
        QCoreApplication::processEvents();
    }
    /// Tells a fake player to change as a user would.
    void control(const QString& name, const QString& status) {
        bus_->call(QDBusMessage::createMethodCall(QStringLiteral("org.mpris.MediaPlayer2.") + name,
                                                  QStringLiteral("/org/mpris/MediaPlayer2"),
                                                  QStringLiteral("org.example.TestPlayer"), QStringLiteral("SetStatus"))
                   << status);
        sync();
    }
    template <typename T> std::optional<T> await(std::optional<std::optional<T>>& slot) {
        // Far beyond the runner's own deadlines: only a lost reply gets here.
        const QDeadlineTimer limit(20000);
        while (!slot && !limit.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        }
        EXPECT_TRUE(slot.has_value()) << "no reply";
        return slot.value_or(std::nullopt);
    }
    std::optional<QString> query(const QString& script) {
        std::optional<std::optional<QString>> slot;
        runner_->string(script, [&slot](std::optional<QString> reply) { slot = std::move(reply); });
        EXPECT_FALSE(slot.has_value()) << "answered from inside the call";
        return await(slot);
    }
    std::optional<QByteArray> queryData(const QString& script) {
        std::optional<std::optional<QByteArray>> slot;
        runner_->data(script, [&slot](std::optional<QByteArray> reply) { slot = std::move(reply); });
        return await(slot);
    }

    const QString name_ = QStringLiteral("mpris-runner-test");
    std::unique_ptr<QDBusConnection> bus_;
    QtUrlFetcher fetcher_;
    std::unique_ptr<MprisScriptRunner> runner_;
    std::vector<std::unique_ptr<QProcess>> players_;
};

TEST_F(MprisScriptRunnerTest, StateRepliesAreBuiltFromThePlayersProperties) {
    const struct {
        QStringList options;
        const char* reply;
    } cases[] = {
        {{}, "playing|~|First|~|Artist|~|12.5|~|200.25|~|40"},
        {{"--status", "Paused", "--position", "0", "--length", "180"}, "paused|~|First|~|Artist|~|0|~|180|~|40"},
        {{"--status", "Stopped"}, "stopped"},
        {{"--no-volume"}, "playing|~|First|~|Artist|~|12.5|~|200.25|~|"},
        {{"--volume", "0.555", "--length", "215"}, "playing|~|First|~|Artist|~|12.5|~|215|~|56"},
        {{"--title", "A|~|B\nC", "--artist", "X", "--artist", "Y|~|~|Z"},
         "playing|~|A| |B C|~|X, Y| | |Z|~|12.5|~|200.25|~|40"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString name = QStringLiteral("fake%1").arg(n++);
        QProcess& player = start(name, c.options);
        EXPECT_EQ(query(kMusicState), QString::fromUtf8(c.reply)) << c.options.join(' ').toStdString();
        player.kill();
        player.waitForFinished(5000);
        sync();
    }
}

TEST_F(MprisScriptRunnerTest, CommandsReachThePlayerBeforeALaterQuery) {
    const struct {
        const char* command;
        const char* reply;
    } cases[] = {
        {"tell application \"Music\" to playpause", "paused|~|First|~|Artist|~|12.5|~|200.25|~|40"},
        {"tell application \"Music\" to playpause", "playing|~|First|~|Artist|~|12.5|~|200.25|~|40"},
        {"tell application \"Music\" to next track", "playing|~|Second|~|Artist|~|12.5|~|200.25|~|40"},
        {"tell application \"Music\" to previous track", "playing|~|First|~|Artist|~|12.5|~|200.25|~|40"},
        {"tell application \"Music\" to set player position to 61", "playing|~|First|~|Artist|~|61|~|200.25|~|40"},
        {"tell application \"Music\" to set sound volume to 75", "playing|~|First|~|Artist|~|61|~|200.25|~|75"},
        {"tell application \"Music\" to quit", "playing|~|First|~|Artist|~|61|~|200.25|~|75"},
    };
    start(QStringLiteral("mpv"));
    for (const auto& c : cases) {
        runner_->fire(QString::fromUtf8(c.command));
        EXPECT_EQ(query(kMusicState), QString::fromUtf8(c.reply)) << c.command;
    }
}

TEST_F(MprisScriptRunnerTest, APlayerWithoutUsableTrackIdsIsSoughtRelatively) {
    for (const char* option : {"--no-trackid", "--string-trackid"}) {
        QProcess& player = start(QStringLiteral("plain"), {QString::fromUtf8(option)});
        runner_->fire(QStringLiteral("tell application \"Music\" to set player position to 30"));
        EXPECT_EQ(query(kMusicState), QStringLiteral("playing|~|First|~|Artist|~|30|~|200.25|~|40")) << option;
        player.kill();
        player.waitForFinished(5000);
        sync();
    }
}

TEST_F(MprisScriptRunnerTest, SpotifyIsItsOwnBusNameAndMusicAnyOther) {
    start(QStringLiteral("playerctld")); // only forwards to another player
    EXPECT_FALSE(runner_->isRunning(kMusic));
    EXPECT_FALSE(runner_->isRunning(kSpotify));
    EXPECT_EQ(query(kMusicState), std::nullopt);
    QProcess& spotify = start(QStringLiteral("spotify.instance42"), {QStringLiteral("--title"), QStringLiteral("Sp")});
    EXPECT_FALSE(runner_->isRunning(kMusic));
    EXPECT_TRUE(runner_->isRunning(kSpotify));
    start(QStringLiteral("vlc"), {QStringLiteral("--title"), QStringLiteral("Other")});
    EXPECT_TRUE(runner_->isRunning(kMusic));
    EXPECT_EQ(query(kSpotifyState), QStringLiteral("playing|~|Sp|~|Artist|~|12.5|~|200.25|~|40"));
    EXPECT_EQ(query(kMusicState), QStringLiteral("playing|~|Other|~|Artist|~|12.5|~|200.25|~|40"));
    spotify.kill();
    spotify.waitForFinished(5000);
    sync();
    EXPECT_FALSE(runner_->isRunning(kSpotify));
    EXPECT_EQ(query(kSpotifyState), std::nullopt);
    EXPECT_FALSE(runner_->isRunning(QStringLiteral("org.mpris.MediaPlayer2.vlc")));
}

TEST_F(MprisScriptRunnerTest, PlayersRunningBeforeItStartsAreFound) {
    start(QStringLiteral("early"), {QStringLiteral("--status"), QStringLiteral("Stopped")});
    runner_ = std::make_unique<MprisScriptRunner>(*bus_, &fetcher_);
    EXPECT_TRUE(runner_->isRunning(kMusic));
    EXPECT_EQ(query(kMusicState), QStringLiteral("stopped"));
}

TEST_F(MprisScriptRunnerTest, MusicIsThePlayingPlayerThenTheMostRecentlyActive) {
    start(QStringLiteral("alpha"), {QStringLiteral("--title"), QStringLiteral("Alpha")});
    const auto title = [this] { return query(kMusicState).value_or(QString()).section(QStringLiteral("|~|"), 1, 1); };
    EXPECT_EQ(title(), QStringLiteral("Alpha"));
    start(QStringLiteral("beta"),
          {QStringLiteral("--title"), QStringLiteral("Beta"), QStringLiteral("--status"), QStringLiteral("Paused")});
    EXPECT_EQ(title(), QStringLiteral("Alpha")); // beta came later but alpha plays
    const struct {
        const char* player;
        const char* status;
        const char* shown;
    } steps[] = {
        {"alpha", "Paused", "Alpha"}, {"beta", "Paused", "Beta"},  {"alpha", "Paused", "Alpha"},
        {"beta", "Playing", "Beta"},  {"alpha", "Paused", "Beta"}, {"alpha", "Playing", "Alpha"},
    };
    for (const auto& s : steps) {
        control(QString::fromUtf8(s.player), QString::fromUtf8(s.status));
        EXPECT_EQ(title(), QString::fromUtf8(s.shown)) << s.player << " " << s.status;
    }
}

TEST_F(MprisScriptRunnerTest, EachPlayerIsAddressedByItsOwnBusName) {
    start(QStringLiteral("alpha"), {QStringLiteral("--title"), QStringLiteral("Alpha")});
    start(QStringLiteral("vlc.instance4242"), {QStringLiteral("--title"), QStringLiteral("Beta")});
    QProcess& spotify = start(QStringLiteral("spotify"), {QStringLiteral("--title"), QStringLiteral("Sp")});
    const QString alpha = QStringLiteral("org.mpris.MediaPlayer2.alpha");
    const QString beta = QStringLiteral("org.mpris.MediaPlayer2.vlc.instance4242");
    const QString spotifyName = QStringLiteral("org.mpris.MediaPlayer2.spotify");
    // Most recently active first; the name leaves out the instance a player adds for each run.
    EXPECT_EQ(runner_->players(kMusic),
              (std::vector<PlayerRef>{{beta, QStringLiteral("org.mpris.MediaPlayer2.vlc")}, {alpha, alpha}}));
    EXPECT_EQ(runner_->players(kSpotify), (std::vector<PlayerRef>{{spotifyName, spotifyName}}));
    EXPECT_TRUE(runner_->players(QStringLiteral("org.example.other")).empty());

    const auto stateOf = [this](const QString& player, const QString& script) {
        std::optional<std::optional<QString>> slot;
        runner_->string(player, script, [&slot](std::optional<QString> reply) { slot = std::move(reply); });
        return await(slot).value_or(QStringLiteral("none")).section(QStringLiteral("|~|"), 0, 1);
    };
    const struct {
        QString player;
        const char* command;
        const char* alpha;
        const char* beta;
    } steps[] = {
        {alpha, "tell application \"Music\" to playpause", "paused|~|Alpha", "playing|~|Beta"},
        {beta, "tell application \"Music\" to playpause", "paused|~|Alpha", "paused|~|Beta"},
        {alpha, "tell application \"Music\" to playpause", "playing|~|Alpha", "paused|~|Beta"},
        {spotifyName, "tell application \"Music\" to playpause", "playing|~|Alpha", "paused|~|Beta"}, // not Music
        {beta, "tell application \"Spotify\" to playpause", "playing|~|Alpha", "paused|~|Beta"},      // not Spotify
    };
    for (const auto& step : steps) {
        runner_->fire(step.player, QString::fromUtf8(step.command));
        EXPECT_EQ(stateOf(alpha, kMusicState), QString::fromUtf8(step.alpha)) << step.command;
        EXPECT_EQ(stateOf(beta, kMusicState), QString::fromUtf8(step.beta)) << step.command;
    }
    EXPECT_EQ(stateOf(spotifyName, kSpotifyState), QStringLiteral("playing|~|Sp"));
    // A player that has gone answers nothing, and its scripts reach no other player.
    spotify.kill();
    spotify.waitForFinished(5000);
    sync();
    EXPECT_EQ(stateOf(spotifyName, kSpotifyState), QStringLiteral("none"));
    runner_->fire(QStringLiteral("org.mpris.MediaPlayer2.gone"),
                  QStringLiteral("tell application \"Music\" to playpause"));
    EXPECT_EQ(stateOf(alpha, kMusicState), QStringLiteral("playing|~|Alpha"));
    EXPECT_EQ(stateOf(QStringLiteral("org.mpris.MediaPlayer2.gone"), kMusicState), QStringLiteral("none"));
}

TEST_F(MprisScriptRunnerTest, ACoverThatNeverArrivesHoldsBackNoCommand) {
    // Accepts the connection and never says a word: the TLS handshake waits until the fetch gives up.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const QString art = QStringLiteral("https://127.0.0.1:%1/cover.png").arg(silent.serverPort());
    const QString player = QStringLiteral("org.mpris.MediaPlayer2.mpv");
    start(QStringLiteral("mpv"), {QStringLiteral("--art"), art});
    std::optional<std::optional<QByteArray>> cover;
    runner_->data(player, QStringLiteral("tell application \"Music\" to get data of artwork 1 of current track"),
                  [&cover](std::optional<QByteArray> bytes) { cover = std::move(bytes); });
    runner_->fire(player, QStringLiteral("tell application \"Music\" to playpause"));
    std::optional<std::optional<QString>> state;
    runner_->string(player, kMusicState, [&state](std::optional<QString> reply) { state = std::move(reply); });
    EXPECT_EQ(await(state).value_or(QString()).section(QStringLiteral("|~|"), 0, 0), QStringLiteral("paused"));
    EXPECT_FALSE(cover.has_value()) << "the command waited for the cover";
    EXPECT_EQ(await(cover), std::nullopt);
}

TEST_F(MprisScriptRunnerTest, AHungPlayerCostsOnlyItsOwnAnswer) {
    start(QStringLiteral("stuck"), {QStringLiteral("--hang")});
    EXPECT_TRUE(runner_->isRunning(kMusic));
    EXPECT_EQ(query(kMusicState), std::nullopt);
    start(QStringLiteral("spotify"));
    EXPECT_EQ(query(kSpotifyState), QStringLiteral("playing|~|First|~|Artist|~|12.5|~|200.25|~|40"));
}

TEST_F(MprisScriptRunnerTest, ArtworkComesFromTheArtUrl) {
    QTemporaryDir dir;
    const auto write = [&dir](const QString& name, qint64 size) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'x'));
        return QUrl::fromLocalFile(file.fileName()).toString();
    };
    const QString small = write(QStringLiteral("cover.png"), 1000);
    const QString large = write(QStringLiteral("huge.png"), 4 * 1024 * 1024 + 1);
    const QString url = QStringLiteral("tell application \"Spotify\" to get artwork url of current track");
    const QString data = QStringLiteral("tell application \"Music\" to get data of artwork 1 of current track");
    const struct {
        const char* name;
        QString art;
        std::optional<QString> url;
        std::optional<qsizetype> bytes;
    } cases[] = {
        {"spotify", QStringLiteral("https://127.0.0.1/a.png"), QStringLiteral("https://127.0.0.1/a.png"), {}},
        {"spotify.instance7", QString(), std::nullopt, {}},
        {"mpv", small, {}, 1000},
        {"vlc", large, {}, std::nullopt},
        {"firefox", QStringLiteral("ftp://127.0.0.1/a.png"), {}, std::nullopt},
    };
    for (const auto& c : cases) {
        QProcess& player = start(QString::fromUtf8(c.name), {QStringLiteral("--art"), c.art});
        if (QString::fromUtf8(c.name).startsWith(QLatin1String("spotify"))) {
            EXPECT_EQ(query(url), c.url) << c.name;
        } else {
            const auto bytes = queryData(data);
            EXPECT_EQ(bytes ? std::optional(bytes->size()) : std::nullopt, c.bytes) << c.name;
        }
        player.kill();
        player.waitForFinished(5000);
        sync();
    }
}

TEST(GtkColorScheme, DarkPreferenceThenDarkThemeThenAnyThemeIsLight) {
    using Scheme = Appearance::ColorScheme;
    const std::pair<const char*, Scheme> cases[] = {
        {"[Settings]\ngtk-application-prefer-dark-theme=1\ngtk-theme-name=Adwaita\n", Scheme::dark},
        {"[Settings]\ngtk-application-prefer-dark-theme = true\n", Scheme::dark},
        {"[Settings]\ngtk-theme-name=Adwaita-dark\n", Scheme::dark},
        {"[Settings]\ngtk-theme-name=\"Arc:dark\"\n", Scheme::dark},
        {"[Settings]\ngtk-theme-name=Adwaita\ngtk-application-prefer-dark-theme=0\n", Scheme::light},
        {"[Settings]\ngtk-application-prefer-dark-theme=false\n", Scheme::light},
        {"[Settings]\ngtk-font-name=Cantarell 11\n", Scheme::unstated},
        {"", Scheme::unstated},
        {"gtk-theme-name", Scheme::unstated},
    };
    for (const auto& [ini, scheme] : cases) {
        EXPECT_EQ(gtkColorScheme(QString::fromUtf8(ini)), scheme) << ini;
    }
}

class DesktopAppearanceTest : public MprisScriptRunnerTest {
protected:
    /// Starts the fake portal and waits until it owns its name.
    void startPortal(QStringList options) {
        portal_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        portal_.start(kPython, QStringList{QStringLiteral(TILLORY_FAKE_PORTAL)} + options);
        ASSERT_TRUE(portal_.waitForReadyRead(20000)) << "the fake portal did not start";
        sync();
    }
    Appearance::ColorScheme settle(DesktopAppearance& appearance, Appearance::ColorScheme wanted) {
        const QDeadlineTimer limit(10000);
        while (appearance.colorScheme() != wanted && !limit.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        }
        return appearance.colorScheme();
    }
    void TearDown() override {
        portal_.kill();
        portal_.waitForFinished(5000);
        MprisScriptRunnerTest::TearDown();
    }
    QProcess portal_;
    QTemporaryDir config_;
};

TEST_F(DesktopAppearanceTest, ThePortalsSchemeWinsAndIsFollowedElseGtksSettings) {
    using Scheme = Appearance::ColorScheme;
    ASSERT_TRUE(QDir(config_.path()).mkpath(QStringLiteral("gtk-3.0")));
    QFile ini(config_.filePath(QStringLiteral("gtk-3.0/settings.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Settings]\ngtk-theme-name=Adwaita\n");
    ini.close();
    {
        DesktopAppearance noPortal(*bus_, config_.path());
        EXPECT_EQ(settle(noPortal, Scheme::light), Scheme::light) << "GTK's named theme without a portal";
    }
    startPortal({QStringLiteral("--scheme"), QStringLiteral("1"), QStringLiteral("--nested")});
    DesktopAppearance appearance(*bus_, config_.path());
    EXPECT_EQ(settle(appearance, Scheme::dark), Scheme::dark);
    const std::pair<uint, Scheme> switches[] = {{2, Scheme::light}, {1, Scheme::dark}, {0, Scheme::light}};
    for (const auto& [value, scheme] : switches) {
        bus_->call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
                                                  QStringLiteral("/org/freedesktop/portal/desktop"),
                                                  QStringLiteral("org.example.TestPortal"), QStringLiteral("SetScheme"))
                   << value);
        // 0 is no preference: GTK's settings speak again.
        EXPECT_EQ(settle(appearance, scheme), scheme) << value;
    }
}

} // namespace
} // namespace tillory::platform::nix
