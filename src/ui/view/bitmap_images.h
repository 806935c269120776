#pragma once

#include "platform/api/bitmap.h"

#include <QColor>
#include <QImage>

namespace tillory::ui {

/// `bitmap` as an image that owns its pixels, shrunk to fit `bounds` (keeping its shape, never enlarged) when
/// `bounds` is valid: a smooth shrink here looks far better than the scene graph's on-the-fly filtering of a
/// picture several times larger than its box. Null for an invalid bitmap.
QImage toImage(const platform::Bitmap& bitmap, QSize bounds = {});

/// The picture with softly rounded corners, as a window's own corners look.
QImage roundedImage(const QImage& image, double radius);

/// A soft shadow of `shape`'s outline: its alpha blurred by `passes` box blurs of `radius` (each along the rows,
/// then the columns), in `color` at `opacity`, the size of `shape`.
QImage shadowOf(const QImage& shape, int radius, int passes, QColor color, double opacity);

} // namespace tillory::ui
