#pragma once

#include <QString>

#include <algorithm>
#include <utility>
#include <vector>

namespace tillory::platform {

/// How this platform's keyboards label the modifier keys that the program's texts write as symbols (⌘ ⌥ ⌃ ⇧).
/// Empty where the keys carry the symbols themselves.
struct KeyNames {
    std::vector<std::pair<QChar, QString>> names;

    /// `text` as this platform's keyboard would say it: a symbol becomes its key's name, joined with "+" to what
    /// follows it directly ("⌘click" → "Super+click", "⌃⌥Z" → "Ctrl+Alt+Z", "⌥ plain" → "Alt plain").
    QString label(const QString& text) const {
        if (names.empty()) {
            return text;
        }
        QString out;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const auto found =
                std::find_if(names.begin(), names.end(), [c = text[i]](const auto& name) { return name.first == c; });
            if (found == names.end()) {
                out += text[i];
                continue;
            }
            out += found->second;
            // A hyphen already joins ("⌘-click" → "Super-click").
            if (i + 1 < text.size() && !text[i + 1].isSpace() && text[i + 1] != QLatin1Char('-')) {
                out += QLatin1Char('+');
            }
        }
        return out;
    }

    /// The names on a PC keyboard.
    static KeyNames pc() {
        return {{{QChar(0x2318), QStringLiteral("Super")},
                 {QChar(0x2325), QStringLiteral("Alt")},
                 {QChar(0x2303), QStringLiteral("Ctrl")},
                 {QChar(0x21E7), QStringLiteral("Shift")}}};
    }
};

} // namespace tillory::platform
