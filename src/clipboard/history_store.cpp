#include "clipboard/history_store.h"

#include "clipboard/history_codec.h"
#include "core/atomic_file.h"

#include <QDir>
#include <QFile>

namespace tillory::clipboard {

HistoryStore::HistoryStore(const QString& folder, Access access)
    : path_(QDir(folder).filePath(QStringLiteral("clipboard-history.json"))), readOnly_(access == Access::ReadOnly) {
    if (!readOnly_) {
        core::makeFolder(folder, 0700);
    }
}

HistoryStore::LoadResult HistoryStore::load() const {
    LoadResult result;
    QFile file(path_);
    if (!file.exists()) {
        return result;
    }
    std::optional<ClipboardEntries> entries;
    if (file.open(QIODevice::ReadOnly) && file.size() <= kMaxHistoryFileBytes) {
        entries = decodeHistory(file.readAll());
    }
    file.close();
    if (entries) {
        result.status = LoadStatus::Loaded;
        result.entries = std::move(*entries);
        return result;
    }
    result.status = LoadStatus::Unreadable;
    if (readOnly_) {
        return result;
    }
    result.movedTo = core::moveAside(path_, QStringLiteral(".corrupt"));
    if (result.movedTo.isEmpty()) {
        blocked_.store(true, std::memory_order_release);
    }
    return result;
}

bool HistoryStore::save(const ClipboardEntries& entries) const {
    if (!canSave()) {
        return false;
    }
    return core::writeFileAtomically(path_, encodeHistory(entries), 0600);
}

} // namespace tillory::clipboard
