#pragma once

#include "platform/api/network.h"
#include "platform/api/script_runner.h"
#include "platform/linux/mpris_scripts.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QObject>
#include <QVariant>

#include <deque>
#include <functional>
#include <optional>

namespace tillory::platform::nix {

/// Answers the media controller's fixed player scripts over MPRIS on a session bus. Each player is its well-known bus
/// name: the "Spotify" kind is org.mpris.MediaPlayer2.spotify (any instance), the "Music" kind every other player.
/// A script sent to no player in particular goes to the kind's player that plays, then to the most recently active.
/// Scripts run one after another; every bus call is asynchronous with a short deadline, so a hung player costs a
/// query its answer and never blocks the main thread; reading a cover from its address runs beside the queue.
class MprisScriptRunner : public QObject, public ScriptRunner {
    Q_OBJECT
public:
    /// `fetcher` reads the cover art a player points at (file:// and https); without it there is no art data.
    MprisScriptRunner(QDBusConnection bus, UrlFetcher* fetcher, QObject* parent = nullptr);
    ~MprisScriptRunner() override;

    using ScriptRunner::data;
    using ScriptRunner::fire;
    using ScriptRunner::string;
    std::vector<PlayerRef> players(const QString& bundleId) override;
    void string(const QString& player, const QString& source, StringReply reply) override;
    void data(const QString& player, const QString& source, DataReply reply) override;
    void fire(const QString& player, const QString& source) override;

    /// How long one player gets to answer one call.
    static constexpr int kCallTimeoutMs = 1000;
    /// The most cover art read from a file or downloaded.
    static constexpr qint64 kMaxArtworkBytes = 4 * 1024 * 1024;
    static constexpr double kArtworkTimeoutSeconds = 3.0;

private Q_SLOTS:
    void onNameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);
    void onPropertiesChanged(const QDBusMessage& message);

private:
    using Result = std::optional<QVariant>;
    struct Job {
        std::optional<MprisScript> script;
        QString player;
        std::function<void(Result)> done;
    };
    struct Player {
        QString owner;
        QString status;
        quint64 activity = 0;
    };

    void enqueue(const QString& player, const QString& source, std::function<void(Result)> done);
    void startNext();
    void finish(Result result);
    /// Ends the running job without answering it and hands back its reply, for work that goes on beside the queue.
    std::function<void(Result)> release();
    void run(const MprisScript& script, const QString& player);
    void fetchArtwork(const QString& artUrl);
    /// The bus name that stands for `player` now, or empty.
    QString target(MprisScript::Player player) const;
    /// The players of a kind, most recently active first.
    std::vector<QString> ranked(MprisScript::Player player) const;
    void call(const QString& service, const QString& interface, const QString& method, const QVariantList& args,
              std::function<void(std::optional<QDBusMessage>)> then);
    void getAll(const QString& service, std::function<void(std::optional<QVariantMap>)> then);
    void addPlayer(const QString& name, const QString& owner);

    QDBusConnection bus_;
    UrlFetcher* fetcher_;
    std::deque<Job> queue_;
    bool busy_ = false;
    quint64 generation_ = 0;
    quint64 activityClock_ = 0;
    /// Well-known MPRIS bus names and what is known of their players.
    QHash<QString, Player> players_;
};

} // namespace tillory::platform::nix
