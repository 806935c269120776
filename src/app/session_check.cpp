#include "session_check.h"

#include "platform/wayland/wayland_connection.h"

#include <xcb/xcb.h>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tillory::app {
namespace {

// Overlays (layer shell) and the clipboard without focus (data control, either protocol) are what the native
// backend is built on; without them XWayland serves better.
const QByteArray kLayerShell = "zwlr_layer_shell_v1";
const QByteArrayList kDataControl = {"ext_data_control_manager_v1", "zwlr_data_control_manager_v1"};

bool openX11Display(const QByteArray& display) {
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool opened = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return opened;
}

std::optional<QByteArrayList> readWaylandGlobals(const QByteArray& waylandDisplay) {
    const auto globals = platform::nix::probeWaylandGlobals(waylandDisplay);
    if (!globals) {
        return std::nullopt;
    }
    QByteArrayList names;
    for (const platform::nix::WaylandGlobal& global : *globals) {
        names.append(global.interface);
    }
    return names;
}

bool connectToSway(const QByteArray& socketPath) {
    sockaddr_un address{};
    if (socketPath.isEmpty() || static_cast<size_t>(socketPath.size()) >= sizeof address.sun_path) {
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.constData(), static_cast<size_t>(socketPath.size()));
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

} // namespace

SessionEnvironment sessionEnvironmentFromProcess() {
    return {qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"), qgetenv("XDG_SESSION_TYPE"), qgetenv("SWAYSOCK"),
            qgetenv("TILLORY_BACKEND")};
}

SessionProbes realSessionProbes() {
    return {&openX11Display, &readWaylandGlobals, &connectToSway};
}

QByteArrayList missingWaylandProtocols(const QByteArrayList& globals) {
    QByteArrayList missing;
    if (!globals.contains(kLayerShell)) {
        missing.append(kLayerShell);
    }
    if (!globals.contains(kDataControl[0]) && !globals.contains(kDataControl[1])) {
        missing.append(kDataControl.join(" or "));
    }
    return missing;
}

Session classifySession(const SessionEnvironment& environment, const SessionProbes& probes) {
    if (environment.backend != "x11" && !environment.waylandDisplay.isEmpty()) {
        const std::optional<QByteArrayList> globals = probes.waylandGlobals(environment.waylandDisplay);
        if (globals && missingWaylandProtocols(*globals).isEmpty()) {
            return probes.canReachSway(environment.swaySocket) ? Session::Sway : Session::Wlroots;
        }
    }
    // Asked only now: on a Wayland desktop, opening DISPLAY may start an XWayland server.
    if (environment.display.isEmpty() || !probes.canOpenX11Display(environment.display)) {
        return Session::NoDisplay;
    }
    if (!environment.waylandDisplay.isEmpty() || environment.sessionType == "wayland") {
        return Session::WaylandWithXWayland;
    }
    return Session::X11;
}

QByteArray sessionDescription(Session session) {
    switch (session) {
    case Session::X11:
        return "Tillory uses the X11 backend: this is an X11 session.";
    case Session::Sway:
        return "Tillory uses the Wayland backend with sway's IPC: the compositor offers the layer shell and the "
               "clipboard protocol, and sway answers on SWAYSOCK.";
    case Session::Wlroots:
        return "Tillory uses the Wayland backend without sway's IPC: the compositor offers the layer shell and the "
               "clipboard protocol, but no sway answers on SWAYSOCK (no key chords, window list or snapping).";
    case Session::WaylandWithXWayland:
        return "Tillory uses the X11 backend through XWayland: this Wayland compositor lacks what the Wayland "
               "backend needs (or TILLORY_BACKEND=x11 asked for X11).";
    case Session::NoDisplay:
        return "Tillory found no desktop to run in.";
    }
    return {};
}

const char* noDisplayMessage() {
    return "Tillory needs a desktop session. It found neither a Wayland compositor offering the layer shell and\n"
           "the data-control clipboard protocol (sway and the other wlroots compositors do) nor an X11 display\n"
           "(DISPLAY is unset or its X server cannot be reached; on other Wayland desktops Tillory\n"
           "runs through XWayland, which needs DISPLAY set).\n"
           "Without a desktop, `tillory --snapshot` still prints the system monitor's reading.\n";
}

const char* waylandMessage() {
    return "Tillory is running in a Wayland session through XWayland. Global key grabs only see X11 windows there, so\n"
           "these need an X11 session or a wlroots compositor such as sway: the keyboard chords, the window\n"
           "switcher, snap layouts, the palette at the text caret and Backspace in the file manager.\n"
           "These still work: the clipboard history (for what XWayland sees), the system monitor and its panel, and\n"
           "the now-playing island where the compositor lets it show.\n";
}

} // namespace tillory::app
