#include "platform/linux/mpris_script_runner.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QPointer>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

#include <utility>

namespace tillory::platform::nix {

namespace {

const QString kPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
const QString kSpotifyName = QStringLiteral("org.mpris.MediaPlayer2.spotify");
// Forwards to whichever player it thinks is active: counting it would show one player twice.
const QString kProxyName = QStringLiteral("org.mpris.MediaPlayer2.playerctld");
const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
const QString kMusicBundle = QStringLiteral("com.apple.Music");
const QString kSpotifyBundle = QStringLiteral("com.spotify.client");

bool isSpotify(const QString& name) {
    return name == kSpotifyName || name.startsWith(kSpotifyName + QLatin1Char('.'));
}

/// The bus name without the per-run instance suffix players add ("….vlc.instance4242"): the same on every run.
QString playerName(const QString& busName) {
    static const QRegularExpression instance(QStringLiteral("\\.instance[0-9]*$"));
    QString name = busName;
    name.remove(instance);
    return name;
}

QVariantMap asMap(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) {
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    }
    return value.toMap();
}

/// The track's object path, or empty when the player gives none that SetPosition could carry (some send a plain
/// string such as a URI).
QString trackId(const QVariant& value) {
    static const QRegularExpression objectPath(QStringLiteral("^/([A-Za-z0-9_]+(/[A-Za-z0-9_]+)*)?$"));
    const QString path = value.canConvert<QDBusObjectPath>() ? value.value<QDBusObjectPath>().path() : value.toString();
    return objectPath.match(path).hasMatch() && path != kNoTrack ? path : QString();
}

} // namespace

MprisScriptRunner::MprisScriptRunner(QDBusConnection bus, UrlFetcher* fetcher, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), fetcher_(fetcher) {
    if (!bus_.isConnected()) {
        return;
    }
    bus_.connect(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                 QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameOwnerChanged"), this,
                 SLOT(onNameOwnerChanged(QString, QString, QString)));
    // One subscription for every player: the sender's unique name tells them apart.
    bus_.connect(QString(), kObjectPath, kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
                 SLOT(onPropertiesChanged(QDBusMessage)));
    // The bus daemon itself, not a player, answers these; they are quick.
    const QDBusMessage names = bus_.call(
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames")),
        QDBus::Block, kCallTimeoutMs);
    if (names.type() != QDBusMessage::ReplyMessage || names.arguments().isEmpty()) {
        return;
    }
    for (const QString& name : names.arguments().constFirst().toStringList()) {
        if (name.startsWith(kPrefix) && name != kProxyName) {
            const QDBusReply<QString> owner = bus_.interface()->serviceOwner(name);
            if (owner.isValid()) {
                addPlayer(name, owner.value());
            }
        }
    }
}

MprisScriptRunner::~MprisScriptRunner() = default;

std::vector<PlayerRef> MprisScriptRunner::players(const QString& bundleId) {
    std::vector<PlayerRef> found;
    if (bundleId != kSpotifyBundle && bundleId != kMusicBundle) {
        return found;
    }
    for (const QString& name :
         ranked(bundleId == kSpotifyBundle ? MprisScript::Player::Spotify : MprisScript::Player::Music)) {
        found.push_back({name, playerName(name)});
    }
    return found;
}

void MprisScriptRunner::string(const QString& player, const QString& source, StringReply reply) {
    enqueue(player, source, [reply = std::move(reply)](Result result) {
        if (result && result->typeId() == QMetaType::QString) {
            reply(result->toString());
        } else {
            reply(std::nullopt);
        }
    });
}

void MprisScriptRunner::data(const QString& player, const QString& source, DataReply reply) {
    enqueue(player, source, [reply = std::move(reply)](Result result) {
        if (result && result->typeId() == QMetaType::QByteArray) {
            reply(result->toByteArray());
        } else {
            reply(std::nullopt);
        }
    });
}

void MprisScriptRunner::fire(const QString& player, const QString& source) {
    enqueue(player, source, [](Result) {});
}

void MprisScriptRunner::onNameOwnerChanged(const QString& name, const QString&, const QString& newOwner) {
    if (!name.startsWith(kPrefix) || name == kProxyName) {
        return;
    }
    if (newOwner.isEmpty()) {
        players_.remove(name);
    } else {
        addPlayer(name, newOwner);
    }
}

