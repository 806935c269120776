#pragma once

#include "platform/api/window_capture.h"
#include "platform/api/window_list.h"

#include <functional>
#include <memory>
#include <string>

namespace tillory::platform::nix {

/// Window captures on X11: every top-level window is redirected once (Composite, automatic mode, kept for the
/// life of this object, so a covered window still has its pixels), and each request names the window's pixmap,
/// scales the client area on the server with RENDER to fit the requested box, keeping its shape (bilinear to twice
/// the size, then an exact halving, which looks like a box filter) and reads the small image back, through MIT-SHM
/// where the server offers it. A worker thread with its own connection does all of it; results go to the main
/// thread through `post`.
/// Minimised windows and those on hidden workspaces are unmapped and give no image. A request batch still waiting
/// when the next one comes is answered with no images: only the latest session's captures are worth taking.
class X11WindowCapture final : public WindowCapture {
public:
    /// `post` runs work on the main thread and may be called from any thread. `display` empty means $DISPLAY.
    explicit X11WindowCapture(std::function<void(std::function<void()>)> post, const std::string& display = {});
    ~X11WindowCapture() override;
    X11WindowCapture(const X11WindowCapture&) = delete;
    X11WindowCapture& operator=(const X11WindowCapture&) = delete;

    /// True when the server has Composite (0.2 or later) and RENDER; what screen recording access means here.
    bool available() const;
    /// Which of them this X server lacks, in a line for the user; empty when captures are available.
    QString missing() const;
    /// False (and `deliver` never called) when `available()` is false or `requests` is empty.
    bool capture(std::vector<CaptureRequest> requests, Delivery deliver) override;

private:
    class Worker;
    std::unique_ptr<Worker> worker_;
};

/// Access to window pixels on X11: granted exactly when the server can composite; there is nothing to ask.
class X11ScreenCapture final : public ScreenCapture {
public:
    explicit X11ScreenCapture(const X11WindowCapture& capture) : capture_(capture) {}
    bool hasAccess() const override { return capture_.available(); }
    bool requestAccess() override { return capture_.available(); }
    QString missingCapability() const override { return capture_.missing(); }

private:
    const X11WindowCapture& capture_;
};

} // namespace tillory::platform::nix
