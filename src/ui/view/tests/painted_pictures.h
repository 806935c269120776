// Pictures the view tests paint for the simulated desktop: windows as a capture would show them, and
// application icons.
#pragma once

#include "platform/api/bitmap.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>

namespace tillory::ui::testing {

inline platform::Bitmap toBitmap(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return {image.width(), image.height(), static_cast<int>(image.bytesPerLine()),
            QByteArray(reinterpret_cast<const char*>(image.constBits()), static_cast<qsizetype>(image.sizeInBytes()))};
}

/// A window as a capture would show it: a title bar, a side bar in the application's colour and some content.
inline QImage windowPicture(QSize size, QColor accent, bool dark) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(dark ? QColor(0x1e, 0x1f, 0x24) : QColor(0xf6, 0xf6, 0xf8));
    QPainter p(&image);
    const int bar = size.height() / 9;
    p.fillRect(0, 0, size.width(), bar, dark ? QColor(0x2d, 0x2e, 0x34) : QColor(0xe2, 0xe3, 0xe7));
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 3; ++i) {
        p.setBrush(QColor(i == 0 ? 0xff5f57 : i == 1 ? 0xfebc2e : 0x28c840));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(bar * (0.6 + 0.7 * i), bar / 2.0), bar / 5.0, bar / 5.0);
    }
    p.fillRect(0, bar, size.width() / 4, size.height() - bar, accent.lighter(dark ? 60 : 170));
    p.setBrush(accent);
    p.drawRoundedRect(QRectF(size.width() * 0.3, bar * 1.6, size.width() * 0.62, size.height() * 0.22), 4, 4);
    const QColor line = dark ? QColor(0x8a, 0x8d, 0x96) : QColor(0xb9, 0xbc, 0xc4);
    for (int i = 0; i < 6; ++i) {
        p.fillRect(QRectF(size.width() * 0.3, size.height() * (0.45 + 0.08 * i), size.width() * (0.62 - 0.07 * (i % 3)),
                          size.height() * 0.025),
                   line);
    }
    return image;
}

/// An application icon: a rounded square in its colour with its initial.
inline platform::Bitmap iconPicture(QColor color, QChar letter) {
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, 64);
    fill.setColorAt(0, color.lighter(125));
    fill.setColorAt(1, color.darker(115));
    p.setBrush(fill);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(4, 4, 56, 56), 13, 13);
    QFont font;
    font.setPixelSize(34);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(4, 4, 56, 56), Qt::AlignCenter, QString(letter));
    return toBitmap(image);
}

} // namespace tillory::ui::testing
