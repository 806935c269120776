#pragma once

#include <QByteArray>

namespace tillory::platform {

/// A picture in memory, as logic passes it around without any image library: `height` rows of `stride` bytes,
/// top row first; each pixel a native-endian 32-bit 0xAARRGGBB value with premultiplied alpha (what
/// QImage::Format_ARGB32_Premultiplied reads). Sizes in pixels. Views turn it into their own image type.
struct Bitmap {
    int width = 0;
    int height = 0;
    /// Bytes per row, at least 4 × width.
    int stride = 0;
    QByteArray pixels;

    /// True when the sizes are positive and `pixels` holds every row.
    bool isValid() const {
        return width > 0 && height > 0 && stride >= 4 * width &&
               pixels.size() >= static_cast<qsizetype>(stride) * height;
    }
    friend bool operator==(const Bitmap&, const Bitmap&) = default;
};

} // namespace tillory::platform
