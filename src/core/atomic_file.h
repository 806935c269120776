#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace tillory::core {

/// Replaces `path` with `data` so that a reader sees either the old file or the new one, never a mix: the data
/// goes to a temporary file beside it (created with `mode`), is flushed to disk, then renamed over `path`.
/// Any thread. Returns false (errno says why) and leaves the old file untouched on any failure.
bool writeFileAtomically(const QString& path, const QByteArray& data, mode_t mode = 0600);

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
