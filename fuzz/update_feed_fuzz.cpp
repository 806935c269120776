// Feeds arbitrary bytes to the update feed's decoder: whatever it accepts must be an entry with a version and an
// address a browser may be handed, and comparing its version must not misbehave.
#include "shell/update_checker.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tillory::shell;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto info = UpdateInfo::decode(bytes);
    if (!info) {
        return 0;
    }
    const QString scheme = info->url.scheme();
    if (!info->url.isValid() || info->url.host().isEmpty() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        std::abort();
    }
    // Never newer than itself, and never both ways.
    if (isNewer(info->version, info->version) ||
        (isNewer(info->version, QStringLiteral("1.2")) && isNewer(QStringLiteral("1.2"), info->version))) {
        std::abort();
    }
    return 0;
}
