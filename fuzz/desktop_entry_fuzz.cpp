// Feeds arbitrary bytes to the desktop entry reader. A name it answers is never empty.
#include "platform/linux/desktop_entries.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto entry = tillory::platform::nix::parseDesktopEntry(
        QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (entry && entry->name.isEmpty()) {
        std::abort();
    }
    return 0;
}
