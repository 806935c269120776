#pragma once

#include "core/scheduler.h"
#include "platform/api/script_runner.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tillory::platform::sim {

/// One simulated player as the scripts see it.
struct SimPlayer {
    bool running = true;
    /// The bundle identifier of the kind it answers for; empty: its own id.
    QString kind;
    /// What it is remembered by; empty: its own id.
    QString name;
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

/// Answers the media controller's fixed scripts from players the test sets up, each by an id and of a kind (a bundle
/// identifier: "com.apple.Music" is addressed as "Music", "com.spotify.client" as "Spotify"). A script without a
/// player goes to the most recently set running player of its kind. A command takes effect at once, as on the real
/// serial queue; a query's answer is taken when it is asked and handed over through the scheduler.
class SimScriptRunner final : public ScriptRunner {
public:
    explicit SimScriptRunner(core::Scheduler& scheduler) : scheduler_(scheduler) {}

    /// Adds or replaces the player `id`, which becomes the most recently active.
    void setPlayer(const QString& id, SimPlayer player);
    void removePlayer(const QString& id);
    /// The player as the scripts left it; a default one when there is none.
    SimPlayer player(const QString& id) const { return players_.value(id); }
    /// 0: answers on the next turn of the scheduler; more: after that many seconds; nothing: never answers.
    void setReplyDelay(std::optional<double> seconds) { delay_ = seconds; }
    /// Every script fired, in order.
    const std::vector<QString>& fired() const { return fired_; }
    /// The player each fired script went to (empty: none named), in the same order.
    const std::vector<QString>& firedAt() const { return firedAt_; }
    /// Every script asked for an answer, in order.
    const std::vector<QString>& asked() const { return asked_; }
    int askedCount(const QString& source) const;

    using ScriptRunner::data;
    using ScriptRunner::fire;
    using ScriptRunner::string;
    std::vector<PlayerRef> players(const QString& bundleId) override;
    void string(const QString& player, const QString& source, StringReply reply) override;
    void data(const QString& player, const QString& source, DataReply reply) override;
    void fire(const QString& player, const QString& source) override;

private:
    SimPlayer* target(const QString& player, const QString& source, QString* rest);
    std::optional<QString> answerText(const QString& player, const QString& source);
    void deliver(std::function<void()> work);

    core::Scheduler& scheduler_;
    QMap<QString, SimPlayer> players_;
    /// Ids, most recently set first.
    QStringList order_;
    std::optional<double> delay_ = 0.0;
    std::vector<QString> fired_;
    std::vector<QString> firedAt_;
    std::vector<QString> asked_;
    std::vector<core::TimerPtr> pending_;
};

} // namespace tillory::platform::sim
