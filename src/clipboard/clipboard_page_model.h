#pragma once

#include <QObject>
#include <QString>
#include <QUuid>
#include <QVariantList>

namespace tillory::platform {
class Pasteboard;
}

namespace tillory::clipboard {

class ClipboardManager;

/// How long ago `date` was, from `now` (both seconds), in the largest whole unit with numbers and full unit
/// names: "5 minutes ago", "1 day ago", "in 2 hours" for a date ahead of the clock.
QString relativeAge(double date, double now);

/// The panel's clipboard page: the newest entries, pinned first, to copy back, pin, delete or clear. Made each
/// time the page is shown; follows the history while it lives. Main thread.
class ClipboardPageModel : public QObject {
    Q_OBJECT
    /// One map per listed entry: "id", "text" (newlines as spaces), "age", "pinned".
    Q_PROPERTY(QVariantList rows READ rows NOTIFY rowsChanged)
    /// No entries at all (pinned ones count).
    Q_PROPERTY(bool empty READ isEmpty NOTIFY rowsChanged)

public:
    static constexpr int kMaxRows = 12;

    ClipboardPageModel(ClipboardManager& clipboard, platform::Pasteboard& pasteboard, QObject* parent = nullptr);

    QVariantList rows() const { return rows_; }
    bool isEmpty() const;

    Q_INVOKABLE void back();
    /// Drops every unpinned entry.
    Q_INVOKABLE void clear();
    // The entry is found by id at the moment of the call; one that is gone by then is left alone.
    Q_INVOKABLE void togglePin(const QString& id);
    Q_INVOKABLE void remove(const QString& id);
    /// Puts the entry back on the pasteboard (with its RTF), moves it to the front and asks the panel to close.
    Q_INVOKABLE void copy(const QString& id);

Q_SIGNALS:
    void rowsChanged();
    void backRequested();
    void closeRequested();

private:
    void rebuild();

    ClipboardManager& clipboard_;
    platform::Pasteboard& pasteboard_;
    QVariantList rows_;
};

} // namespace tillory::clipboard
