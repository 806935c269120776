#include "platform/x11/compound_text.h"

#include <algorithm>

namespace tillory::platform::nix {
namespace {

constexpr char kEsc = 0x1b;
constexpr unsigned char kCsi = 0x9b;

/// What one half (GL: bytes 0x21–0x7E, GR: 0xA0–0xFF) stands for: its own Latin-1 character (ASCII in GL), or
/// characters of another set that take `width` bytes each.
struct Half {
    bool latin = true;
    int width = 1;
};

bool isIntermediate(unsigned char b) {
    return b >= 0x20 && b <= 0x2f;
}

} // namespace

QString decodeCompoundText(const QByteArray& data) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype size = data.size();
    QString text;
    text.reserve(size);
    Half gl;
    Half gr;
    for (qsizetype i = 0; i < size;) {
        const unsigned char b = bytes[i];
        if (b == static_cast<unsigned char>(kEsc)) {
            qsizetype j = i + 1;
            while (j < size && isIntermediate(bytes[j])) {
                ++j;
            }
            if (j >= size) {
                break; // cut off inside an escape
            }
            const QByteArray intermediates = data.mid(i + 1, j - i - 1);
            const char final = static_cast<char>(bytes[j]);
            i = j + 1;
            if (intermediates == "%" && final == 'G') {
                // UTF-8 up to ESC % @ or the end.
                qsizetype end = data.indexOf("\x1b%@", i);
                if (end < 0) {
                    end = size;
                }
                text += QString::fromUtf8(data.mid(i, end - i));
                i = end < size ? end + 3 : size;
            } else if (intermediates == "%/" && i + 2 <= size) {
                // Extended segment: ESC % / F M L, then M L bytes: the encoding's name, STX, the text.
                const qsizetype length = qsizetype(bytes[i] & 0x7f) * 128 + (bytes[i + 1] & 0x7f);
                const QByteArray segment = data.mid(i + 2, length);
                i = std::min(size, i + 2 + length);
                const qsizetype stx = segment.indexOf('\x02');
                const QByteArray name = segment.left(stx < 0 ? 0 : stx).toLower();
                if (stx >= 0 && name == "utf-8") {
                    text += QString::fromUtf8(segment.mid(stx + 1));
                } else if (!segment.isEmpty()) {
                    text += QChar::ReplacementCharacter;
                }
            } else if (intermediates == "(") {
                gl = {final == 'B', 1};
            } else if (intermediates == ")") {
                gr = {false, 1};
            } else if (intermediates == "-") {
                gr = {final == 'A', 1};
            } else if (intermediates == "$(" || intermediates == "$)") {
                (intermediates == "$(" ? gl : gr) = {false, 2};
            }
            continue;
        }
        if (b == kCsi) {
            // A direction mark: parameters, intermediates, one final byte.
            ++i;
            while (i < size && bytes[i] >= 0x20 && bytes[i] <= 0x3f) {
                ++i;
            }
            i = std::min(size, i + 1);
            continue;
        }
        if (b == '\t' || b == '\n' || b == ' ') {
            text += QChar(b);
            ++i;
            continue;
        }
        const bool left = b >= 0x21 && b <= 0x7e;
        const bool right = b >= 0xa0;
        if (!left && !right) {
            ++i; // other control characters
            continue;
        }
        const Half& half = left ? gl : gr;
        if (half.latin) {
            text += QChar(b);
            ++i;
        } else {
            text += QChar::ReplacementCharacter;
            i = std::min(size, i + half.width);
        }
    }
    return text;
}

} // namespace tillory::platform::nix
