#pragma once

#include "clipboard/clipboard_entry.h"
#include "clipboard/history_store.h"
#include "core/scheduler.h"
#include "platform/api/subscription.h"

#include <QObject>

#include <functional>
#include <memory>

namespace tillory::core {
class SerialQueue;
class Settings;
class WorkItem;
} // namespace tillory::core

namespace tillory::platform {
class Pasteboard;
}

namespace tillory::clipboard {

/// Watches the pasteboard and keeps the newest 40 plain-text copies (pinned ones are never evicted), saving them
/// half a second after the last change on the persist queue. Main thread.
class ClipboardManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(int count READ count NOTIFY entriesChanged)
    Q_PROPERTY(bool saveFailing READ isSaveFailing NOTIFY saveFailingChanged)

public:
    static constexpr int kMaxEntries = 40;
    static constexpr int kMaxCharacters = 20000;
    static constexpr qsizetype kMaxRtfBytes = 262144;
    static constexpr double kPollInterval = 0.7;
    static constexpr double kSaveDelay = 0.5;

    /// Loads the history (or migrates it from the "clipboardHistory" default) and the "clipboardEnabled" switch.
    ClipboardManager(platform::Pasteboard& pasteboard, core::Settings& settings, core::Scheduler& scheduler,
                     core::SerialQueue& persistQueue, std::shared_ptr<const HistoryStore> store,
                     QObject* parent = nullptr);
    ~ClipboardManager() override;

    /// Starts the poll when capture is on and no poll runs.
    void start();

    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled);

    /// Newest first.
    const ClipboardEntries& entries() const { return entries_; }
    /// Pinned entries first, then the rest, each in history order.
    ClipboardEntries displayEntries() const;
    int count() const { return static_cast<int>(entries_.size()); }

    void promote(const ClipboardEntry& entry);
    void remove(const ClipboardEntry& entry);
    void togglePin(const ClipboardEntry& entry);
    void clear();
    /// Writes a pending save at once on the calling thread.
    void flush();
    /// Something any thread may call to write the newest history at once, even after this manager is gone: for a
    /// process about to end without unwinding (the display connection broke), where `flush` cannot run.
    std::function<void()> lastChanceSave() const;

    std::int64_t lastChangeCount() const { return lastChangeCount_; }
    /// Set after writing the pasteboard ourselves, so that our own write is not recorded as a copy.
    void setLastChangeCount(std::int64_t count) { lastChangeCount_ = count; }

    bool isPolling() const { return timer_ != nullptr; }
    /// The calendar time entries are dated with (seconds since 2001-01-01 UTC).
    double currentDate() const { return scheduler_.currentDate(); }

    /// True while the file lags behind the history: the last save failed (each change tries again), or saving is
    /// off because the folder cannot be written or an unreadable file could not be moved aside.
    bool isSaveFailing() const { return saveFailing_; }

    /// One poll of the pasteboard (the timer's tick).
    void poll();

Q_SIGNALS:
    void enabledChanged();
    void entriesChanged();
    void saveFailingChanged();

private:
    class SaveLine;
    struct SaveOutcome;

    void load();
    void persist();
    /// Queues a save of the current entries, `delay` seconds from now.
    std::shared_ptr<core::WorkItem> queueSave(double delay);
    void saveFinished(const SaveOutcome& outcome);
    void setSaveFailing(bool failing);

    platform::Pasteboard& pasteboard_;
    core::Settings& settings_;
    core::Scheduler& scheduler_;
    core::SerialQueue& persistQueue_;
    std::shared_ptr<const HistoryStore> store_;

    ClipboardEntries entries_;
    bool enabled_ = true;
    core::TimerPtr timer_;
    platform::SubscriptionPtr changes_; // where the platform announces changes, instead of the timer
    std::int64_t lastChangeCount_ = 0;
    std::shared_ptr<core::WorkItem> persistWork_;
    /// Shared with the queued saves: one write at a time, never an older snapshot over a newer one.
    std::shared_ptr<SaveLine> saveLine_;
    /// The newest state handed to the save queue, for `lastChanceSave`.
    struct Newest;
    std::shared_ptr<Newest> newest_;
    /// Of the newest snapshot handed to a save; each snapshot gets the next one.
    std::uint64_t generation_ = 0;
    /// Non-zero while the "clipboardHistory" default waits for the file to hold its migrated content.
    std::uint64_t migrationGeneration_ = 0;
    std::uint64_t lastReportedAttempt_ = 0;
    bool saveFailing_ = false;
};

/// Number of user-perceived characters (extended grapheme clusters), counting no further than `limit` + 1.
qsizetype userPerceivedLength(const QString& text, qsizetype limit);

} // namespace tillory::clipboard
