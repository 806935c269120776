#include "platform/wayland/sway_bindings.h"

#include "platform/api/event.h"
#include "platform/linux/key_table.h"

#include <QRegularExpression>

#include <xkbcommon/xkbcommon.h>

#include <map>

namespace tillory::platform::nix {
namespace {

// sway's canonical modifier names, in the order chords are written here.
const QStringList kModifierOrder = {QStringLiteral("Mod4"),  QStringLiteral("Ctrl"), QStringLiteral("Mod1"),
                                    QStringLiteral("Shift"), QStringLiteral("Mod2"), QStringLiteral("Mod3"),
                                    QStringLiteral("Mod5"),  QStringLiteral("Lock")};

std::optional<QString> canonicalModifier(const QString& name) {
    static const std::map<QString, QString> aliases = {
        {QStringLiteral("mod4"), QStringLiteral("Mod4")},    {QStringLiteral("super"), QStringLiteral("Mod4")},
        {QStringLiteral("logo"), QStringLiteral("Mod4")},    {QStringLiteral("ctrl"), QStringLiteral("Ctrl")},
        {QStringLiteral("control"), QStringLiteral("Ctrl")}, {QStringLiteral("mod1"), QStringLiteral("Mod1")},
        {QStringLiteral("alt"), QStringLiteral("Mod1")},     {QStringLiteral("shift"), QStringLiteral("Shift")},
        {QStringLiteral("mod2"), QStringLiteral("Mod2")},    {QStringLiteral("mod3"), QStringLiteral("Mod3")},
        {QStringLiteral("mod5"), QStringLiteral("Mod5")},    {QStringLiteral("lock"), QStringLiteral("Lock")},
    };
    const auto it = aliases.find(name.toLower());
    return it == aliases.end() ? std::nullopt : std::optional<QString>(it->second);
}

const QString kCommandPrefix = QStringLiteral("nop tillory-trigger ");

} // namespace

std::optional<QString> swayChord(int keyCode, std::uint64_t flags) {
    const std::uint32_t keysym = keysymForKeyCode(keyCode);
    char name[64];
    if (keysym == 0 || xkb_keysym_get_name(keysym, name, sizeof name) <= 0) {
        return std::nullopt;
    }
    QStringList parts;
    if (flags & EventFlags::Command) {
        parts << QStringLiteral("Mod4");
    }
    if (flags & EventFlags::Control) {
        parts << QStringLiteral("Ctrl");
    }
    if (flags & EventFlags::Option) {
        parts << QStringLiteral("Mod1");
    }
    if (flags & EventFlags::Shift) {
        parts << QStringLiteral("Shift");
    }
    parts << QString::fromLatin1(name);
    return parts.join(QLatin1Char('+'));
}

QString normalizedChord(const QString& chord) {
    const QStringList parts = chord.split(QLatin1Char('+'), Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        return {};
    }
    QStringList modifiers;
    for (int i = 0; i + 1 < parts.size(); ++i) {
        const std::optional<QString> modifier = canonicalModifier(parts[i]);
        if (!modifier) {
            return {}; // a key in a modifier's place: a chord of several keys, which triggers never are
        }
        if (!modifiers.contains(*modifier)) {
            modifiers << *modifier;
        }
    }
    std::sort(modifiers.begin(), modifiers.end(),
              [](const QString& a, const QString& b) { return kModifierOrder.indexOf(a) < kModifierOrder.indexOf(b); });
    // A single letter is matched whatever its case (sway binds the keysym the layout's key produces).
    QString key = parts.last();
    if (key.size() == 1) {
        key = key.toLower();
    }
    modifiers << key;
    return modifiers.join(QLatin1Char('+'));
}

std::set<QString> configuredChords(const QString& config) {
    std::map<QString, QString> variables;
    std::set<QString> chords;
    static const QRegularExpression space(QStringLiteral("\\s+"));
    for (QString line : config.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        QStringList words = line.split(space, Qt::SkipEmptyParts);
        if (words.size() >= 3 && words[0] == QLatin1String("set") && words[1].startsWith(QLatin1Char('$'))) {
            variables[words[1]] = words[2];
            continue;
        }
        if (words[0] != QLatin1String("bindsym")) {
            continue;
        }
        bool release = false;
        int i = 1;
        for (; i < words.size() && words[i].startsWith(QLatin1String("--")); ++i) {
            release = release || words[i] == QLatin1String("--release");
        }
        if (i >= words.size() || release) {
            continue;
        }
        QString chord = words[i];
        // Longest names first, so that $mod2 is not read as $mod followed by 2.
        for (auto it = variables.rbegin(); it != variables.rend(); ++it) {
            chord.replace(it->first, it->second);
        }
        const QString normalized = normalizedChord(chord);
        if (!normalized.isEmpty()) {
            chords.insert(normalized);
        }
    }
    return chords;
}

QString bindingCommand(int trigger, bool released) {
    return kCommandPrefix + QString::number(trigger) + (released ? QStringLiteral(" up") : QString());
}

std::optional<OwnBinding> ownBinding(const QJsonObject& event) {
    if (event.value(QLatin1String("change")).toString() != QLatin1String("run")) {
        return std::nullopt;
    }
    const QString command = event.value(QLatin1String("binding")).toObject().value(QLatin1String("command")).toString();
    if (!command.startsWith(kCommandPrefix)) {
        return std::nullopt;
    }
    const QStringList rest = command.mid(kCommandPrefix.size()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    bool ok = false;
    const int trigger = rest.value(0).toInt(&ok);
    if (!ok || trigger < 0 || rest.size() > 2 || (rest.size() == 2 && rest[1] != QLatin1String("up"))) {
        return std::nullopt;
    }
    return OwnBinding{trigger, rest.size() == 2};
}

} // namespace tillory::platform::nix
