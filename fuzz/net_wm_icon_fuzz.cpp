// Feeds arbitrary words to the _NET_WM_ICON picker (the first byte chooses the wanted size). An image it answers
// must be one the property really holds: its pixels inside the data, its sides within what the picker allows.
#include "platform/x11/net_wm_icon.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const int wanted = data[0] * 4;
    std::vector<std::uint32_t> words((size - 1) / 4);
    std::memcpy(words.data(), data + 1, words.size() * 4);
    const auto icon = tillory::platform::nix::pickNetWmIcon(words.data(), words.size(), wanted);
    if (icon) {
        const std::size_t pixels = std::size_t(icon->width) * std::size_t(icon->height);
        if (!icon->isValid() || icon->width > 1024 || icon->height > 1024 || pixels + 2 > words.size()) {
            std::abort();
        }
    }
    return 0;
}
