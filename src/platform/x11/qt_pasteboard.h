#pragma once

#include "platform/api/pasteboard.h"

#include <QObject>

class QClipboard;

namespace tillory::platform::nix {

/// The CLIPBOARD selection through Qt's clipboard (xcb platform). The change count moves on every new owner,
/// including the empty clipboard left behind when an owner exits.
class QtPasteboard final : public QObject, public Pasteboard {
    Q_OBJECT
public:
    explicit QtPasteboard(QClipboard* clipboard, QObject* parent = nullptr);

    std::int64_t changeCount() override { return changeCount_; }
    QStringList types() override;
    std::optional<QString> string() override;
    std::optional<QByteArray> data(const QString& type) override;
    std::int64_t write(const QString& text, const std::optional<QByteArray>& rtf) override;
    SubscriptionPtr observeChanges(std::function<void()> changed) override;

    /// Maps one X11 or MIME target to the pasteboard's type name; unknown ones stay as they are.
    static QString typeForFormat(const QString& format);

private:
    QClipboard* clipboard_;
    std::int64_t changeCount_ = 0;
};

} // namespace tillory::platform::nix
