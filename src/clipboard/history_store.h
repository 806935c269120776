#pragma once

#include "clipboard/clipboard_entry.h"

#include <QString>

#include <optional>

namespace tillory::clipboard {

/// The history file "clipboard-history.json" in a folder of its own (created 0700, the file 0600: it holds
/// whatever the user copied). `save` may run on the persist queue while the main thread reads; the store holds
/// only its paths.
class HistoryStore {
public:
    /// Creates the folder (and missing parents) now; a failure shows later as failed saves.
    explicit HistoryStore(const QString& folder);

    const QString& path() const { return path_; }

    enum class LoadStatus { Loaded, Missing, Unreadable };
    struct LoadResult {
        LoadStatus status = LoadStatus::Missing;
        ClipboardEntries entries;
        /// Where an unreadable file was moved, so that the next save does not destroy it.
        QString movedTo;
    };

    /// Reads the file. An unreadable or undecodable file is moved aside to "….corrupt" first.
    LoadResult load() const;

    /// Encodes and replaces the file atomically. Any thread. False on failure; the old file then stays.
    bool save(const ClipboardEntries& entries) const;

private:
    QString path_;
};

} // namespace tillory::clipboard
