// Feeds arbitrary bytes to the one-value sysfs parsers (temperatures, GPU load, interface types): a temperature
// is always the integer reading scaled, never a value the integer parser refused.
#include "platform/linux/proc_parsers.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tillory::platform::nix;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto value = parseSysfsInteger(text);
    const auto celsius = parseMillidegrees(text);
    if (value.has_value() != celsius.has_value() || (value && *celsius != static_cast<double>(*value) / 1000.0)) {
        std::abort();
    }
    return 0;
}
