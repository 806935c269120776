#include "notch/view/notch_images.h"

#include "notch/media_controller.h"
#include "ui/view/bitmap_images.h"

#include <algorithm>

namespace tillory::notch {

NotchImageProvider::NotchImageProvider(MediaController* media)
    : QQuickImageProvider(QQuickImageProvider::Image), media_(media) {}

QImage NotchImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
    QImage image;
    // "art/<key>/<corner radius in pixels of the requested size>"
    const QStringList parts = id.split(QLatin1Char('/'));
    if (media_ && parts.size() == 3 && parts[0] == QLatin1String("art") && media_->artwork()) {
        // Covers are square as a rule; others are cut to the middle square, as the boxes they go in are square.
        QImage full = ui::toImage(*media_->artwork());
        const int side = std::min(full.width(), full.height());
        full = full.copy((full.width() - side) / 2, (full.height() - side) / 2, side, side);
        double radius = parts[2].toDouble();
        if (requestedSize.isValid() && side > requestedSize.width()) {
            full = full.scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        } else if (requestedSize.width() > 0) {
            radius *= double(side) / requestedSize.width();
        }
        image = ui::roundedImage(full, radius);
    }
    if (size) {
        *size = image.size();
    }
    return image;
}

} // namespace tillory::notch
