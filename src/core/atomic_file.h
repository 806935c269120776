#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace tillory::core {

/// Replaces `path` with `data` so that a reader sees either the old file or the new one, never a mix: the data
/// goes to a temporary file beside it (created with `mode`), is flushed to disk, then renamed over `path`.
/// Any thread. Returns false and leaves the old file untouched on any failure.
bool writeFileAtomically(const QString& path, const QByteArray& data, mode_t mode = 0600);

/// Creates `path` and missing parents; the last folder gets `mode` and is tightened to it if it already exists
/// and belongs to us. Returns false when the folder does not exist afterwards.
bool makeFolder(const QString& path, mode_t mode = 0700);

/// Moves `path` aside to `path` + `suffix` (then `suffix`-2, -3, … when taken) without replacing anything.
/// Returns the new path, or an empty string on failure.
QString moveAside(const QString& path, const QString& suffix);

} // namespace tillory::core
