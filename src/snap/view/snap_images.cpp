#include "snap/view/snap_images.h"

#include "snap/snap_controller.h"
#include "ui/view/bitmap_images.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tillory::snap {
namespace {

constexpr double kThumbnailRadius = 8;
constexpr double kTileWidth = 132;
constexpr int kMaxBlur = 64;
constexpr int kBlurPasses = 3;

} // namespace

QImage haloImage(int blur, int radius, QColor color, bool hollow) {
    blur = std::clamp(blur, 1, kMaxBlur);
    radius = std::clamp(radius, 0, kMaxBlur);
    const int border = 2 * blur + radius;
    const int side = 2 * border + 1;
    QImage shape(side, side, QImage::Format_ARGB32_Premultiplied);
    shape.fill(Qt::transparent);
    {
        QPainter painter(&shape);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(blur, blur, side - 2 * blur, side - 2 * blur), radius, radius);
        painter.fillPath(path, Qt::black);
    }
    // Three box blurs of half the reach come close to a Gaussian of deviation blur / 2, as soft shadows are
    // usually given; it has faded out at `blur`.
    QImage halo = ui::shadowOf(shape, std::max(1, blur / 2), kBlurPasses,
                               QColor(color.red(), color.green(), color.blue()), color.alphaF());
    if (hollow) {
        QPainter painter(&halo);
        painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
        painter.drawImage(0, 0, shape);
    }
    return halo;
}

SnapImageProvider::SnapImageProvider(SnapController* controller)
    : QQuickImageProvider(QQuickImageProvider::Image), controller_(controller) {}

QImage SnapImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
    const QStringList parts = id.split(QLatin1Char('/'));
    QImage image;
    const bool hollow = parts[0] == QLatin1String("glow");
    if (parts.size() == 4 && (hollow || parts[0] == QLatin1String("halo"))) {
        bool isColor = false;
        const QRgb argb = parts[3].toUInt(&isColor, 16);
        if (isColor) {
            image = haloImage(parts[1].toInt(), parts[2].toInt(), QColor::fromRgba(argb), hollow);
        }
    } else if (parts.size() >= 2 && controller_) {
        bool isNumber = false;
        const std::uint32_t window = parts[1].toUInt(&isNumber);
        if (isNumber && parts[0] == QLatin1String("thumbnail")) {
            if (const auto bitmap = controller_->candidateThumbnail(window)) {
                // The corners follow the tile's at the pixel density asked for.
                const double scale = requestedSize.width() > 0 ? requestedSize.width() / kTileWidth : 1;
                image = ui::roundedImage(ui::toImage(*bitmap, requestedSize), kThumbnailRadius * scale);
            }
        } else if (isNumber && parts[0] == QLatin1String("icon")) {
            if (const auto bitmap = controller_->candidateIcon(window)) {
                image = ui::toImage(*bitmap, requestedSize);
            }
        }
    }
    if (size) {
        *size = image.size();
    }
    return image;
}

} // namespace tillory::snap
