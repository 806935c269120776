// Feeds arbitrary bytes to the mount table parser and the name decoders used beside it (udev labels,
// os-release). Decoding only ever shortens text; every mount it reports has a source.
#include "platform/linux/proc_parsers.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tillory::platform::nix;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const auto& line : parseMountInfo(text)) {
        if (line.source.empty() || line.fsType.empty() || line.mountPoint.size() > size) {
            std::abort();
        }
    }
    if (unescapeOctal(text).size() > size || unescapeHex(text).size() > size ||
        parseOsReleaseName(text).size() > size) {
        std::abort();
    }
    return 0;
}
