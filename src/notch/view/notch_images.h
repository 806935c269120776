#pragma once

#include <QPointer>
#include <QQuickImageProvider>

namespace tillory::notch {

class MediaController;

/// Serves the cover art, squared and with rounded corners, under image://tillory-notch/art/<key>/<radius>: the key
/// (artworkImageId) only makes every new cover a new address, the radius is in pixels of the requested size.
/// Main thread.
class NotchImageProvider final : public QQuickImageProvider {
public:
    static constexpr const char* kName = "tillory-notch";

    explicit NotchImageProvider(MediaController* media);
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

private:
    QPointer<MediaController> media_;
};

} // namespace tillory::notch
