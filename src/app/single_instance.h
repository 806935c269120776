#pragma once

#include <QString>

#include <sys/types.h>

namespace tillory::app {

/// One Tillory per history: an advisory lock on a file beside the history, held for the life of the process and
/// released by the kernel however the process ends.
class SingleInstance {
public:
    explicit SingleInstance(const QString& lockPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    bool isPrimary() const { return fd_ >= 0; }
    /// The process that holds the lock when this one does not (0 when unknown).
    pid_t holder() const { return holder_; }

private:
    int fd_ = -1;
    pid_t holder_ = 0;
};

} // namespace tillory::app
