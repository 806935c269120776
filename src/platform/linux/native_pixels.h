#pragma once

#include "platform/api/geometry.h"

#include <QGuiApplication>
#include <QScreen>

namespace tillory::platform::nix {

/// The X server's pixels (what XInput, XTest and AT-SPI speak) to Qt's logical coordinates (what Qt's screens,
/// windows and cursor speak, and so the program's points). The two differ wherever Qt scales its windows
/// (QT_SCALE_FACTOR, Xft.dpi, per-screen factors): Qt keeps each screen's top-left corner where it is and divides
/// the distance from it. Without a screen under the point, or without an application, nothing is changed.
/// Main thread.
inline Rect logicalFromNative(const Rect& native) {
    if (!qGuiApp) {
        return native;
    }
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect logical = screen->geometry();
        const double ratio = screen->devicePixelRatio();
        const double left = logical.x();
        const double top = logical.y();
        if (ratio <= 0 || native.x < left || native.y < top || native.x >= left + logical.width() * ratio ||
            native.y >= top + logical.height() * ratio) {
            continue;
        }
        return Rect{left + (native.x - left) / ratio, top + (native.y - top) / ratio, native.width / ratio,
                    native.height / ratio};
    }
    return native;
}

inline Point logicalFromNative(const Point& native) {
    return logicalFromNative(Rect{native.x, native.y, 0, 0}).origin();
}

/// The inverse: the program's points (global top-left space) to X server pixels, by the screen under the point.
inline Rect nativeFromLogical(const Rect& logical) {
    if (!qGuiApp) {
        return logical;
    }
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->geometry();
        const double ratio = screen->devicePixelRatio();
        if (ratio <= 0 || !area.contains(QPoint(int(logical.x), int(logical.y)))) {
            continue;
        }
        const double left = area.x();
        const double top = area.y();
        return Rect{left + (logical.x - left) * ratio, top + (logical.y - top) * ratio, logical.width * ratio,
                    logical.height * ratio};
    }
    return logical;
}

} // namespace tillory::platform::nix
