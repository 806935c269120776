#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace tillory::core {

/// Replaces `path` with `data` so that a reader sees either the old file or the new one, never a mix: the data
/// goes to a temporary file beside it (created with `mode`), is flushed to disk, then renamed over `path`.
/// File systems without modes or flushing (FAT, many FUSE ones) keep what they can: the steps they lack are
/// skipped. Where renaming is not supported at all, `path` is overwritten in place once the whole new content sits
/// in the temporary file; should that overwrite fail part-way, the temporary file is kept, so nothing is lost.
/// Any thread. Returns false (errno says why) and otherwise leaves the old file untouched on any failure.
bool writeFileAtomically(const QString& path, const QByteArray& data, mode_t mode = 0600);

/// The calls whose support differs between file systems: FAT and many FUSE file systems answer ENOSYS,
/// EOPNOTSUPP or EPERM to some of them. Tests swap them to play such a file system; the program never does.
struct FileSystemCalls {
    int (*fchmod)(int fd, mode_t mode);
    int (*fsync)(int fd);
    int (*rename)(const char* from, const char* to);
    int (*link)(const char* from, const char* to);
};
/// The calls in use: the system's own unless a test swapped them.
FileSystemCalls& fileSystemCalls();

/// Creates `path` and missing parents; the last folder gets `mode` and is tightened to it if it already exists
/// and belongs to us. Returns false when the folder does not exist afterwards.
bool makeFolder(const QString& path, mode_t mode = 0700);

/// Renames `from` to `to` unless `to` exists; on file systems without an atomic no-replace rename it looks first.
/// False (errno EEXIST when `to` is taken) on failure.
bool renameNoReplace(const QString& from, const QString& to);

/// Moves `path` aside to `path` + `suffix` (then `suffix`-2, -3, … when taken) without replacing anything, by a
/// hard link where the file system has them and by a no-replace rename where it does not. Returns the new path, or
/// an empty string when neither works (the file is then still at `path`).
QString moveAside(const QString& path, const QString& suffix);

/// Whether a new file can be created in `folder` now (tries one and removes it); errno says why not.
bool canCreateFilesIn(const QString& folder);

} // namespace tillory::core
