#include "remote_commands.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

#include <cstdio>

namespace tillory::app {

RemoteCommands::RemoteCommands(std::function<bool()> openPalette, QObject* parent)
    : QObject(parent), openPalette_(std::move(openPalette)) {}

RemoteCommands::~RemoteCommands() {
    if (published_) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(QString::fromLatin1(kPath));
        bus.unregisterService(QString::fromLatin1(kService));
    }
}

bool RemoteCommands::publish() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    if (!bus.registerObject(QString::fromLatin1(kPath), this, QDBusConnection::ExportScriptableSlots)) {
        return false;
    }
    if (!bus.registerService(QString::fromLatin1(kService))) {
        bus.unregisterObject(QString::fromLatin1(kPath));
        return false;
    }
    published_ = true;
    return true;
}

bool RemoteCommands::ShowPalette() {
    return openPalette_ && openPalette_();
}

int requestPalette() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fputs("tillory: there is no session bus to reach the running Tillory on.\n", stderr);
        return 1;
    }
    const QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(RemoteCommands::kService),
                                       QString::fromLatin1(RemoteCommands::kPath),
                                       QString::fromLatin1("org.tillory.Tillory"), QStringLiteral("ShowPalette"));
    // A running instance answers at once; one that hangs must not hang the key binding that called us.
    const QDBusReply<bool> reply = bus.call(call, QDBus::Block, 3000);
    if (!reply.isValid()) {
        std::fputs("tillory: Tillory is not running.\n", stderr);
        return 1;
    }
    if (!reply.value()) {
        std::fputs("tillory: the palette has nothing to show (the clipboard history is empty or off).\n", stderr);
        return 1;
    }
    return 0;
}

} // namespace tillory::app
