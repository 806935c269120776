#include "panel/permission_hint.h"

namespace tillory::panel {

PermissionHint choosePermissionHint(const PermissionInputs& in) {
    const bool keysWanted = in.switcherEnabled || in.snapEnabled;
    if ((in.switcherEnabled && !in.switcherHasAccessibility) || (in.snapEnabled && !in.snapHasAccessibility)) {
        return {PermissionHint::Kind::keyboardTap, QStringLiteral("The keyboard tap is not available"),
                QStringLiteral("Tillory hears its shortcuts through the X server (with its XTEST and XKB "
                               "extensions). Run it in an X11 session with DISPLAY set; on Wayland, choose an X11 "
                               "session at login. Then press Retry."),
                true};
    }
    if (keysWanted && !in.refusedChords.isEmpty()) {
        return {PermissionHint::Kind::heldChords,
                QStringLiteral("Another program holds ") + in.refusedChords.join(QStringLiteral(", ")),
                QStringLiteral("The window manager or another program already uses these keys, or takes the whole "
                               "keyboard while their modifier is held (as a window manager whose menu opens with "
                               "Super alone does), so Tillory cannot hear them. Free them in that program's keyboard "
                               "settings, then press Retry."),
                true};
    }
    if (in.switcherEnabled && !in.switcherHasScreenRecording) {
        // Named after what is missing here: there is no setting to allow on this desktop.
        return {PermissionHint::Kind::screenRecording,
                in.previewsMissing.isEmpty() ? QStringLiteral("Window previews are not available") : in.previewsMissing,
                QStringLiteral("The switcher draws window previews from the X server's Composite extension. "
                               "Without it the switcher shows icons instead of previews."),
                false};
    }
    if (in.snapEnabled && in.snapDragsUnseen) {
        // Said rather than faked: a drag can only be guessed from the window's moves, too late to show the zones.
        return {PermissionHint::Kind::snapDragging, QStringLiteral("Snapping by dragging is not available here"),
                QStringLiteral("This desktop does not tell other programs when a window is dragged by its title "
                               "bar, so dragging a window to an edge or to the top of the screen cannot snap it. "
                               "Snap with Ctrl+Alt and an arrow key, or open the layouts with Ctrl+Alt+Z; Snap "
                               "Assist then offers the other windows."),
                false};
    }
    return {};
}

} // namespace tillory::panel
