// Feeds arbitrary text to the players' state-reply parser: whatever it reads must be a record the notch can show
// and do arithmetic with.
#include "notch/media_reply.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tillory::notch;
    const QString reply = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (MediaApp app : kMediaApps) {
        const auto parsed = parseStateReply(reply, app);
        if (!parsed) {
            continue;
        }
        const bool numbersSound = std::isfinite(parsed->position) && parsed->position >= 0 &&
                                  std::isfinite(parsed->duration) && parsed->duration >= 0 && parsed->volume >= 0 &&
                                  parsed->volume <= 100;
        if (parsed->app != app || !numbersSound || reply.count(QStringLiteral("|~|")) < 5 ||
            !reply.contains(parsed->title) || !reply.contains(parsed->artist)) {
            std::abort();
        }
    }
    return 0;
}
