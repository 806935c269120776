#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace tillory::platform {

/// The program's registration to start when the user logs in. Main thread.
class LoginItem {
public:
    virtual ~LoginItem() = default;
    /// True when registered and enabled.
    virtual bool isEnabled() = 0;
    /// False on failure; the caller reads `isEnabled()` again to learn the real state.
    virtual bool registerItem() = 0;
    virtual bool unregisterItem() = 0;
};

/// Runs helper programs, and ends other programs' processes at the user's request. Main thread.
class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    /// Starts `program` with `arguments`; `onExit` runs on the main thread when it ends, whatever its status.
    /// Returns false (and never calls `onExit`) when the program could not be launched.
    virtual bool run(const QString& program, const QStringList& arguments,
                     std::function<void(int exitCode)> onExit) = 0;
    /// Asks process `pid` to end the way a desktop's close does (on Linux SIGTERM, which lets it save its work).
    /// False, and nothing sent, for this program itself, a pid below 2, a process that is gone or one this user
    /// may not signal.
    virtual bool terminate(std::int32_t pid) = 0;
    /// This program's own process id.
    virtual std::int32_t ownPid() const = 0;
};

} // namespace tillory::platform
