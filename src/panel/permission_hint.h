#pragma once

#include <QString>
#include <QStringList>

namespace tillory::panel {

/// What the home page must know to choose its hint.
struct PermissionInputs {
    bool switcherEnabled = false;
    bool switcherHasAccessibility = false;
    bool switcherHasScreenRecording = false;
    bool snapEnabled = false;
    bool snapHasAccessibility = false;
    /// Chords another program already holds, as "Super+Tab".
    QStringList refusedChords;
    /// What this desktop lacks for window previews, as the capture reports it; empty when it does not say.
    QString previewsMissing;
    /// The desktop never shows a window being dragged by its title bar (Wayland).
    bool snapDragsUnseen = false;
};

/// The one hint of the home page. `help` says what to do; "Open" shows it (after running the screen-capture
/// request for that hint), "Retry" asks the features to take the keyboard again.
struct PermissionHint {
    enum class Kind { none, keyboardTap, heldChords, screenRecording, snapDragging };
    Kind kind = Kind::none;
    QString text;
    QString help;
    bool hasRetry = false;
};

/// At most one hint: the keyboard tap missing, else chords held elsewhere, else screen capture for previews, else
/// snapping by dragging that this desktop cannot offer.
PermissionHint choosePermissionHint(const PermissionInputs& inputs);

} // namespace tillory::panel
