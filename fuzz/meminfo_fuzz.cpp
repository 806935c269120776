// Feeds arbitrary bytes to the meminfo parser and the page mapping. Whatever is accepted must stay within the
// memory it claims to split up: a wrapped subtraction would show as a huge "wired" figure.
#include "platform/linux/proc_parsers.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tillory::platform::nix;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const MemInfo info = parseMeminfo(text);
    constexpr std::uint64_t kPage = 4096;
    if (const auto vm = vmStatisticsFrom(info, kPage)) {
        const std::uint64_t usedPages = (*info.memTotal - *info.memFree) / kPage;
        if (vm->wiredPages > usedPages || vm->purgeablePages != 0) {
            std::abort();
        }
    }
    if (const auto swap = swapUsageFrom(info); swap && swap->usedBytes > swap->totalBytes) {
        std::abort();
    }
    return 0;
}
