#include "platform/linux/qt_pasteboard.h"

#include <QClipboard>
#include <QMimeData>

namespace tillory::platform::nix {
namespace {

const QString kRtfMime = QStringLiteral("text/rtf");

// Text targets in the order an owner is most likely to answer them faithfully.
const QStringList kTextFormats = {QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("text/plain"),
                                  QStringLiteral("UTF8_STRING"), QStringLiteral("STRING"), QStringLiteral("TEXT")};
const QStringList kRtfFormats = {QStringLiteral("text/rtf"), QStringLiteral("application/rtf"),
                                 QStringLiteral("text/richtext")};

} // namespace

QtPasteboard::QtPasteboard(QClipboard* clipboard, QObject* parent) : QObject(parent), clipboard_(clipboard) {
    connect(clipboard_, &QClipboard::dataChanged, this, [this] { ++changeCount_; });
}

QString QtPasteboard::typeForFormat(const QString& format) {
    if (kTextFormats.contains(format)) {
        return PasteboardType::String;
    }
    if (kRtfFormats.contains(format)) {
        return PasteboardType::RTF;
    }
    if (format == kPasswordManagerHint) {
        return PasteboardType::Concealed;
    }
    return format;
}

QStringList QtPasteboard::types() {
    QStringList result;
    const QMimeData* mime = clipboard_->mimeData(QClipboard::Clipboard);
    if (!mime) {
        return result;
    }
    for (const QString& format : mime->formats()) {
        const QString type = typeForFormat(format);
        if (!result.contains(type)) {
            result.append(type);
        }
    }
    return result;
}

std::optional<QString> QtPasteboard::string() {
    const QMimeData* mime = clipboard_->mimeData(QClipboard::Clipboard);
    // Only ask for text the owner lists: some owners answer any target with whatever they hold.
    if (!mime || !mime->hasText()) {
        return std::nullopt;
    }
    return mime->text();
}

std::optional<QByteArray> QtPasteboard::data(const QString& type) {
    const QMimeData* mime = clipboard_->mimeData(QClipboard::Clipboard);
    if (!mime) {
        return std::nullopt;
    }
    const QStringList formats = mime->formats();
    for (const QString& format : formats) {
        if (typeForFormat(format) == type || format == type) {
            return mime->data(format);
        }
    }
    return std::nullopt;
}

std::int64_t QtPasteboard::write(const QString& text, const std::optional<QByteArray>& rtf) {
    auto* mime = new QMimeData;
    mime->setText(text);
    if (rtf) {
        mime->setData(kRtfMime, *rtf);
    }
    const std::int64_t before = changeCount_;
    clipboard_->setMimeData(mime, QClipboard::Clipboard);
    if (changeCount_ == before) {
        ++changeCount_; // taking ownership is a change even where the platform does not announce it
    }
    return changeCount_;
}

} // namespace tillory::platform::nix
