#pragma once

#include "core/scheduler.h"
#include "platform/api/script_runner.h"

#include <QMap>
#include <QString>

#include <optional>
#include <vector>

namespace tillory::platform::sim {

/// One simulated player as the scripts see it.
struct SimPlayer {
    bool running = true;
    /// "playing", "paused" or "stopped".
    QString state = QStringLiteral("playing");
    QString title;
    QString artist;
    double position = 0;
    /// Seconds.
    double duration = 0;
    /// Nothing: the player has no volume and answers an empty field.
    std::optional<int> volume = 50;
    /// What "data of artwork 1" answers (Music); nothing: no answer.
    std::optional<QByteArray> artworkData;
    /// What "artwork url" answers (Spotify); nothing: no answer.
    std::optional<QString> artworkUrl;
    /// When set, the state query is answered with exactly this text.
    std::optional<QString> rawReply;
};

/// Answers the media controller's fixed scripts from players the test sets up, by bundle identifier
/// ("com.apple.Music" is addressed as "Music", "com.spotify.client" as "Spotify"). A command takes effect at once,
/// as on the real serial queue; a query's answer is taken when it is asked and handed over through the scheduler.
class SimScriptRunner final : public ScriptRunner {
public:
    explicit SimScriptRunner(core::Scheduler& scheduler) : scheduler_(scheduler) {}

    void setPlayer(const QString& bundleId, SimPlayer player) { players_[bundleId] = std::move(player); }
    void removePlayer(const QString& bundleId) { players_.remove(bundleId); }
    /// The player as the scripts left it; a default one when there is none.
    SimPlayer player(const QString& bundleId) const { return players_.value(bundleId); }
    /// 0: answers on the next turn of the scheduler; more: after that many seconds; nothing: never answers.
    void setReplyDelay(std::optional<double> seconds) { delay_ = seconds; }
    /// Every script fired, in order.
    const std::vector<QString>& fired() const { return fired_; }
    /// Every script asked for an answer, in order.
    const std::vector<QString>& asked() const { return asked_; }
    int askedCount(const QString& source) const;

    void string(const QString& source, StringReply reply) override;
    void data(const QString& source, DataReply reply) override;
    void fire(const QString& source) override;
    bool isRunning(const QString& bundleId) override;

private:
    SimPlayer* target(const QString& source, QString* rest);
    std::optional<QString> answerText(const QString& source);
    void deliver(std::function<void()> work);

    core::Scheduler& scheduler_;
    QMap<QString, SimPlayer> players_;
    std::optional<double> delay_ = 0.0;
    std::vector<QString> fired_;
    std::vector<QString> asked_;
    std::vector<core::TimerPtr> pending_;
};

} // namespace tillory::platform::sim
