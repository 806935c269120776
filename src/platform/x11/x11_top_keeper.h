#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

struct xcb_connection_t;
class QSocketNotifier;

namespace tillory::platform::nix {

/// Keeps one override-redirect window of ours above the windows that appear after it. Such a window is stacked
/// like any other: a tooltip, a menu or another overlay mapped later covers it, and so does a frame the window
/// manager raises. While a window is kept, every map or restack of another window puts it back on top, at most
/// kMaxRaisesPerSecond times a second, so that two programs doing the same cannot fight without end. Main thread.
class X11TopKeeper {
public:
    static constexpr int kMaxRaisesPerSecond = 20;

    /// Its own connection to `display` ($DISPLAY when empty); without one it does nothing.
    explicit X11TopKeeper(const std::string& display = {});
    ~X11TopKeeper();
    X11TopKeeper(const X11TopKeeper&) = delete;
    X11TopKeeper& operator=(const X11TopKeeper&) = delete;

    /// Starts keeping `window` on top and raises it now; 0 stops. The server reports only from here on.
    void keepOnTop(std::uint32_t window);
    /// Takes what the server reported and raises the kept window where another came up; called by the
    /// connection's socket notifier when there is an event loop, and by tests.
    void handleEvents();

private:
    void raise();

    xcb_connection_t* c_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint32_t kept_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::chrono::steady_clock::time_point since_;
    int raises_ = 0;
};

} // namespace tillory::platform::nix
