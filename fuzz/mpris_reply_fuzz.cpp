// Feeds arbitrary player metadata (a title and an artist, as UTF-8 and as raw UTF-16 with lone surrogates) to the
// MPRIS state reply: whatever a player sends, the reply keeps exactly six fields on one line.
#include "platform/linux/mpris_scripts.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype cut = bytes.indexOf('\0');
    const QByteArray first = cut < 0 ? bytes : bytes.left(cut);
    const QByteArray second = cut < 0 ? QByteArray() : bytes.mid(cut + 1);
    const QString utf16 = QString(reinterpret_cast<const QChar*>(second.constData()), second.size() / 2);
    const QVariantMap properties{
        {QStringLiteral("PlaybackStatus"), QStringLiteral("Playing")},
        {QStringLiteral("Metadata"), QVariantMap{{QStringLiteral("xesam:title"), QString::fromUtf8(first)},
                                                 {QStringLiteral("xesam:artist"), QStringList{utf16, utf16}}}}};
    const auto reply = tillory::platform::nix::mprisStateReply(properties);
    if (!reply || reply->split(QStringLiteral("|~|")).size() != 6 || reply->contains(QLatin1Char('\n')) ||
        reply->contains(QLatin1Char('\r'))) {
        std::abort();
    }
    (void)tillory::platform::nix::parseMprisScript(QString::fromUtf8(bytes));
    return 0;
}
