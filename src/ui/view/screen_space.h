#pragma once

#include "platform/api/geometry.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace tillory::ui {

/// The height screen space is flipped against, chosen as the X11 screens choose their reference: the bottom of the
/// screen holding the root's origin, else of the primary screen when its top is the desktop's top, else of the
/// first screen whose top is.
inline double referenceHeight() {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) {
        return 0;
    }
    int top = screens.front()->geometry().top();
    for (QScreen* s : screens) {
        top = std::min(top, s->geometry().top());
    }
    QScreen* reference = nullptr;
    for (QScreen* s : screens) {
        if (s->geometry().contains(QPoint(0, 0))) {
            reference = s;
            break;
        }
    }
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!reference && primary && primary->geometry().top() == top) {
        reference = primary;
    }
    if (!reference) {
        reference =
            *std::find_if(screens.begin(), screens.end(), [top](QScreen* s) { return s->geometry().top() == top; });
    }
    const QRect r = reference->geometry();
    return double(r.y()) + r.height();
}

/// Screen space (origin at the bottom left of the reference screen, y up) to Qt's window coordinates (top left,
/// y down).
inline QRect toWindowGeometry(const platform::Rect& frame) {
    const double height = referenceHeight();
    return QRect(int(std::lround(frame.x)), int(std::lround(height - (frame.y + frame.height))),
                 int(std::lround(frame.width)), int(std::lround(frame.height)));
}

} // namespace tillory::ui
