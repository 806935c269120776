#pragma once

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QQuickImageProvider>

namespace tillory::snap {

class SnapController;

/// A 9-patch glow or shadow for a rounded rectangle with corners of `radius`: the shape, blurred `blur` points
/// outwards, in `color` (its alpha included). The image is the shape grown by `blur` on each side with one
/// stretchable point in the middle; its borders are 2·blur + radius wide. `hollow` leaves the shape itself clear (a
/// glow around something see-through).
QImage haloImage(int blur, int radius, QColor color, bool hollow = false);

/// Serves the snap views' pictures under image://tillory-snap/: "thumbnail/<window>/<key>" and
/// "icon/<window>/<key>" from the controller's candidates (the key only makes every new picture a new address),
/// and "halo/<blur>/<radius>/<aarrggbb>" or, hollow, "glow/…" (see haloImage). Main thread.
class SnapImageProvider final : public QQuickImageProvider {
public:
    static constexpr const char* kName = "tillory-snap";

    explicit SnapImageProvider(SnapController* controller);
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

private:
    QPointer<SnapController> controller_;
};

} // namespace tillory::snap
