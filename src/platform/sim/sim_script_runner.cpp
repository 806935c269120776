#include "platform/sim/sim_script_runner.h"

#include <QRegularExpression>

#include <algorithm>

namespace tillory::platform::sim {
int SimScriptRunner::askedCount(const QString& source) const {
    return static_cast<int>(std::count(asked_.begin(), asked_.end(), source));
}

namespace {

QString kindOf(const QString& id, const SimPlayer& player) {
    return player.kind.isEmpty() ? id : player.kind;
}

} // namespace

void SimScriptRunner::setPlayer(const QString& id, SimPlayer player) {
    players_[id] = std::move(player);
    order_.removeAll(id);
    order_.prepend(id);
}

void SimScriptRunner::removePlayer(const QString& id) {
    players_.remove(id);
    order_.removeAll(id);
}

std::vector<PlayerRef> SimScriptRunner::players(const QString& bundleId) {
    std::vector<PlayerRef> found;
    for (const QString& id : std::as_const(order_)) {
        const SimPlayer& p = players_[id];
        if (p.running && kindOf(id, p) == bundleId) {
            found.push_back({id, p.name.isEmpty() ? id : p.name});
        }
    }
    return found;
}

SimPlayer* SimScriptRunner::target(const QString& player, const QString& source, QString* rest) {
    static const QRegularExpression tell(QStringLiteral("^tell application \"(Music|Spotify)\"( to |\\n)"));
    const QRegularExpressionMatch m = tell.match(source);
    if (!m.hasMatch()) {
        return nullptr;
    }
    const QString kind = m.captured(1) == QLatin1String("Music") ? QStringLiteral("com.apple.Music")
                                                                 : QStringLiteral("com.spotify.client");
    QString id = player;
    if (id.isEmpty()) {
        const auto running = players(kind);
        id = running.empty() ? QString() : running.front().id;
    }
    auto found = players_.find(id);
    if (found == players_.end() || !found->running || kindOf(id, *found) != kind) {
        return nullptr;
    }
    *rest = source.mid(m.capturedEnd());
    return &*found;
}

std::optional<QString> SimScriptRunner::answerText(const QString& player, const QString& source) {
    QString rest;
    SimPlayer* p = target(player, source, &rest);
    if (!p) {
        return std::nullopt;
    }
    if (rest.contains(QLatin1String("set theState to (player state as string)"))) {
        if (p->rawReply) {
            return p->rawReply;
        }
        if (p->state != QLatin1String("playing") && p->state != QLatin1String("paused")) {
            return p->state;
        }
        const QString sep = QStringLiteral("|~|");
        return QStringList{p->state,
                           p->title,
                           p->artist,
                           QString::number(p->position),
                           QString::number(p->duration),
                           p->volume ? QString::number(*p->volume) : QString()}
            .join(sep);
    }
    if (rest == QLatin1String("get artwork url of current track")) {
        return p->artworkUrl;
    }
    return std::nullopt;
}

void SimScriptRunner::deliver(std::function<void()> work) {
    if (!delay_) {
        return;
    }
    if (*delay_ <= 0) {
        scheduler_.post(std::move(work));
    } else {
        pending_.push_back(scheduler_.after(*delay_, std::move(work)));
    }
}

void SimScriptRunner::string(const QString& player, const QString& source, StringReply reply) {
    asked_.push_back(source);
    auto answer = answerText(player, source);
    deliver([reply = std::move(reply), answer] { reply(answer); });
}

void SimScriptRunner::data(const QString& player, const QString& source, DataReply reply) {
    asked_.push_back(source);
    QString rest;
    std::optional<QByteArray> answer;
    if (SimPlayer* p = target(player, source, &rest);
        p && rest == QLatin1String("get data of artwork 1 of current track")) {
        answer = p->artworkData;
    }
    deliver([reply = std::move(reply), answer] { reply(answer); });
}

void SimScriptRunner::fire(const QString& player, const QString& source) {
    fired_.push_back(source);
    firedAt_.push_back(player);
    QString rest;
    SimPlayer* p = target(player, source, &rest);
    if (!p) {
        return;
    }
    static const QRegularExpression setter(QStringLiteral("^set (player position|sound volume) to ([0-9]+)$"));
    if (rest == QLatin1String("playpause")) {
        p->state = p->state == QLatin1String("playing") ? QStringLiteral("paused") : QStringLiteral("playing");
    } else if (const QRegularExpressionMatch m = setter.match(rest); m.hasMatch()) {
        if (m.captured(1) == QLatin1String("sound volume")) {
            p->volume = m.captured(2).toInt();
        } else {
            p->position = m.captured(2).toDouble();
        }
    }
}

} // namespace tillory::platform::sim
