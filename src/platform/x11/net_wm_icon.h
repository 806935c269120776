#pragma once

#include "platform/api/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tillory::platform::nix {

/// Picks one image out of a _NET_WM_ICON property (32-bit words: width, height, then width × height
/// non-premultiplied 0xAARRGGBB pixels, repeated): the one whose larger side is nearest to `size` pixels, the
/// larger one on a tie. Entries with a zero side are skipped. The whole property is refused (nothing) when any
/// entry declares more pixels than the data holds, or when no entry has pixels. Images with a side above 1024 are
/// never picked. The result is premultiplied, as a Bitmap is.
std::optional<Bitmap> pickNetWmIcon(const std::uint32_t* words, std::size_t count, int size);

} // namespace tillory::platform::nix
