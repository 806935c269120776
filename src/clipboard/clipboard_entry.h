#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

namespace tillory::clipboard {

/// One recorded copy. Equality compares every field; lists identify entries by `id`.
struct ClipboardEntry {
    QUuid id;
    /// Trimmed of whitespace and newlines at both ends.
    QString text;
    /// Seconds since 2001-01-01 UTC: the copy, or the last promotion.
    double date = 0;
    std::optional<QByteArray> rtf;
    bool pinned = false;

    friend bool operator==(const ClipboardEntry&, const ClipboardEntry&) = default;
};

using ClipboardEntries = std::vector<ClipboardEntry>;

} // namespace tillory::clipboard
