// Feeds arbitrary bytes to the per-process stat, statm, io and cmdline parsers. A name is taken from inside the
// text, between its parentheses; a command line holds no control byte and no space at either end.
#include "platform/linux/proc_parsers.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
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
    const std::string line = parseCommandLine(text);
    for (const char c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            std::abort(); // a control byte reached the line shown to the user
        }
    }
    if (line.size() > 4096 || line.starts_with(' ') || line.ends_with(' ')) {
        std::abort();
    }
    return 0;
}
