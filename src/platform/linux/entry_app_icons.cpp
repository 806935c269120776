#include "platform/linux/entry_app_icons.h"

#include <QIcon>
#include <QImage>

namespace tillory::platform::nix {

std::optional<Bitmap> EntryAppIcons::icon(std::int32_t pid, std::uint32_t window, int size) {
    if (order_ == Order::WindowsFirst) {
        if (auto own = fallback_.icon(pid, window, size)) {
            return own;
        }
        return entryIcon(pid, size);
    }
    if (auto entry = entryIcon(pid, size)) {
        return entry;
    }
    return fallback_.icon(pid, window, size);
}

std::optional<Bitmap> EntryAppIcons::entryIcon(std::int32_t pid, int size) {
    for (const AppInfo& app : workspace_.runningApplications()) {
        if (app.pid != pid || app.bundleId.isEmpty()) {
            continue;
        }
        const QString name = entries_.iconFor(app.bundleId);
        QImage image;
        if (name.startsWith(QLatin1Char('/'))) {
            image = QImage(name); // an absolute path names a picture file
        } else if (const QIcon themed = QIcon::fromTheme(name); !name.isEmpty() && !themed.isNull()) {
            image = themed.pixmap(size, size).toImage();
        }
        if (!image.isNull() && (image.width() > size || image.height() > size)) {
            image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (!image.isNull()) {
            return Bitmap{image.width(), image.height(), static_cast<int>(image.bytesPerLine()),
                          QByteArray(reinterpret_cast<const char*>(image.constBits()),
                                     static_cast<qsizetype>(image.sizeInBytes()))};
        }
        break;
    }
    return std::nullopt;
}

} // namespace tillory::platform::nix
