#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>

namespace tillory::app {

/// The status icon: one tall tile beside two stacked tiles, drawn on an 18-point grid at `scale` pixels per point,
/// each tile edged with `outline` when it is valid. Drawn rather than loaded so that it stays crisp at every scale.
QImage drawStatusIcon(double scale, const QColor& color, const QColor& outline = QColor());

/// The icon at the sizes trays ask for: light tiles edged in near-black, so that it reads on light and dark trays
/// alike (the tray's colour is not known).
QIcon statusIcon();

} // namespace tillory::app
