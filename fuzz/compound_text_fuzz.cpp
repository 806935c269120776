// Feeds arbitrary bytes to the COMPOUND_TEXT title decoder: it must end, and every character it gives comes from
// at least one byte of the input.
#include "platform/x11/compound_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (tillory::platform::nix::decodeCompoundText(bytes).size() > bytes.size()) {
        std::abort();
    }
    return 0;
}
