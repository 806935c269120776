#pragma once

#include "platform/api/appearance.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

#include <functional>

namespace tillory::ui {

/// Whether Tillory's views are dark, one answer for all of them: the scheme the desktop states; where it states
/// none, the palette of the desktop's Qt theme; where no theme is installed (Qt's own light palette is all there
/// is, which says nothing of the desktop), dark, the look of the island that is always dark.
inline bool darkViews(platform::Appearance::ColorScheme stated, const QPalette& palette) {
    using Scheme = platform::Appearance::ColorScheme;
    if (stated != Scheme::unstated) {
        return stated == Scheme::dark;
    }
    const QColor window = palette.color(QPalette::Window);
    const bool qtDefault = window == QColor(0xef, 0xef, 0xef) && palette.color(QPalette::WindowText) == Qt::black;
    return qtDefault || window.lightness() < 128;
}

/// What a view asks each time it shows: `rule` (the desktop's answer) where one is given, else the application
/// palette's.
inline bool darkViews(const std::function<bool()>& rule) {
    return rule ? rule() : darkViews(platform::Appearance::ColorScheme::unstated, QGuiApplication::palette());
}

} // namespace tillory::ui
