#pragma once

#include "clipboard/clipboard_entry.h"

#include <QString>

#include <atomic>
#include <optional>

namespace tillory::clipboard {

/// The history file "clipboard-history.json" in a folder of its own (created 0700, the file 0600: it holds
/// whatever the user copied). `save` may run on the persist queue while the main thread reads; the store holds
/// only its paths and whether it may write.
class HistoryStore {
public:
    /// ReadOnly: the folder cannot be written; the history is read but never saved or moved.
    enum class Access { ReadWrite, ReadOnly };

    /// ReadWrite creates the folder (and missing parents) now; a failure shows later as failed saves.
    explicit HistoryStore(const QString& folder, Access access = Access::ReadWrite);

    const QString& path() const { return path_; }

    /// False when the folder is read-only, or when an unreadable file could not be moved aside: a save would
    /// then destroy what the user had.
    bool canSave() const { return !readOnly_ && !blocked_.load(std::memory_order_acquire); }

    enum class LoadStatus { Loaded, Missing, Unreadable };
    struct LoadResult {
        LoadStatus status = LoadStatus::Missing;
        ClipboardEntries entries;
        /// Where an unreadable file was moved, so that the next save does not destroy it; empty when it stays.
        QString movedTo;
    };

    /// Reads the file. An unreadable or undecodable file is moved aside to "….corrupt" first; if that fails the
    /// file stays where it is and saving stops (`canSave`).
    LoadResult load() const;

    /// Encodes and replaces the file atomically. Any thread. False on failure or when saving is off; the old file
    /// then stays.
    bool save(const ClipboardEntries& entries) const;

private:
    QString path_;
    bool readOnly_ = false;
    mutable std::atomic<bool> blocked_{false};
};

} // namespace tillory::clipboard
