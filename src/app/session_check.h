#pragma once

#include <QByteArray>
#include <QByteArrayList>

#include <optional>

namespace tillory::app {

/// The kind of desktop Tillory was started in, judged before the toolkit opens a display (it aborts the process
/// when it cannot open one). It decides the backend.
enum class Session {
    X11,
    Sway,                ///< a Wayland compositor with the wlroots protocols and sway's IPC: the Wayland backend
    Wlroots,             ///< the wlroots protocols without sway's IPC: the Wayland backend less what needs the IPC
    WaylandWithXWayland, ///< another Wayland desktop; Tillory runs as an X11 client of its XWayland server
    NoDisplay, ///< nothing to talk to: a console, an SSH login, a service, or such a Wayland desktop without XWayland
};

struct SessionEnvironment {
    QByteArray display;        ///< DISPLAY
    QByteArray waylandDisplay; ///< WAYLAND_DISPLAY
    QByteArray sessionType;    ///< XDG_SESSION_TYPE
    QByteArray swaySocket;     ///< SWAYSOCK
    QByteArray backend;        ///< TILLORY_BACKEND: "x11" or "wayland" to choose instead of judging
};

/// What the checks ask of the machine; each is asked only when the answer matters.
struct SessionProbes {
    bool (*canOpenX11Display)(const QByteArray& display) = nullptr;
    /// The interfaces the Wayland compositor offers; nothing when none answers.
    std::optional<QByteArrayList> (*waylandGlobals)(const QByteArray& waylandDisplay) = nullptr;
    bool (*canReachSway)(const QByteArray& socketPath) = nullptr;
};

SessionEnvironment sessionEnvironmentFromProcess();

/// The probes that talk to the real X server, compositor and sway.
SessionProbes realSessionProbes();

Session classifySession(const SessionEnvironment& environment, const SessionProbes& probes);

/// The Wayland protocols Tillory's own backend cannot do without, missing from `globals`.
QByteArrayList missingWaylandProtocols(const QByteArrayList& globals);

/// One line on the backend chosen and why, printed at start.
QByteArray sessionDescription(Session session);

/// What Tillory prints before exiting with status 1 when there is no display.
const char* noDisplayMessage();
/// What Tillory prints once at the start of a Wayland session it runs through XWayland.
const char* waylandMessage();

} // namespace tillory::app
