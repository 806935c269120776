#include "status_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <cmath>

namespace tillory::app {

namespace {
// Points of dark rim around each tile.
constexpr double kOutlineWidth = 1.5;
} // namespace

QImage drawStatusIcon(double scale, const QColor& color, const QColor& outline) {
    const int side = static_cast<int>(std::lround(18 * scale));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    // Three rounded tiles (corner radius 1.5) on the 18 × 18 grid, y measured from the top.
    const double tile = 6.818;
    const QRectF tiles[] = {{1.5, 1.5, tile, 15.0}, {9.682, 1.5, tile, tile}, {9.682, 9.682, tile, tile}};
    QPainterPath path;
    for (const QRectF& rect : tiles) {
        path.addRoundedRect(rect, 1.5, 1.5);
    }
    if (outline.isValid()) {
        // A dark rim around the light tiles: the rim reads on a light tray, the tiles on a dark one.
        painter.strokePath(path, QPen(outline, 2 * kOutlineWidth));
    }
    painter.fillPath(path, color);
    return image;
}

QIcon statusIcon() {
    QIcon icon;
    const QColor color(0xF2, 0xF2, 0xF2);
    const QColor outline(0x26, 0x26, 0x26);
    for (double scale : {1.0, 4.0 / 3.0, 2.0, 3.0}) {
        icon.addPixmap(QPixmap::fromImage(drawStatusIcon(scale, color, outline)));
    }
    return icon;
}

} // namespace tillory::app
