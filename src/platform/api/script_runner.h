#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace tillory::platform {

/// Runs the short scripts the media controller talks to players with, one after another on a queue of its own, so
/// that a command fired before a query runs before it. A backend may answer the fixed scripts it knows in its own
/// way (on Linux, over MPRIS). Called on the main thread.
class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;

    using StringReply = std::function<void(std::optional<QString>)>;
    using DataReply = std::function<void(std::optional<QByteArray>)>;

    /// Runs `source` and hands its result as text to `reply` on the main thread, never from inside this call;
    /// nothing when the script fails, is not understood or its player does not answer in time.
    virtual void string(const QString& source, StringReply reply) = 0;
    /// The same with the result as bytes.
    virtual void data(const QString& source, DataReply reply) = 0;
    /// Runs `source` and ignores its result; answers at once.
    virtual void fire(const QString& source) = 0;
    /// Whether the player with this bundle identifier runs now; asking never starts it.
    virtual bool isRunning(const QString& bundleId) = 0;
};

} // namespace tillory::platform
