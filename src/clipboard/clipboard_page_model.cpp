#include "clipboard/clipboard_page_model.h"

#include "clipboard/clipboard_manager.h"
#include "platform/api/pasteboard.h"

#include <QVariantMap>

#include <algorithm>
#include <cmath>
#include <optional>

namespace tillory::clipboard {
namespace {

std::optional<ClipboardEntry> find(const ClipboardManager& clipboard, const QString& id) {
    const QUuid uuid(id);
    const ClipboardEntries& entries = clipboard.entries();
    const auto found = std::find_if(entries.begin(), entries.end(), [&uuid](const auto& e) { return e.id == uuid; });
    return found == entries.end() ? std::nullopt : std::optional(*found);
}

} // namespace

QString relativeAge(double date, double now) {
    struct Unit {
        double seconds;
        const char* name;
    };
    static constexpr Unit kUnits[] = {{365 * 86400.0, "year"}, {30 * 86400.0, "month"}, {7 * 86400.0, "week"},
                                      {86400.0, "day"},        {3600.0, "hour"},        {60.0, "minute"},
                                      {1.0, "second"}};
    const double span = std::isfinite(date) && std::isfinite(now) ? now - date : 0;
    const double length = std::abs(span);
    const Unit* unit = &kUnits[std::size(kUnits) - 1];
    for (const Unit& candidate : kUnits) {
        if (length >= candidate.seconds) {
            unit = &candidate;
            break;
        }
    }
    const auto count = static_cast<long long>(std::min(std::floor(length / unit->seconds), 1e15));
    const QString amount = QStringLiteral("%1 %2%3").arg(count).arg(QLatin1String(unit->name),
                                                                    count == 1 ? QString() : QStringLiteral("s"));
    return span < 0 ? QStringLiteral("in ") + amount : amount + QStringLiteral(" ago");
}

ClipboardPageModel::ClipboardPageModel(ClipboardManager& clipboard, platform::Pasteboard& pasteboard, QObject* parent)
    : QObject(parent), clipboard_(clipboard), pasteboard_(pasteboard) {
    connect(&clipboard_, &ClipboardManager::entriesChanged, this, &ClipboardPageModel::rebuild);
    rebuild();
}

bool ClipboardPageModel::isEmpty() const {
    return clipboard_.entries().empty();
}

void ClipboardPageModel::rebuild() {
    const double now = clipboard_.currentDate();
    QVariantList rows;
    const ClipboardEntries entries = clipboard_.displayEntries();
    for (std::size_t i = 0; i < entries.size() && i < static_cast<std::size_t>(kMaxRows); ++i) {
        const ClipboardEntry& entry = entries[i];
        QString text = entry.text;
        text.replace(QLatin1String("\r\n"), QLatin1String(" "));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        text.replace(QLatin1Char('\r'), QLatin1Char(' '));
        rows.append(QVariantMap{{QStringLiteral("id"), entry.id.toString(QUuid::WithoutBraces)},
                                {QStringLiteral("text"), text},
                                {QStringLiteral("age"), relativeAge(entry.date, now)},
                                {QStringLiteral("pinned"), entry.pinned}});
    }
    rows_ = std::move(rows);
    Q_EMIT rowsChanged();
}

void ClipboardPageModel::back() {
    Q_EMIT backRequested();
}

void ClipboardPageModel::clear() {
    clipboard_.clear();
}

void ClipboardPageModel::togglePin(const QString& id) {
    if (const auto entry = find(clipboard_, id)) {
        clipboard_.togglePin(*entry);
    }
}

void ClipboardPageModel::remove(const QString& id) {
    if (const auto entry = find(clipboard_, id)) {
        clipboard_.remove(*entry);
    }
}

void ClipboardPageModel::copy(const QString& id) {
    const auto entry = find(clipboard_, id);
    if (!entry) {
        return;
    }
    clipboard_.setLastChangeCount(pasteboard_.write(entry->text, entry->rtf));
    // The write may have run the event loop: promote what the history holds now, if it still holds it.
    if (const auto current = find(clipboard_, id)) {
        clipboard_.promote(*current);
    }
    Q_EMIT closeRequested();
}

} // namespace tillory::clipboard
