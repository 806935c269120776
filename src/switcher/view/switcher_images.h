#pragma once

#include "platform/api/bitmap.h"
#include "ui/view/bitmap_images.h"

#include <QImage>
#include <QPointer>
#include <QQuickImageProvider>

namespace tillory::switcher {

class WindowSwitcherEngine;

using ui::toImage;

/// The application's icon as the tile's badge in a `size` square (36 × 36 points when not given): the icon at
/// 28/36 of it, centred, over a soft black shadow at 40 % a little below it.
QImage badgeImage(const platform::Bitmap& icon, QSize size = {});

/// Serves the tiles' pictures to the QML under image://tillory-switcher/: "thumbnail/<index>/<serial>",
/// "icon/<index>/<serial>" and "badge/<index>/<serial>", read from the engine's current list. The serial only makes
/// each new picture a new address, so an image already shown is never mistaken for its successor. Main thread.
class SwitcherImageProvider final : public QQuickImageProvider {
public:
    static constexpr const char* kName = "tillory-switcher";

    explicit SwitcherImageProvider(WindowSwitcherEngine* engine);
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

private:
    QPointer<WindowSwitcherEngine> engine_;
};

} // namespace tillory::switcher
