#include "ui/view/bitmap_images.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <vector>

namespace tillory::ui {
namespace {

/// One pass of a box blur of `radius` over the alpha values of a `width` × `height` grid, along rows or columns.
void boxBlur(std::vector<int>& alpha, int width, int height, int radius, bool rows) {
    const int lines = rows ? height : width;
    const int length = rows ? width : height;
    std::vector<int> line(static_cast<std::size_t>(length));
    for (int l = 0; l < lines; ++l) {
        const auto at = [&](int i) -> int& {
            return alpha[static_cast<std::size_t>(rows ? l * width + i : i * width + l)];
        };
        for (int i = 0; i < length; ++i) {
            int sum = 0;
            for (int k = std::max(0, i - radius); k <= std::min(length - 1, i + radius); ++k) {
                sum += at(k);
            }
            line[static_cast<std::size_t>(i)] = sum / (2 * radius + 1);
        }
        for (int i = 0; i < length; ++i) {
            at(i) = line[static_cast<std::size_t>(i)];
        }
    }
}

} // namespace

QImage toImage(const platform::Bitmap& bitmap, QSize bounds) {
    if (!bitmap.isValid()) {
        return {};
    }
    // A view over the bitmap's bytes; both branches below copy them out before the bitmap can go.
    const QImage view(reinterpret_cast<const uchar*>(bitmap.pixels.constData()), bitmap.width, bitmap.height,
                      bitmap.stride, QImage::Format_ARGB32_Premultiplied);
    if (bounds.width() > 0 && bounds.height() > 0 &&
        (bitmap.width > bounds.width() || bitmap.height > bounds.height())) {
        return view.scaled(bounds, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return view.copy();
}

QImage roundedImage(const QImage& image, double radius) {
    if (image.isNull()) {
        return image;
    }
    QImage out(image.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(image.size())), radius, radius);
    painter.fillPath(path, QBrush(image));
    return out;
}

QImage shadowOf(const QImage& shape, int radius, int passes, QColor color, double opacity) {
    const QImage source = shape.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = source.width();
    const int h = source.height();
    std::vector<int> alpha(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            alpha[static_cast<std::size_t>(y * w + x)] = qAlpha(line[x]);
        }
    }
    for (int pass = 0; pass < passes; ++pass) {
        boxBlur(alpha, w, h, radius, true);
        boxBlur(alpha, w, h, radius, false);
    }
    QImage out(source.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int a = int(alpha[static_cast<std::size_t>(y * w + x)] * opacity);
            line[x] = qRgba(color.red() * a / 255, color.green() * a / 255, color.blue() * a / 255, a);
        }
    }
    return out;
}

} // namespace tillory::ui
