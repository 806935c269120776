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
    return {};
}

} // namespace tillory::panel
