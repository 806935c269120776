// Which backend a start gets: from the session's variables and what the X server, the compositor and sway answer.
#include "session_check.h"

#include <gtest/gtest.h>

using namespace tillory::app;

namespace {

// What the fake machine answers, per case (the probes are plain function pointers).
bool xOpens = false;
std::optional<QByteArrayList> compositorGlobals;
bool swayAnswers = false;
int xAsked = 0;

SessionProbes fakeProbes() {
    return {[](const QByteArray&) {
                ++xAsked;
                return xOpens;
            },
            [](const QByteArray&) { return compositorGlobals; }, [](const QByteArray&) { return swayAnswers; }};
}

const QByteArrayList kSway = {"wl_compositor", "wl_seat", "zwlr_layer_shell_v1", "zwlr_data_control_manager_v1"};
const QByteArrayList kExtOnly = {"wl_seat", "zwlr_layer_shell_v1", "ext_data_control_manager_v1"};
const QByteArrayList kNoLayerShell = {"wl_seat", "zwlr_data_control_manager_v1", "xdg_wm_base"};
const QByteArrayList kGnomeLike = {"wl_seat", "xdg_wm_base", "zwp_keyboard_shortcuts_inhibit_manager_v1"};

struct Case {
    const char* what;
    SessionEnvironment environment;
    bool xOpens;
    std::optional<QByteArrayList> globals;
    bool swayAnswers;
    Session expected;
    bool asksX;
};

TEST(SessionCheck, ChoosesTheBackendFromWhatTheDesktopOffers) {
    const Case cases[] = {
        {"plain X11", {":0", "", "x11", "", ""}, true, std::nullopt, false, Session::X11, true},
        {"X11 display that does not open",
         {":9", "", "", "", ""},
         false,
         std::nullopt,
         false,
         Session::NoDisplay,
         true},
        {"nothing set", {"", "", "", "", ""}, false, std::nullopt, false, Session::NoDisplay, false},
        {"sway with its IPC",
         {":1", "wayland-1", "wayland", "/run/sway.sock", ""},
         true,
         kSway,
         true,
         Session::Sway,
         false},
        {"sway without XWayland",
         {"", "wayland-1", "wayland", "/run/sway.sock", ""},
         false,
         kSway,
         true,
         Session::Sway,
         false},
        {"wlroots compositor, no sway",
         {"", "wayland-1", "wayland", "", ""},
         false,
         kSway,
         false,
         Session::Wlroots,
         false},
        {"the standard data control alone is enough",
         {"", "wayland-1", "", "", ""},
         false,
         kExtOnly,
         false,
         Session::Wlroots,
         false},
        {"SWAYSOCK left over from another session",
         {"", "wayland-1", "", "/gone.sock", ""},
         false,
         kSway,
         false,
         Session::Wlroots,
         false},
        {"no layer shell: through XWayland",
         {":1", "wayland-0", "wayland", "", ""},
         true,
         kNoLayerShell,
         false,
         Session::WaylandWithXWayland,
         true},
        {"GNOME-like compositor with XWayland",
         {":0", "wayland-0", "wayland", "", ""},
         true,
         kGnomeLike,
         false,
         Session::WaylandWithXWayland,
         true},
        {"GNOME-like compositor without XWayland",
         {"", "wayland-0", "wayland", "", ""},
         false,
         kGnomeLike,
         false,
         Session::NoDisplay,
         false},
        {"compositor not answering",
         {":0", "wayland-9", "wayland", "", ""},
         true,
         std::nullopt,
         false,
         Session::WaylandWithXWayland,
         true},
        {"session type alone says Wayland",
         {":0", "", "wayland", "", ""},
         true,
         std::nullopt,
         false,
         Session::WaylandWithXWayland,
         true},
        {"TILLORY_BACKEND=x11 on sway",
         {":1", "wayland-1", "wayland", "/run/sway.sock", "x11"},
         true,
         kSway,
         true,
         Session::WaylandWithXWayland,
         true},
        {"TILLORY_BACKEND=x11 without XWayland",
         {"", "wayland-1", "wayland", "/run/sway.sock", "x11"},
         false,
         kSway,
         true,
         Session::NoDisplay,
         false},
    };
    for (const Case& c : cases) {
        xOpens = c.xOpens;
        compositorGlobals = c.globals;
        swayAnswers = c.swayAnswers;
        xAsked = 0;
        EXPECT_EQ(classifySession(c.environment, fakeProbes()), c.expected) << c.what;
        // Opening DISPLAY on a Wayland desktop may start an XWayland server: only when X11 is the answer.
        EXPECT_EQ(xAsked > 0, c.asksX) << c.what;
    }
}

TEST(SessionCheck, NamesTheProtocolsACompositorLacks) {
    struct Missing {
        QByteArrayList globals;
        QByteArrayList expected;
    };
    for (const Missing& m :
         {Missing{kSway, {}}, Missing{kExtOnly, {}}, Missing{kNoLayerShell, {"zwlr_layer_shell_v1"}},
          Missing{kGnomeLike,
                  {"zwlr_layer_shell_v1", "ext_data_control_manager_v1 or zwlr_data_control_manager_v1"}}}) {
        EXPECT_EQ(missingWaylandProtocols(m.globals), m.expected) << m.globals.join(' ').toStdString();
    }
}

} // namespace
