#include "notch/media_reply.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace tillory::notch {
namespace {

const QString kSeparator = QStringLiteral("|~|");
constexpr double kLongestTrack = 7 * 24 * 3600.0;

double seconds(QString text) {
    bool ok = false;
    const double value = text.replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok && std::isfinite(value) && value >= 0 ? value : 0.0;
}

} // namespace

QString stateScript(MediaApp app) {
    const QString duration = app == MediaApp::Spotify ? QStringLiteral("(duration of current track) / 1000")
                                                      : QStringLiteral("duration of current track");
    return QStringLiteral("tell application \"%1\"\n"
                          "    set theState to (player state as string)\n"
                          "    if theState is in {\"playing\", \"paused\"} then\n"
                          "        return theState & \"|~|\" & (name of current track) & \"|~|\" & (artist of current "
                          "track) & \"|~|\" & (player position as string) & \"|~|\" & ((%2) as string) & \"|~|\" & "
                          "(sound volume as string)\n"
                          "    end if\n"
                          "    return theState\n"
                          "end tell")
        .arg(scriptName(app), duration);
}

QString commandScript(MediaApp app, const QString& command) {
    return QStringLiteral("tell application \"%1\" to %2").arg(scriptName(app), command);
}

QString artworkScript(MediaApp app) {
    return app == MediaApp::Spotify ? commandScript(app, QStringLiteral("get artwork url of current track"))
                                    : commandScript(app, QStringLiteral("get data of artwork 1 of current track"));
}

std::optional<NowPlaying> parseStateReply(const QString& reply, MediaApp app) {
    const QStringList parts = reply.split(kSeparator);
    if (parts.size() < 6) {
        return std::nullopt;
    }
    const qsizetype n = parts.size();
    NowPlaying result;
    result.app = app;
    result.isPlaying = parts[0] == QLatin1String("playing");
    result.title = parts.mid(1, n - 5).join(kSeparator);
    result.artist = parts[n - 4];
    result.position = seconds(parts[n - 3]);
    result.duration = seconds(parts[n - 2]);
    // Streams report absurd lengths rather than none: past a week nothing real is that long.
    if (result.duration > kLongestTrack) {
        result.duration = 0;
    }
    bool ok = false;
    const qlonglong volume = parts[n - 1].toLongLong(&ok, 10);
    result.volumeKnown = ok;
    result.volume = ok ? static_cast<int>(std::clamp<qlonglong>(volume, 0, 100)) : 70;
    return result;
}

QString clockText(double seconds) {
    const qint64 s = std::isfinite(seconds) && seconds > 0 ? std::llround(std::min(seconds, kLongestTrack)) : 0;
    if (s < 100 * 60) {
        return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString isolated(const QString& field) {
    const bool steers = std::any_of(field.begin(), field.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return u == 0x061c || u == 0x200e || u == 0x200f || (u >= 0x202a && u <= 0x202e) ||
               (u >= 0x2066 && u <= 0x2069);
    });
    return steers ? QChar(0x2068) + field + QChar(0x2069) : field;
}

} // namespace tillory::notch
