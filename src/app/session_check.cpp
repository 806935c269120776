#include "session_check.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace tillory::app {

SessionEnvironment sessionEnvironmentFromProcess() {
    return {qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"), qgetenv("XDG_SESSION_TYPE")};
}

Session classifySession(const SessionEnvironment& environment, bool (*canOpenDisplay)(const QByteArray& display)) {
    // Every window, key grab and window move goes through X11; a Wayland compositor without XWayland gives
    // Tillory nothing to work with, so it is treated like no display at all.
    if (environment.display.isEmpty() || !canOpenDisplay(environment.display)) {
        return Session::NoDisplay;
    }
    if (!environment.waylandDisplay.isEmpty() || environment.sessionType == "wayland") {
        return Session::WaylandWithXWayland;
    }
    return Session::X11;
}

bool canOpenX11Display(const QByteArray& display) {
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool opened = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return opened;
}

const char* noDisplayMessage() {
    return "Tillory needs a desktop session: it found no X11 display to open (DISPLAY is unset or its X server\n"
           "cannot be reached). Start it from within your desktop; on a Wayland desktop it runs through XWayland,\n"
           "which needs DISPLAY set.\n"
           "Without a desktop, `tillory --snapshot` still prints the system monitor's reading.\n";
}

const char* waylandMessage() {
    return "Tillory is running in a Wayland session through XWayland. Global key grabs only see X11 windows there, so\n"
           "these need an X11 session: the keyboard chords, the window switcher, snap layouts, the palette at the\n"
           "text caret and Backspace in the file manager.\n"
           "These still work: the clipboard history (for what XWayland sees), the system monitor and its panel, and\n"
           "the now-playing island where the compositor lets it show.\n";
}

} // namespace tillory::app
