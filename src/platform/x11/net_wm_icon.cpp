#include "platform/x11/net_wm_icon.h"

#include <cstdlib>
#include <cstring>

namespace tillory::platform::nix {
namespace {

// Icons are drawn as tiles of a few dozen pixels; a bigger image is not worth its memory.
constexpr std::uint64_t kMaxSide = 1024;

std::uint32_t premultiplied(std::uint32_t argb) {
    const std::uint32_t a = argb >> 24;
    const auto scale = [a](std::uint32_t c) { return (c * a + 127) / 255; };
    return (a << 24) | (scale((argb >> 16) & 0xFF) << 16) | (scale((argb >> 8) & 0xFF) << 8) | scale(argb & 0xFF);
}

} // namespace

std::optional<Bitmap> pickNetWmIcon(const std::uint32_t* words, std::size_t count, int size) {
    if (!words) {
        return std::nullopt;
    }
    std::size_t best = count; // offset of the chosen entry's header
    std::uint64_t bestDistance = UINT64_MAX;
    std::uint64_t bestSide = 0;
    for (std::size_t at = 0; at < count;) {
        if (count - at < 2) {
            return std::nullopt; // a header cut in half
        }
        const std::uint64_t width = words[at];
        const std::uint64_t height = words[at + 1];
        const std::uint64_t pixels = width * height; // at most 2^64 - 2^33 + 1: no overflow
        if (pixels > count - at - 2) {
            return std::nullopt;
        }
        const std::uint64_t side = width > height ? width : height;
        if (pixels > 0 && side <= kMaxSide) {
            const std::uint64_t wanted = size > 0 ? std::uint64_t(size) : 0;
            const std::uint64_t distance = side > wanted ? side - wanted : wanted - side;
            if (distance < bestDistance || (distance == bestDistance && side > bestSide)) {
                best = at;
                bestDistance = distance;
                bestSide = side;
            }
        }
        at += 2 + std::size_t(pixels);
    }
    if (best == count) {
        return std::nullopt;
    }
    Bitmap bitmap;
    bitmap.width = int(words[best]);
    bitmap.height = int(words[best + 1]);
    bitmap.stride = bitmap.width * 4;
    bitmap.pixels.resize(qsizetype(bitmap.stride) * bitmap.height);
    auto* out = reinterpret_cast<std::uint32_t*>(bitmap.pixels.data());
    const std::uint32_t* in = words + best + 2;
    for (int i = 0; i < bitmap.width * bitmap.height; ++i) {
        out[i] = premultiplied(in[i]);
    }
    return bitmap;
}

} // namespace tillory::platform::nix
