// Feeds arbitrary bytes to the diskstats parser: device names are single tokens and byte counts whole sectors.
#include "platform/linux/proc_parsers.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const auto& line : tillory::platform::nix::parseDiskStats(text)) {
        if (line.name.empty() || line.name.find_first_of(" \t\n") != std::string_view::npos ||
            line.bytesRead.value_or(0) % 512 != 0 || line.bytesWritten.value_or(0) % 512 != 0) {
            std::abort();
        }
    }
    return 0;
}
