#include "platform/linux/mpris_scripts.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace tillory::platform::nix {

namespace {

const QString kSeparator = QStringLiteral("|~|");
// Long enough for any real title; keeps a hostile one from growing every poll's reply.
constexpr qsizetype kMaxFieldLength = 4096;

QString collapsed(const QString& source) {
    return source.simplified();
}

QString stateScript(const QString& name, const QString& duration) {
    return collapsed(QStringLiteral("tell application \"%1\"\n"
                                    "set theState to (player state as string)\n"
                                    "if theState is in {\"playing\", \"paused\"} then\n"
                                    "return theState & \"|~|\" & (name of current track) & \"|~|\" & (artist of "
                                    "current track) & \"|~|\" & (player position as string) & \"|~|\" & ((%2) as "
                                    "string) & \"|~|\" & (sound volume as string)\n"
                                    "end if\n"
                                    "return theState\n"
                                    "end tell")
                         .arg(name, duration));
}

/// Seconds with '.' and at most millisecond precision, without trailing zeros.
QString seconds(double value) {
    if (!std::isfinite(value) || value < 0) {
        value = 0;
    }
    QString text = QString::number(value, 'f', 3);
    while (text.endsWith(QLatin1Char('0'))) {
        text.chop(1);
    }
    if (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    return text;
}

std::optional<double> number(const QVariant& value) {
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (!ok || !std::isfinite(d)) {
        return std::nullopt;
    }
    return d;
}

} // namespace

std::optional<MprisScript> parseMprisScript(const QString& source) {
    using Kind = MprisScript::Kind;
    using Player = MprisScript::Player;
    const QString text = collapsed(source);
    if (text == stateScript(QStringLiteral("Music"), QStringLiteral("duration of current track"))) {
        return MprisScript{Player::Music, Kind::State, 0};
    }
    if (text == stateScript(QStringLiteral("Spotify"), QStringLiteral("(duration of current track) / 1000"))) {
        return MprisScript{Player::Spotify, Kind::State, 0};
    }
    static const QRegularExpression command(
        QStringLiteral("^tell application \"(Music|Spotify)\" to (playpause|next track|previous track|"
                       "set player position to ([0-9]{1,9})|set sound volume to ([0-9]{1,3})|"
                       "get artwork url of current track|get data of artwork 1 of current track)$"));
    const QRegularExpressionMatch m = command.match(text);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    const Player player = m.captured(1) == QLatin1String("Spotify") ? Player::Spotify : Player::Music;
    const QString verb = m.captured(2);
    if (verb == QLatin1String("playpause")) {
        return MprisScript{player, Kind::PlayPause, 0};
    }
    if (verb == QLatin1String("next track")) {
        return MprisScript{player, Kind::Next, 0};
    }
    if (verb == QLatin1String("previous track")) {
        return MprisScript{player, Kind::Previous, 0};
    }
    if (!m.captured(3).isEmpty()) {
        return MprisScript{player, Kind::SetPosition, m.captured(3).toLongLong()};
    }
    if (!m.captured(4).isEmpty()) {
        const qint64 volume = m.captured(4).toLongLong();
        if (volume > 100) {
            return std::nullopt;
        }
        return MprisScript{player, Kind::SetVolume, volume};
    }
    // Each player has the one artwork script it is sent.
    if (verb.contains(QLatin1String("url"))) {
        return player == Player::Spotify ? std::optional(MprisScript{player, Kind::ArtworkUrl, 0}) : std::nullopt;
    }
    return player == Player::Music ? std::optional(MprisScript{player, Kind::ArtworkData, 0}) : std::nullopt;
}

QString mprisReplyField(const QString& text) {
    QString out;
    out.reserve(std::min(text.size(), kMaxFieldLength));
    for (qsizetype i = 0; i < text.size() && out.size() < kMaxFieldLength; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            if (out.size() + 2 > kMaxFieldLength) {
                break;
            }
            out.append(c);
            out.append(text.at(++i));
        } else if (c.isSurrogate()) {
            out.append(QChar::ReplacementCharacter);
        } else if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar::LineSeparator ||
                   c == QChar::ParagraphSeparator || c.unicode() == 0x85) {
            out.append(QLatin1Char(' '));
        } else {
            out.append(c);
        }
    }
    // Each pass removes a '~', so this ends; "|~|~|" needs two.
    while (out.contains(kSeparator)) {
        out.replace(kSeparator, QStringLiteral("| |"));
    }
    return out;
}

std::optional<QString> mprisStateReply(const QVariantMap& properties) {
    const QString status = properties.value(QStringLiteral("PlaybackStatus")).toString();
    QString state;
    if (status == QLatin1String("Playing")) {
        state = QStringLiteral("playing");
    } else if (status == QLatin1String("Paused")) {
        state = QStringLiteral("paused");
    } else if (status == QLatin1String("Stopped")) {
        return QStringLiteral("stopped");
    } else {
        return std::nullopt;
    }
    const QVariantMap metadata = properties.value(QStringLiteral("Metadata")).toMap();
    const QVariant artistValue = metadata.value(QStringLiteral("xesam:artist"));
    const QString artist = artistValue.canConvert<QStringList>() && artistValue.typeId() != QMetaType::QString
                               ? artistValue.toStringList().join(QStringLiteral(", "))
                               : artistValue.toString();
    const double position = number(properties.value(QStringLiteral("Position"))).value_or(0) / 1e6;
    const double duration = number(metadata.value(QStringLiteral("mpris:length"))).value_or(0) / 1e6;
    QString volume;
    if (const auto v = number(properties.value(QStringLiteral("Volume")))) {
        volume = QString::number(std::clamp(static_cast<int>(std::lround(std::clamp(*v, 0.0, 1.0) * 100)), 0, 100));
    }
    const QStringList fields{state,
                             mprisReplyField(metadata.value(QStringLiteral("xesam:title")).toString()),
                             mprisReplyField(artist),
                             seconds(position),
                             seconds(duration),
                             volume};
    return fields.join(kSeparator);
}

} // namespace tillory::platform::nix
