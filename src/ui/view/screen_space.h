#pragma once

#include "platform/api/geometry.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>

#include <cmath>

namespace tillory::ui {

/// Screen space (origin at the bottom left of the primary screen, y up) to Qt's window coordinates (top left,
/// y down), against the same primary screen height the Linux screens use.
inline QRect toWindowGeometry(const platform::Rect& frame) {
    QScreen* primary = QGuiApplication::primaryScreen();
    const double height = primary ? primary->geometry().height() : 0;
    return QRect(int(std::lround(frame.x)), int(std::lround(height - (frame.y + frame.height))),
                 int(std::lround(frame.width)), int(std::lround(frame.height)));
}

} // namespace tillory::ui
