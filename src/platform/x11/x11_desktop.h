#pragma once

#include "platform/api/platform.h"

#include <QVariant>

#include <memory>

namespace tillory::platform::nix {

/// The real desktop on Linux/X11. Needs a QGuiApplication on the xcb platform.
class X11Desktop {
public:
    /// `configHome` is the XDG config folder (for the autostart entry); `executable` the program's own path.
    X11Desktop(const QString& configHome, const QString& executable);
    ~X11Desktop();
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    Platform platform();
    /// The user's "notchWidth" setting, as stored (see notchAreaWidth).
    void setNotchWidth(const QVariant& setting);

private:
    struct Services;
    std::unique_ptr<Services> services_;
};

} // namespace tillory::platform::nix
