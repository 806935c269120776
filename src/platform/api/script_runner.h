#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace tillory::platform {

/// One running player of a kind: several programs (or instances of one) may answer a kind's scripts.
struct PlayerRef {
    /// Addresses this player while it runs (on Linux its MPRIS bus name).
    QString id;
    /// The same for every run of the same program: what remembered settings are kept under.
    QString name;
    friend bool operator==(const PlayerRef&, const PlayerRef&) = default;
};

/// Runs the short scripts the media controller talks to players with, one after another on a queue of its own, so
/// that a command fired before a query runs before it. A backend may answer the fixed scripts it knows in its own
/// way (on Linux, over MPRIS). Called on the main thread.
class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;

    using StringReply = std::function<void(std::optional<QString>)>;
    using DataReply = std::function<void(std::optional<QByteArray>)>;

    /// The running players of the kind with this bundle identifier, most recently active first; asking never
    /// starts one.
    virtual std::vector<PlayerRef> players(const QString& bundleId) = 0;

    /// Runs `source` on `player` (an id from `players`; empty: the runner's pick among the kind the script names)
    /// and hands its result as text to `reply` on the main thread, never from inside this call; nothing when the
    /// script fails, is not understood, `player` is gone or does not answer in time.
    virtual void string(const QString& player, const QString& source, StringReply reply) = 0;
    /// The same with the result as bytes. Work that waits on others (reading a cover from its address) does not
    /// hold up the scripts queued behind it.
    virtual void data(const QString& player, const QString& source, DataReply reply) = 0;
    /// Runs `source` on `player` and ignores its result; answers at once.
    virtual void fire(const QString& player, const QString& source) = 0;

    void string(const QString& source, StringReply reply) { string(QString(), source, std::move(reply)); }
    void data(const QString& source, DataReply reply) { data(QString(), source, std::move(reply)); }
    void fire(const QString& source) { fire(QString(), source); }
    /// Whether a player with this bundle identifier runs now.
    bool isRunning(const QString& bundleId) { return !players(bundleId).empty(); }
};

} // namespace tillory::platform
