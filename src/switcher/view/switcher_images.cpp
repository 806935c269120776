#include "switcher/view/switcher_images.h"

#include "switcher/window_switcher_engine.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tillory::switcher {

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

namespace {

constexpr double kBadgeBox = 36;
constexpr double kBadgeIcon = 28;
constexpr double kShadowOpacity = 0.4;
constexpr double kThumbnailRadius = 4;

/// One pass of a box blur of `radius` over the alpha values of a `width` × `height` grid, along rows
/// (`step` 1) or columns (`step` width).
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

/// The picture with softly rounded corners, as a window's own corners look.
QImage rounded(const QImage& image, double radius) {
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

} // namespace

QImage badgeImage(const platform::Bitmap& icon, QSize size) {
    if (!icon.isValid()) {
        return {};
    }
    if (size.width() <= 0 || size.height() <= 0) {
        size = QSize(int(kBadgeBox), int(kBadgeBox));
    }
    const double scale = size.width() / kBadgeBox;
    const double side = kBadgeIcon * scale;
    const QRectF place((size.width() - side) / 2, (size.height() - side) / 2, side, side);
    const QImage picture = toImage(icon, QSize(int(std::ceil(side)), int(std::ceil(side))));

    // The shadow: the icon's outline, blurred, black, one point down.
    QImage outline(size, QImage::Format_ARGB32_Premultiplied);
    outline.fill(Qt::transparent);
    {
        QPainter painter(&outline);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(place.translated(0, scale), picture);
    }
    const int w = size.width();
    const int h = size.height();
    std::vector<int> alpha(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(outline.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            alpha[static_cast<std::size_t>(y * w + x)] = qAlpha(line[x]);
        }
    }
    const int radius = std::max(1, int(std::lround(1.5 * scale)));
    for (bool rows : {true, false, true, false}) {
        boxBlur(alpha, w, h, radius, rows);
    }
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            line[x] = qRgba(0, 0, 0, int(alpha[static_cast<std::size_t>(y * w + x)] * kShadowOpacity));
        }
    }
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(place, picture);
    return out;
}

SwitcherImageProvider::SwitcherImageProvider(WindowSwitcherEngine* engine)
    : QQuickImageProvider(QQuickImageProvider::Image), engine_(engine) {}

QImage SwitcherImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
    const QStringList parts = id.split(QLatin1Char('/'));
    bool isNumber = false;
    const int index = parts.size() >= 2 ? parts[1].toInt(&isNumber) : -1;
    std::optional<platform::Bitmap> bitmap;
    if (engine_ && isNumber) {
        bitmap = parts[0] == QLatin1String("thumbnail") ? engine_->thumbnailAt(index) : engine_->iconAt(index);
    }
    QImage image;
    if (bitmap && parts[0] == QLatin1String("thumbnail")) {
        image = rounded(toImage(*bitmap, requestedSize), kThumbnailRadius);
    } else if (bitmap && parts[0] == QLatin1String("badge")) {
        image = badgeImage(*bitmap, requestedSize);
    } else if (bitmap && parts[0] == QLatin1String("icon")) {
        image = toImage(*bitmap, requestedSize);
    }
    if (size) {
        *size = image.size();
    }
    return image;
}

} // namespace tillory::switcher
