#include "platform/linux/xdg_login_item.h"

#include "core/atomic_file.h"

#include <QDir>
#include <QFile>

namespace tillory::platform::nix {
namespace {

// Desktop entries quote Exec arguments with double quotes and escape \ " ` $ inside them.
QString quotedExec(const QString& path) {
    QString escaped;
    for (QChar c : path) {
        if (c == u'\\' || c == u'"' || c == u'`' || c == u'$') {
            escaped += u'\\';
        }
        escaped += c;
    }
    return u'"' + escaped + u'"';
}

} // namespace

XdgLoginItem::XdgLoginItem(QString configHome, QString executable)
    : configHome_(std::move(configHome)), executable_(std::move(executable)) {}

QString XdgLoginItem::entryPath() const {
    return QDir(configHome_).filePath(QStringLiteral("autostart/tillory.desktop"));
}

bool XdgLoginItem::isEnabled() {
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    // A desktop may keep the entry but switch it off with Hidden or the GNOME key.
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.compare(QLatin1String("Hidden=true"), Qt::CaseInsensitive) == 0 ||
            line.compare(QLatin1String("X-GNOME-Autostart-enabled=false"), Qt::CaseInsensitive) == 0) {
            return false;
        }
    }
    return true;
}

bool XdgLoginItem::registerItem() {
    const QString folder = QDir(configHome_).filePath(QStringLiteral("autostart"));
    if (!QDir().mkpath(folder)) {
        return false;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Tillory\n"
                                         "Comment=Clipboard history, window switcher, snap layouts and more\n"
                                         "Exec=%1\n"
                                         "Icon=tillory\n"
                                         "Terminal=false\n"
                                         "StartupNotify=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(quotedExec(executable_));
    return core::writeFileAtomically(entryPath(), entry.toUtf8(), 0644);
}

bool XdgLoginItem::unregisterItem() {
    QFile file(entryPath());
    return !file.exists() || file.remove();
}

} // namespace tillory::platform::nix