void MprisScriptRunner::onPropertiesChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    const QVariantMap changed = args.size() > 1 ? asMap(args.at(1)) : QVariantMap();
    // Any change counts as activity, as other MPRIS clients judge it.
    for (auto it = players_.begin(); it != players_.end(); ++it) {
        if (it->owner == message.service()) {
            it->activity = ++activityClock_;
            if (args.value(0).toString() == kPlayerInterface && changed.contains(QStringLiteral("PlaybackStatus"))) {
                it->status = changed.value(QStringLiteral("PlaybackStatus")).toString();
            }
        }
    }
}

void MprisScriptRunner::addPlayer(const QString& name, const QString& owner) {
    Player& player = players_[name];
    player.owner = owner;
    player.activity = ++activityClock_;
    player.status.clear();
    call(name, kPropertiesInterface, QStringLiteral("Get"), {kPlayerInterface, QStringLiteral("PlaybackStatus")},
         [this, name, owner](std::optional<QDBusMessage> reply) {
             auto it = players_.find(name);
             if (reply && !reply->arguments().isEmpty() && it != players_.end() && it->owner == owner) {
                 it->status = reply->arguments().constFirst().value<QDBusVariant>().variant().toString();
             }
         });
}

std::vector<QString> MprisScriptRunner::ranked(MprisScript::Player which) const {
    const bool wantSpotify = which == MprisScript::Player::Spotify;
    std::vector<std::pair<quint64, QString>> found;
    for (auto it = players_.cbegin(); it != players_.cend(); ++it) {
        if (isSpotify(it.key()) == wantSpotify) {
            found.emplace_back(it->activity, it.key());
        }
    }
    std::sort(found.begin(), found.end(), std::greater<>());
    std::vector<QString> names;
    for (auto& [activity, name] : found) {
        names.push_back(std::move(name));
    }
    return names;
}

QString MprisScriptRunner::target(MprisScript::Player which) const {
    const bool wantSpotify = which == MprisScript::Player::Spotify;
    QString best;
    bool bestPlaying = false;
    quint64 bestActivity = 0;
    for (auto it = players_.cbegin(); it != players_.cend(); ++it) {
        if (isSpotify(it.key()) != wantSpotify) {
            continue;
        }
        const bool playing = it->status == QLatin1String("Playing");
        if (best.isEmpty() || std::pair(playing, it->activity) > std::pair(bestPlaying, bestActivity)) {
            best = it.key();
            bestPlaying = playing;
            bestActivity = it->activity;
        }
    }
    return best;
}

void MprisScriptRunner::enqueue(const QString& player, const QString& source, std::function<void(Result)> done) {
    queue_.push_back(Job{parseMprisScript(source), player, std::move(done)});
    // Never answers from inside the call, even for a script it does not know.
    QMetaObject::invokeMethod(this, &MprisScriptRunner::startNext, Qt::QueuedConnection);
}

void MprisScriptRunner::startNext() {
    if (busy_ || queue_.empty()) {
        return;
    }
    busy_ = true;
    ++generation_;
    const std::optional<MprisScript> script = queue_.front().script;
    if (!script || !bus_.isConnected()) {
        finish(std::nullopt);
        return;
    }
    run(*script, queue_.front().player);
}

void MprisScriptRunner::finish(Result result) {
    Job job = std::move(queue_.front());
    queue_.pop_front();
    busy_ = false;
    ++generation_;
    job.done(std::move(result));
    startNext();
}

std::function<void(MprisScriptRunner::Result)> MprisScriptRunner::release() {
    Job job = std::move(queue_.front());
    queue_.pop_front();
    busy_ = false;
    ++generation_;
    startNext();
    return std::move(job.done);
}

