#pragma once

#include "platform/api/appearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <optional>

namespace tillory::platform::nix {

/// What GTK's settings file says of dark and light: `gtk-application-prefer-dark-theme`, else a theme named as a
/// dark variant ("Adwaita-dark", "Theme:dark"), else light where a theme is named; unstated otherwise.
Appearance::ColorScheme gtkColorScheme(const QString& settingsIni);

/// The colour scheme from the desktop portal's appearance setting (read once at start, then followed through its
/// change signal), else from GTK's settings file. Main thread.
class DesktopAppearance : public QObject, public Appearance {
    Q_OBJECT
public:
    /// `configHome` holds gtk-3.0/settings.ini and gtk-4.0/settings.ini.
    DesktopAppearance(QDBusConnection bus, const QString& configHome, QObject* parent = nullptr);
    ColorScheme colorScheme() override;

private Q_SLOTS:
    void onSettingChanged(const QDBusMessage& message);

private:
    void setPortalValue(const QVariant& value);

    QDBusConnection bus_;
    QString configHome_;
    /// What the portal said, once it has; unstated means "no preference".
    std::optional<ColorScheme> portal_;
};

} // namespace tillory::platform::nix
