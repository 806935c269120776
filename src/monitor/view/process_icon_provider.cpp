#include "monitor/view/process_icon_provider.h"

#include "monitor/process_icons.h"
#include "ui/view/bitmap_images.h"

#include <QQmlEngine>

namespace tillory::monitor {

ProcessIconProvider::ProcessIconProvider(ProcessIcons& icons)
    : QQuickImageProvider(QQuickImageProvider::Image), icons_(icons) {}

QImage ProcessIconProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
    QImage image;
    bool ok = false;
    const auto pid = static_cast<std::int32_t>(id.toInt(&ok));
    if (const auto bitmap = ok ? icons_.cached(pid) : std::nullopt) {
        image = ui::toImage(*bitmap);
        if (requestedSize.isValid() && !image.isNull()) {
            image = image.scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
    }
    if (size) {
        *size = image.size();
    }
    return image;
}

void installProcessIcons(QQmlEngine& engine, ProcessIcons& icons) {
    if (!engine.imageProvider(QLatin1String(ProcessIconProvider::kName))) {
        engine.addImageProvider(QLatin1String(ProcessIconProvider::kName), new ProcessIconProvider(icons));
    }
}

} // namespace tillory::monitor
