#include "platform/linux/desktop_appearance.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QFile>
#include <QRegularExpression>

namespace tillory::platform::nix {

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettings = QStringLiteral("org.freedesktop.portal.Settings");
const QString kGroup = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");
// A settings file is a few lines; anything far larger is not one.
constexpr qint64 kMaxSettingsBytes = 64 * 1024;

/// The portal wraps the value in as many variants as its version did.
QVariant unwrapped(QVariant value) {
    for (int depth = 0; depth < 4 && value.canConvert<QDBusVariant>(); ++depth) {
        value = value.value<QDBusVariant>().variant();
    }
    return value;
}

QString readSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSettingsBytes) {
        return {};
    }
    return QString::fromUtf8(file.read(kMaxSettingsBytes));
}

} // namespace

Appearance::ColorScheme gtkColorScheme(const QString& settingsIni) {
    using ColorScheme = Appearance::ColorScheme;
    static const QRegularExpression line(QStringLiteral("^\\s*([A-Za-z0-9-]+)\\s*=\\s*(.*?)\\s*$"));
    std::optional<bool> preferDark;
    QString theme;
    for (const QString& text : settingsIni.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = line.match(text);
        if (!m.hasMatch()) {
            continue;
        }
        QString value = m.captured(2).toLower();
        if (m.captured(1) == QLatin1String("gtk-application-prefer-dark-theme")) {
            if (value == QLatin1String("1") || value == QLatin1String("true")) {
                preferDark = true;
            } else if (value == QLatin1String("0") || value == QLatin1String("false")) {
                preferDark = false;
            }
        } else if (m.captured(1) == QLatin1String("gtk-theme-name")) {
            theme = value.remove(QLatin1Char('"'));
        }
    }
    if (preferDark == true || theme.endsWith(QLatin1String("-dark")) || theme.endsWith(QLatin1String(":dark"))) {
        return ColorScheme::dark;
    }
    return !theme.isEmpty() || preferDark == false ? ColorScheme::light : ColorScheme::unstated;
}

DesktopAppearance::DesktopAppearance(QDBusConnection bus, const QString& configHome, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), configHome_(configHome) {
    if (!bus_.isConnected()) {
        return;
    }
    bus_.connect(kPortal, kPortalPath, kSettings, QStringLiteral("SettingChanged"), this,
                 SLOT(onSettingChanged(QDBusMessage)));
    QDBusMessage read = QDBusMessage::createMethodCall(kPortal, kPortalPath, kSettings, QStringLiteral("Read"));
    read << kGroup << kKey;
    // Asked without waiting: a portal that is slow to start must not hold up Tillory's.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(read, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            setPortalValue(reply.arguments().constFirst());
        }
    });
}

Appearance::ColorScheme DesktopAppearance::colorScheme() {
    if (portal_ && *portal_ != ColorScheme::unstated) {
        return *portal_;
    }
    for (const char* version : {"gtk-4.0", "gtk-3.0"}) {
        const QString ini =
            readSmallFile(configHome_ + QLatin1Char('/') + QLatin1String(version) + QStringLiteral("/settings.ini"));
        if (const ColorScheme scheme = gtkColorScheme(ini); scheme != ColorScheme::unstated) {
            return scheme;
        }
    }
    return ColorScheme::unstated;
}

void DesktopAppearance::onSettingChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() == 3 && args[0].toString() == kGroup && args[1].toString() == kKey) {
        setPortalValue(args[2]);
    }
}

void DesktopAppearance::setPortalValue(const QVariant& value) {
    bool ok = false;
    const uint scheme = unwrapped(value).toUInt(&ok);
    // 1: prefer dark, 2: prefer light, 0 or anything else: no preference.
    portal_ = !ok           ? ColorScheme::unstated
              : scheme == 1 ? ColorScheme::dark
              : scheme == 2 ? ColorScheme::light
                            : ColorScheme::unstated;
}

} // namespace tillory::platform::nix