void MprisScriptRunner::run(const MprisScript& script, const QString& player) {
    using Kind = MprisScript::Kind;
    // A script for a player that has gone goes nowhere: another player of its kind would act on the wrong music.
    const bool known =
        players_.contains(player) && isSpotify(player) == (script.player == MprisScript::Player::Spotify);
    const QString service = player.isEmpty() ? target(script.player) : known ? player : QString();
    if (service.isEmpty()) {
        finish(std::nullopt);
        return;
    }
    const quint64 generation = generation_;
    // Every step checks that its job is still the one running.
    auto done = [this, generation](Result result) {
        if (generation == generation_ && busy_) {
            finish(std::move(result));
        }
    };
    auto command = [this, service, done](const QString& method, const QVariantList& args) {
        call(service, kPlayerInterface, method, args, [done](std::optional<QDBusMessage>) { done(std::nullopt); });
    };
    switch (script.kind) {
    case Kind::PlayPause:
        command(QStringLiteral("PlayPause"), {});
        return;
    case Kind::Next:
        command(QStringLiteral("Next"), {});
        return;
    case Kind::Previous:
        command(QStringLiteral("Previous"), {});
        return;
    case Kind::SetVolume:
        call(service, kPropertiesInterface, QStringLiteral("Set"),
             {kPlayerInterface, QStringLiteral("Volume"),
              QVariant::fromValue(QDBusVariant(static_cast<double>(script.argument) / 100.0))},
             [done](std::optional<QDBusMessage>) { done(std::nullopt); });
        return;
    case Kind::State:
    case Kind::SetPosition:
    case Kind::ArtworkUrl:
    case Kind::ArtworkData:
        break;
    }
    getAll(service, [this, script, command, done, generation](std::optional<QVariantMap> properties) {
        if (!properties) {
            done(std::nullopt);
            return;
        }
        const QVariantMap metadata = properties->value(QStringLiteral("Metadata")).toMap();
        const QString artUrl = metadata.value(QStringLiteral("mpris:artUrl")).toString();
        switch (script.kind) {
        case Kind::State:
            if (const auto reply = mprisStateReply(*properties)) {
                done(QVariant(*reply));
            } else {
                done(std::nullopt);
            }
            return;
        case Kind::SetPosition: {
            const qint64 micros = script.argument * 1000000;
            const QString track = trackId(metadata.value(QStringLiteral("mpris:trackid")));
            if (!track.isEmpty()) {
                command(QStringLiteral("SetPosition"),
                        {QVariant::fromValue(QDBusObjectPath(track)), QVariant::fromValue(qlonglong(micros))});
            } else {
                const qint64 now = properties->value(QStringLiteral("Position")).toLongLong();
                command(QStringLiteral("Seek"), {QVariant::fromValue(qlonglong(micros - now))});
            }
            return;
        }
        case Kind::ArtworkUrl:
            done(artUrl.isEmpty() ? Result() : Result(QVariant(artUrl)));
            return;
        case Kind::ArtworkData:
            if (generation == generation_ && busy_) {
                fetchArtwork(artUrl);
            }
            return;
        default:
            done(std::nullopt);
        }
    });
}

void MprisScriptRunner::fetchArtwork(const QString& artUrl) {
    const QUrl url(artUrl);
    if (!fetcher_ || !url.isValid() ||
        (url.scheme() != QLatin1String("file") && url.scheme() != QLatin1String("https"))) {
        finish(std::nullopt);
        return;
    }
    // A slow or endless art server must not hold back the transport commands queued behind this read.
    fetcher_->fetch(url, kMaxArtworkBytes, kArtworkTimeoutSeconds,
                    [self = QPointer<MprisScriptRunner>(this), reply = release()](std::optional<QByteArray> bytes) {
                        if (self) {
                            reply(bytes ? Result(QVariant(*bytes)) : Result());
                        }
                    });
}

void MprisScriptRunner::call(const QString& service, const QString& interface, const QString& method,
                             const QVariantList& args, std::function<void(std::optional<QDBusMessage>)> then) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, kObjectPath, interface, method);
    message.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [then = std::move(then)](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        then(reply.type() == QDBusMessage::ReplyMessage ? std::optional(reply) : std::nullopt);
    });
}

void MprisScriptRunner::getAll(const QString& service, std::function<void(std::optional<QVariantMap>)> then) {
    call(service, kPropertiesInterface, QStringLiteral("GetAll"), {kPlayerInterface},
         [then = std::move(then)](std::optional<QDBusMessage> reply) {
             if (!reply || reply->arguments().isEmpty()) {
                 then(std::nullopt);
                 return;
             }
             QVariantMap properties = asMap(reply->arguments().constFirst());
             properties.insert(QStringLiteral("Metadata"), asMap(properties.value(QStringLiteral("Metadata"))));
             then(properties);
         });
}

} // namespace tillory::platform::nix
