#include "single_instance.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tillory::app {

SingleInstance::SingleInstance(const QString& lockPath) {
    const QByteArray path = QFile::encodeName(lockPath);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return; // without a lock file we cannot tell; the caller treats this as another instance
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        char buffer[32] = {};
        if (::pread(fd, buffer, sizeof buffer - 1, 0) > 0) {
            holder_ = static_cast<pid_t>(std::atol(buffer));
        }
        ::close(fd);
        return;
    }
    fd_ = fd;
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
