#pragma once

#include <QString>

#include <sys/types.h>

namespace tillory::app {

/// One Tillory per history: an advisory lock on a file beside the history, held for the life of the process and
/// released by the kernel however the process ends.
class SingleInstance {
public:
    enum class Outcome {
        /// This process holds the lock.
        Primary,
        /// Another process holds it (`holder`).
        AlreadyRunning,
        /// The lock file cannot be created there (`error`); no other Tillory was seen.
        CannotWrite,
    };

    explicit SingleInstance(const QString& lockPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    Outcome outcome() const { return outcome_; }
    bool isPrimary() const { return outcome_ == Outcome::Primary; }
    /// The process that holds the lock when this one does not (0 when unknown).
    pid_t holder() const { return holder_; }
    /// Why the lock file could not be opened for writing (an errno value), with `CannotWrite`.
    int error() const { return error_; }

private:
    int fd_ = -1;
    Outcome outcome_ = Outcome::CannotWrite;
    pid_t holder_ = 0;
    int error_ = 0;
};

} // namespace tillory::app
