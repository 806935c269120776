// Writes the application icon as PNGs at the hicolor sizes, from the same drawing as the tray icon, so the
// menu icon and the tray icon never drift apart. Usage: tillory_make_icons <output folder> <size>...
#include "status_icon.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <cstdlib>

namespace {

// The same square as data/icons/tillory.svg: 24 units, corner radius 5.5, the 18-unit tray drawing inset by 3.
QImage drawAppIcon(int size) {
    const double unit = size / 24.0;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath square;
    square.addRoundedRect(QRectF(0, 0, size, size), 5.5 * unit, 5.5 * unit);
    painter.fillPath(square, QColor(0x2D, 0x6C, 0xDF));
    const QImage tiles = tillory::app::drawStatusIcon(unit, Qt::white);
    painter.drawImage(QPointF((size - tiles.width()) / 2.0, (size - tiles.height()) / 2.0), tiles);
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <output folder> <size>...\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        if (size <= 0 || !out.mkpath(folder) ||
            !drawAppIcon(size).save(out.filePath(folder + QStringLiteral("/tillory.png")))) {
            std::fprintf(stderr, "%s: cannot write the %s px icon\n", argv[0], argv[i]);
            return 1;
        }
    }
    return 0;
}
