#include "core/atomic_file.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tillory::core {
namespace {

bool writeAll(int fd, const QByteArray& data) {
    const char* cursor = data.constData();
    auto left = static_cast<size_t>(data.size());
    while (left > 0) {
        const ssize_t written = ::write(fd, cursor, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        cursor += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

void syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool unsupported(int error) {
    return error == ENOSYS || error == EOPNOTSUPP;
}

/// Gives `fd` its mode and content (cut to length when `cut`), flushes it and closes it; errno says why not. A
/// file system that keeps no modes of its own (FAT answers EPERM even for a file we just created, FUSE ones without
/// chmod ENOSYS) leaves the file what the mount gives every file; one that cannot be asked to flush is not.
bool fill(int fd, const QByteArray& data, mode_t mode, bool cut) {
    auto& calls = fileSystemCalls();
    const bool ok = (calls.fchmod(fd, mode) == 0 || unsupported(errno) || errno == EPERM) && writeAll(fd, data) &&
                    (!cut || ::ftruncate(fd, data.size()) == 0) &&
                    (calls.fsync(fd) == 0 || unsupported(errno) || errno == EINVAL);
    const int error = errno;
    if (::close(fd) != 0 && ok) {
        return false;
    }
    errno = error;
    return ok;
}

} // namespace

FileSystemCalls& fileSystemCalls() {
    static FileSystemCalls calls{::fchmod, ::fsync, ::rename, ::link};
    return calls;
}

bool writeFileAtomically(const QString& path, const QByteArray& data, mode_t mode) {
    const QByteArray target = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    QByteArray pattern = target + ".tmp-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        return false;
    }
    if (fill(fd, data, mode, false)) {
        if (fileSystemCalls().rename(pattern.constData(), target.constData()) == 0) {
            syncFolder(folder);
            return true;
        }
        if (unsupported(errno)) {
            // No renaming here: overwrite in place. The new content is whole in the temporary file by now, and
            // stays there should the overwrite fail part-way. Cut to length after writing, not by O_TRUNC, which
            // some FUSE file systems ignore.
            const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, mode);
            if (out >= 0) {
                const bool written = fill(out, data, mode, true);
                if (written) {
                    ::unlink(pattern.constData());
                }
                return written;
            }
        }
    }
    const int error = errno;
    ::unlink(pattern.constData());
    errno = error;
    return false;
}

bool makeFolder(const QString& path, mode_t mode) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), mode) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat info {};
    if (::stat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return false;
    }
    if (info.st_uid == ::getuid() && (info.st_mode & 07777) != mode) {
        ::chmod(name.constData(), mode);
    }
    return true;
}

bool canCreateFilesIn(const QString& folder) {
    QByteArray pattern = QFile::encodeName(QDir(folder).filePath(QStringLiteral(".probe-XXXXXX")));
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(pattern.constData());
    return true;
}

bool renameNoReplace(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return false; // EEXIST included: the target is someone else's
    }
    // The file system does not know the flag: look first. Only our own process writes this folder, so nothing
    // appears between the look and the rename.
    struct stat info {};
    if (::lstat(target.constData(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    if (errno != ENOENT) {
        return false;
    }
    return ::rename(source.constData(), target.constData()) == 0;
}

QString moveAside(const QString& path, const QString& suffix) {
    const QByteArray from = QFile::encodeName(path);
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString candidate = path + suffix + (attempt == 1 ? QString() : QStringLiteral("-%1").arg(attempt));
        const QByteArray to = QFile::encodeName(candidate);
        // link + unlink never replaces an existing file, unlike rename.
        if (fileSystemCalls().link(from.constData(), to.constData()) == 0) {
            ::unlink(from.constData());
            return candidate;
        }
        if (errno == EEXIST) {
            continue;
        }
        // No hard links here (FAT, exFAT, many FUSE file systems, or a folder in the way): a rename that
        // refuses to replace does the same in one step.
        if (renameNoReplace(path, candidate)) {
            return candidate;
        }
        if (errno != EEXIST) {
            return {};
        }
    }
    return {};
}

} // namespace tillory::core
