#pragma once

#include "clipboard/clipboard_entry.h"

#include <QByteArray>

#include <optional>

namespace tillory::clipboard {

/// The largest history file we try to read. Forty entries at the limits stay far below it; anything bigger is
/// not a history of ours and is treated as unreadable rather than loaded into memory.
inline constexpr qsizetype kMaxHistoryFileBytes = 64 * 1024 * 1024;

/// The history as the file stores it: a compact JSON array, newest first, one object per entry with "id"
/// (upper-case hyphenated UUID), "text", "date" (seconds since 2001-01-01 UTC), "rtf" (Base64, only when
/// present) and "pinned".
QByteArray encodeHistory(const ClipboardEntries& entries);

/// Reads what `encodeHistory` writes. "rtf" and "pinned" may be missing; "id", "text" and "date" may not. One bad
/// element (wrong member type, invalid UUID, invalid Base64, non-finite date) makes the whole input unreadable.
/// Of several entries with one id only the first is kept.
std::optional<ClipboardEntries> decodeHistory(const QByteArray& json);

} // namespace tillory::clipboard
