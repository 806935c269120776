#include "switcher/view/switcher_images.h"

#include "switcher/window_switcher_engine.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tillory::switcher {

namespace {

constexpr double kBadgeBox = 36;
constexpr double kBadgeIcon = 28;
constexpr double kShadowOpacity = 0.4;
constexpr double kThumbnailRadius = 4;

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
    const int radius = std::max(1, int(std::lround(1.5 * scale)));
    QImage out = ui::shadowOf(outline, radius, 2, Qt::black, kShadowOpacity);
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
        image = ui::roundedImage(toImage(*bitmap, requestedSize), kThumbnailRadius);
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
