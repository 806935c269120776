// Feeds arbitrary bytes to the per-process stat, statm and io parsers. A name is taken from inside the text, between
// its parentheses.
#include "platform/linux/proc_parsers.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tillory::platform::nix;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto stat = parsePidStat(text)) {
        const char* begin = stat->comm.data();
        if (begin <= text.data() || begin + stat->comm.size() >= text.data() + size || begin[-1] != '(' ||
            begin[stat->comm.size()] != ')') {
            std::abort();
        }
    }
    static_cast<void>(parsePidIo(text));
    static_cast<void>(parsePidStatmPrivatePages(text));
    return 0;
}
