// Feeds arbitrary bytes to the history decoder. Whatever it accepts must survive a save and a reload unchanged,
// or the next launch would load something other than what the user had; and it never holds one id twice, since
// the history finds its entries by id.
#include "clipboard/history_codec.h"

#include <QByteArray>
#include <QSet>
#include <QUuid>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto entries = tillory::clipboard::decodeHistory(input);
    if (!entries) {
        return 0;
    }
    QSet<QUuid> ids;
    for (const auto& entry : *entries) {
        if (ids.contains(entry.id)) {
            std::abort();
        }
        ids.insert(entry.id);
    }
    const auto again = tillory::clipboard::decodeHistory(tillory::clipboard::encodeHistory(*entries));
    if (!again || *again != *entries) {
        std::abort();
    }
    return 0;
}
