// The compositing manager check against Xvfb, with a stand-in manager that takes and drops the selection.
#include "platform/x11/x11_clients.h"
#include "platform/x11/x11_compositor.h"

#include "platform/x11/tests/x_test_env.h"

#include <gtest/gtest.h>

using namespace tillory::platform::nix;
using tillory::platform::nix::testing::XServer;

namespace {

TEST(X11Compositor, RunsExactlyWhileSomeoneOwnsTheScreensSelection) {
    XServer server;
    if (!server.start(false)) {
        GTEST_SKIP() << server.missing().toStdString() << " is not available";
    }
    const X11Compositor compositor(server.display().toStdString());
    EXPECT_FALSE(compositor.isRunning());

    X11Clients manager(server.display().toStdString());
    xcb_connection_t* c = manager.connection();
    const xcb_window_t owner = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, owner, manager.root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const struct Step {
        const char* selection;
        xcb_window_t owner;
        bool running;
    } steps[] = {
        {"_NET_WM_CM_S1", owner, false}, // another screen's manager
        {"_NET_WM_CM_S0", owner, true},
        {"_NET_WM_CM_S0", XCB_NONE, false},
    };
    for (const Step& step : steps) {
        xcb_set_selection_owner(c, step.owner, manager.atom(step.selection), XCB_CURRENT_TIME);
        manager.sync();
        EXPECT_EQ(compositor.isRunning(), step.running) << step.selection << " " << step.owner;
    }
    EXPECT_FALSE(X11Compositor(":not-a-display").isRunning());
}

} // namespace
