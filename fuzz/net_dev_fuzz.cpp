// Feeds arbitrary bytes to the net/dev parser: every interface it reports has a name without blanks or colons.
#include "platform/linux/proc_parsers.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const auto& line : tillory::platform::nix::parseNetDev(text)) {
        if (line.name.empty() || line.name.find_first_of(": \t\n") != std::string_view::npos) {
            std::abort();
        }
    }
    return 0;
}
