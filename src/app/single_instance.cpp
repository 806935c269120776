#include "single_instance.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tillory::app {

SingleInstance::SingleInstance(const QString& lockPath) {
    const QByteArray path = QFile::encodeName(lockPath);
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error_ = errno;
        // A folder that became read-only may still hold the lock file of a Tillory that runs: a read-only
        // descriptor can take the lock too, and tells the two cases apart.
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return; // CannotWrite
        }
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            outcome_ = Outcome::AlreadyRunning;
            char buffer[32] = {};
            if (::pread(fd, buffer, sizeof buffer - 1, 0) > 0) {
                holder_ = static_cast<pid_t>(std::atol(buffer));
            }
        } else if (error_ == 0) {
            error_ = errno;
        }
        ::close(fd);
        return;
    }
    fd_ = fd;
    if (error_ != 0) {
        return; // CannotWrite, but held: a second Tillory on this folder is still told that one runs
    }
    outcome_ = Outcome::Primary;
    const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
    if (::ftruncate(fd_, 0) == 0) {
        [[maybe_unused]] auto written = ::pwrite(fd_, pid.constData(), static_cast<size_t>(pid.size()), 0);
    }
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

} // namespace tillory::app
