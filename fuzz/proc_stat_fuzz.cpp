// Feeds arbitrary bytes to the kernel stat parser. The per-processor list must never disagree with the count of
// processor lines, or the monitor would pair one core's ticks with another's.
#include "platform/linux/proc_parsers.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto stat = tillory::platform::nix::parseCpuStat(text);
    if (stat.processors && stat.processors->size() != static_cast<std::size_t>(stat.processorLines)) {
        std::abort();
    }
    return 0;
}
