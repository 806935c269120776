#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>

namespace tillory::app {

/// The status icon: one tall tile beside two stacked tiles, drawn on an 18-point grid at `scale` pixels per point.
/// Drawn rather than loaded so that it stays crisp at every scale.
QImage drawStatusIcon(double scale, const QColor& color);

/// The icon at the sizes trays ask for, in a colour that reads on the dark panels most trays use.
QIcon statusIcon();

} // namespace tillory::app
