#include "platform/linux/mpris_scripts.h"
#include "platform/linux/tests/media_script_texts.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace tillory::platform::nix {
namespace {

using Kind = MprisScript::Kind;
using Player = MprisScript::Player;

const char* const kMusicState = kMusicStateScript;
const char* const kSpotifyState = kSpotifyStateScript;

TEST(MprisScripts, RecognisesExactlyTheKnownForms) {
    const QString crlfMusic = QString::fromUtf8(kMusicState).replace(QStringLiteral("\n"), QStringLiteral("\r\n\t"));
    const QString spotifyAsMusic =
        QString::fromUtf8(kSpotifyState).replace(QStringLiteral("\"Spotify\""), QStringLiteral("\"Music\""));
    const struct {
        QString source;
        std::optional<MprisScript> script;
    } cases[] = {
        {kMusicState, MprisScript{Player::Music, Kind::State, 0}},
        {kSpotifyState, MprisScript{Player::Spotify, Kind::State, 0}},
        {crlfMusic, MprisScript{Player::Music, Kind::State, 0}},
        {spotifyAsMusic, std::nullopt}, // milliseconds only come from Spotify
        {QString::fromUtf8(kMusicState).append(QStringLiteral("\nbeep")), std::nullopt},
        {"tell application \"Music\" to playpause", MprisScript{Player::Music, Kind::PlayPause, 0}},
        {"  tell application \"Spotify\"  to next track\n", MprisScript{Player::Spotify, Kind::Next, 0}},
        {"tell application \"Music\" to previous track", MprisScript{Player::Music, Kind::Previous, 0}},
        {"tell application \"Music\" to set player position to 61", MprisScript{Player::Music, Kind::SetPosition, 61}},
        {"tell application \"Music\" to set player position to -1", std::nullopt},
        {"tell application \"Music\" to set player position to 1.5", std::nullopt},
        {"tell application \"Spotify\" to set sound volume to 100", MprisScript{Player::Spotify, Kind::SetVolume, 100}},
        {"tell application \"Spotify\" to set sound volume to 0", MprisScript{Player::Spotify, Kind::SetVolume, 0}},
        {"tell application \"Spotify\" to set sound volume to 101", std::nullopt},
        {"tell application \"Spotify\" to get artwork url of current track",
         MprisScript{Player::Spotify, Kind::ArtworkUrl, 0}},
        {"tell application \"Music\" to get data of artwork 1 of current track",
         MprisScript{Player::Music, Kind::ArtworkData, 0}},
        {"tell application \"Music\" to get artwork url of current track", std::nullopt},
        {"tell application \"Spotify\" to get data of artwork 1 of current track", std::nullopt},
        {"tell application \"Music\" to quit", std::nullopt},
        {"tell application \"Finder\" to playpause", std::nullopt},
        {"tell application \"Music\" to playpause\nplaypause", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseMprisScript(c.source), c.script) << c.source.toStdString();
    }
}

TEST(MprisScripts, FieldsCannotBreakAReply) {
    const struct {
        QString text;
        QString field;
    } cases[] = {
        {"plain", "plain"},
        {"a|~|b", "a| |b"},
        {"|~|~|", "| | |"},
        {"one\ntwo\r\nthree\u2028four", "one two  three four"},
        {QString(QChar(0xd800)) + "x", QString(QChar::ReplacementCharacter) + "x"},
        {"\U0001F3B5 ok", "\U0001F3B5 ok"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mprisReplyField(c.text), c.field) << c.text.toStdString();
    }
    EXPECT_EQ(mprisReplyField(QString(100000, QLatin1Char('a'))).size(), 4096);
}

TEST(MprisScripts, StateRepliesFromProperties) {
    const QVariantMap metadata{
        {"xesam:title", "Song"}, {"xesam:artist", QStringList{"A", "B"}}, {"mpris:length", qlonglong(215000000)}};
    const auto props = [&metadata](const char* status, QVariant volume, QVariant position = qlonglong(12500000)) {
        QVariantMap p{{"PlaybackStatus", status}, {"Metadata", metadata}, {"Position", position}};
        if (volume.isValid()) {
            p.insert("Volume", volume);
        }
        return p;
    };
    const struct {
        QVariantMap properties;
        std::optional<QString> reply;
    } cases[] = {
        {props("Playing", 0.4), "playing|~|Song|~|A, B|~|12.5|~|215|~|40"},
        {props("Paused", 1.7), "paused|~|Song|~|A, B|~|12.5|~|215|~|100"},
        {props("Paused", -0.2, qlonglong(-5)), "paused|~|Song|~|A, B|~|0|~|215|~|0"},
        {props("Playing", QVariant(), qlonglong(1234567)), "playing|~|Song|~|A, B|~|1.235|~|215|~|"},
        {props("Playing", std::numeric_limits<double>::quiet_NaN()), "playing|~|Song|~|A, B|~|12.5|~|215|~|"},
        {props("Stopped", 0.4), "stopped"},
        {props("Buffering", 0.4), std::nullopt},
        {QVariantMap{{"PlaybackStatus", "Playing"}}, "playing|~||~||~|0|~|0|~|"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mprisStateReply(c.properties), c.reply);
    }
}

} // namespace
} // namespace tillory::platform::nix
