#include "clipboard/history_codec.h"

#include "core/uuid.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>

namespace tillory::clipboard {
namespace {

const QString kId = QStringLiteral("id");
const QString kText = QStringLiteral("text");
const QString kDate = QStringLiteral("date");
const QString kRtf = QStringLiteral("rtf");
const QString kPinned = QStringLiteral("pinned");

std::optional<ClipboardEntry> decodeEntry(const QJsonValue& value) {
    if (!value.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(kId);
    const QJsonValue text = object.value(kText);
    const QJsonValue date = object.value(kDate);
    if (!id.isString() || !text.isString() || !date.isDouble() || !std::isfinite(date.toDouble())) {
        return std::nullopt;
    }
    ClipboardEntry entry;
    const auto uuid = core::parseUuid(id.toString());
    if (!uuid) {
        return std::nullopt;
    }
    entry.id = *uuid;
    entry.text = text.toString();
    entry.date = date.toDouble();

    if (object.contains(kRtf)) {
        const QJsonValue rtf = object.value(kRtf);
        if (!rtf.isString()) {
            return std::nullopt;
        }
        auto decoded =
            QByteArray::fromBase64Encoding(rtf.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || rtf.toString().size() % 4 != 0) {
            return std::nullopt;
        }
        entry.rtf = *decoded;
    }
    if (object.contains(kPinned)) {
        const QJsonValue pinned = object.value(kPinned);
        if (!pinned.isBool()) {
            return std::nullopt;
        }
        entry.pinned = pinned.toBool();
    }
    return entry;
}

} // namespace

QByteArray encodeHistory(const ClipboardEntries& entries) {
    QJsonArray array;
    for (const ClipboardEntry& entry : entries) {
        QJsonObject object;
        object.insert(kId, core::uuidString(entry.id));
        object.insert(kText, entry.text);
        object.insert(kDate, entry.date);
        if (entry.rtf) {
            object.insert(kRtf, QString::fromLatin1(entry.rtf->toBase64()));
        }
        object.insert(kPinned, entry.pinned);
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<ClipboardEntries> decodeHistory(const QByteArray& json) {
    if (json.size() > kMaxHistoryFileBytes) {
        return std::nullopt;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return std::nullopt;
    }
    const QJsonArray array = document.array();
    ClipboardEntries entries;
    entries.reserve(static_cast<size_t>(array.size()));
    QSet<QUuid> ids;
    for (const QJsonValue& value : array) {
        auto entry = decodeEntry(value);
        if (!entry) {
            return std::nullopt;
        }
        // Lists identify entries by id; a repeated id (a hand-edited file) keeps its newest entry, the first.
        if (ids.contains(entry->id)) {
            continue;
        }
        ids.insert(entry->id);
        entries.push_back(std::move(*entry));
    }
    return entries;
}

} // namespace tillory::clipboard
