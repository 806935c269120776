#pragma once

#include "platform/api/event_taps.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <set>

namespace tillory::platform::nix {

/// sway's name for a key chord of the logic's keyboard, modifiers first in a fixed order ("Mod4+Tab",
/// "Ctrl+Mod1+Left"); nothing for a key sway cannot be told about.
std::optional<QString> swayChord(int keyCode, std::uint64_t flags);

/// A chord as sway compares them: modifiers by their canonical names in a fixed order, the key case-folded
/// where sway matches it so ("Super+v" and "Mod4+V" are one chord). Empty when `chord` names no key.
QString normalizedChord(const QString& chord);

/// The chords the user's configuration binds with bindsym (variables such as $mod resolved), normalized. Lines
/// with --release bind the release only and are left out: they do not take the press.
std::set<QString> configuredChords(const QString& config);

/// What a binding event of ours means: the trigger's number and whether the key went up.
struct OwnBinding {
    int trigger = 0;
    bool released = false;
    friend bool operator==(const OwnBinding&, const OwnBinding&) = default;
};
/// The command sway runs for a trigger: a no-op carrying the trigger's number, read back from binding events.
QString bindingCommand(int trigger, bool released);
/// Nothing for binding events that are not ours (the user's own bindings) or are garbled.
std::optional<OwnBinding> ownBinding(const QJsonObject& event);

} // namespace tillory::platform::nix
