#pragma once

#include "platform/api/platform.h"

#include <QStringList>
#include <QVariant>

#include <memory>

namespace tillory::ui {
class OverlayBackend;
}

namespace tillory::platform::nix {

class WaylandConnection;

/// The real desktop on a wlroots Wayland compositor: Tillory's own connection for the clipboard and overlays,
/// sway's IPC (when it answers) for windows and the front application, and the services every Linux session
/// shares. Needs a QGuiApplication on Qt's Wayland platform.
class WaylandDesktop {
public:
    /// `configHome` is the XDG config folder (for the autostart entry); `executable` the program's own path.
    /// `connection` must outlive the desktop.
    WaylandDesktop(WaylandConnection& connection, const QString& configHome, const QString& executable);
    ~WaylandDesktop();
    WaylandDesktop(const WaylandDesktop&) = delete;
    WaylandDesktop& operator=(const WaylandDesktop&) = delete;

    Platform platform();
    /// The user's "notchWidth" setting, as stored.
    void setNotchWidth(const QVariant& setting);
    /// Whether the compositor let Tillory watch the clipboard; without it the platform has no pasteboard.
    bool hasPasteboard() const;
    /// Where the views' overlays go (layer-shell surfaces); null when the compositor has no layer shell.
    ui::OverlayBackend* overlays();
    /// Chords the user's sway configuration binds already, as "Super+V".
    QStringList refusedChords() const;
    /// Whether sway's IPC answered: without it there is no window list, front application or snapping.
    bool hasSwayIpc() const;

private:
    struct Services;
    std::unique_ptr<Services> services_;
};

} // namespace tillory::platform::nix
