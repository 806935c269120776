// Feeds arbitrary words to what reads other programs' window geometry: frame and shadow extents, WM_NORMAL_HINTS
// and panel struts. Extents must stay small and leave the window something; a constrained size must be a real
// size; a work area must lie inside its monitor.
#include "platform/x11/x11_clients.h"
#include "platform/x11/x11_screens.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace tillory::platform;
using namespace tillory::platform::nix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    std::vector<std::uint32_t> words((size - 1) / 4);
    std::memcpy(words.data(), data + 1, words.size() * 4);
    const double width = data[0] * 4.0;
    const double height = data[0] * 3.0;

    const auto shadow = saneExtents(words, width, height);
    for (const std::uint32_t side : saneExtents(words)) {
        if (side > 256) {
            std::abort();
        }
    }
    if (width > 0 && (shadow[0] + shadow[1] >= width || shadow[2] + shadow[3] >= height) &&
        shadow != std::array<std::uint32_t, 4>{}) {
        std::abort();
    }

    const Size given = constrainedSize(parseSizeHints(words), Size{width, height});
    if (!std::isfinite(given.width) || !std::isfinite(given.height) || given.width < 1 || given.height < 1 ||
        given.width > 32767 || given.height > 32767) {
        std::abort();
    }

    const Size root{1280, 800};
    const std::vector<std::uint32_t> plain(words.begin(), words.begin() + std::min<std::size_t>(words.size(), 4));
    const auto strut = parseStrut(words, plain, root);
    const Rect monitor{data[0] % 2 ? 640.0 : 0.0, 0, 640, 800};
    const Rect area = workArea(monitor, strut ? std::vector<Strut>{*strut} : std::vector<Strut>{}, root);
    if (area.minX() < monitor.minX() || area.maxX() > monitor.maxX() || area.minY() < monitor.minY() ||
        area.maxY() > monitor.maxY() || area.width <= 0 || area.height <= 0) {
        std::abort();
    }
    return 0;
}
