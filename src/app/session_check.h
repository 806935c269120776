#pragma once

#include <QByteArray>

namespace tillory::app {

/// The kind of desktop Tillory was started in, judged before the toolkit opens a display (it aborts the process
/// when it cannot open one).
enum class Session {
    X11,
    WaylandWithXWayland, ///< a Wayland desktop; Tillory runs as an X11 client of its XWayland server
    NoDisplay,           ///< no X server to talk to: a console, an SSH login, a service, or Wayland without XWayland
};

struct SessionEnvironment {
    QByteArray display;        ///< DISPLAY
    QByteArray waylandDisplay; ///< WAYLAND_DISPLAY
    QByteArray sessionType;    ///< XDG_SESSION_TYPE
};

SessionEnvironment sessionEnvironmentFromProcess();

/// `canOpenDisplay` is asked only when DISPLAY is set.
Session classifySession(const SessionEnvironment& environment, bool (*canOpenDisplay)(const QByteArray& display));

/// Connects to the X server and lets go again.
bool canOpenX11Display(const QByteArray& display);

/// What Tillory prints before exiting with status 1 when there is no display.
const char* noDisplayMessage();
/// What Tillory prints once at the start of a Wayland session.
const char* waylandMessage();

} // namespace tillory::app
