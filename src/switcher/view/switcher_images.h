#pragma once

#include "platform/api/bitmap.h"

#include <QImage>
#include <QPointer>
#include <QQuickImageProvider>

namespace tillory::switcher {

class WindowSwitcherEngine;

/// `bitmap` as an image that owns its pixels, shrunk to fit `bounds` (keeping its shape, never enlarged) when
/// `bounds` is valid: a smooth shrink here looks far better than the scene graph's on-the-fly filtering of a
/// picture several times larger than its box. Null for an invalid bitmap.
QImage toImage(const platform::Bitmap& bitmap, QSize bounds = {});

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
