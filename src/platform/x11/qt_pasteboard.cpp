#include "platform/x11/qt_pasteboard.h"

#include "platform/linux/clipboard_formats.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>

#include <xcb/xcb.h>

#include <cstdlib>

namespace tillory::platform::nix {
namespace {

const QString kRtfMime = QStringLiteral("text/rtf");

// Qt claims the selection with the time of the last X event it saw. A background program may have seen none
// since another client took the clipboard, and the server then ignores the claim. A property change on the root
// window hands Qt a fresh server time: the notice is queued before the round trip's reply returns.
void refreshServerTime() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) {
        return;
    }
    static constexpr char kName[] = "_TILLORY_TIME";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr);
    if (!atom) {
        return;
    }
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem; xcb_screen_next(&it)) {
        xcb_change_property(connection, XCB_PROP_MODE_APPEND, it.data->root, atom->atom, XCB_ATOM_STRING, 8, 0,
                            nullptr);
        break;
    }
    std::free(atom);
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

QtPasteboard::QtPasteboard(QClipboard* clipboard, QObject* parent) : QObject(parent), clipboard_(clipboard) {
    connect(clipboard_, &QClipboard::dataChanged, this, [this] { ++changeCount_; });
}

namespace {

class ClipboardSubscription final : public Subscription {
public:
    explicit ClipboardSubscription(std::unique_ptr<QObject> context) : context_(std::move(context)) {}

private:
    std::unique_ptr<QObject> context_; // destroying it drops the connection
};

} // namespace

SubscriptionPtr QtPasteboard::observeChanges(std::function<void()> changed) {
    if (!changed) {
        return nullptr;
    }
    auto context = std::make_unique<QObject>();
    // Queued: the count moves in a handler of the same signal, and readers must see it moved.
    connect(clipboard_, &QClipboard::dataChanged, context.get(), std::move(changed), Qt::QueuedConnection);
    return std::make_unique<ClipboardSubscription>(std::move(context));
}

QString QtPasteboard::typeForFormat(const QString& format) {
    return clipboard_formats::typeForFormat(format);
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
    refreshServerTime();
    clipboard_->setMimeData(mime, QClipboard::Clipboard);
    if (changeCount_ == before) {
        ++changeCount_; // taking ownership is a change even where the platform does not announce it
    }
    return changeCount_;
}

} // namespace tillory::platform::nix
