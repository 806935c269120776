#include "shell/info_windows.h"

#include "core/settings.h"

#include <QPointer>
#include <QVariantMap>

#include <utility>

namespace tillory::shell {
namespace {

QPointer<ShortcutsController> sharedShortcuts;
QPointer<WhatsNewController> sharedWhatsNew;

QString u(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace

const std::vector<ShortcutGroup>& shortcutGroups() {
    // The key texts keep their spacing: two spaces around the first separator of "⇥  ← →" and "↩  /  click".
    static const std::vector<ShortcutGroup> groups = {
        {u("Window Switcher"),
         {{u("⌘ ⇥"), u("Open the switcher"), u("Hold ⌘ — every window, all workspaces, most recent first.")},
          {u("⇥  ← →"), u("Move selection"), u("Release ⌘ to switch. Click a tile works too.")},
          {u("esc"), u("Cancel"), u("Closes the switcher without switching.")}}},
        {u("Snap Layouts"),
         {{u("drag to top"), u("Snap Layouts bar"),
           u("Drag a window up — the layout bar drops down. Drop on a zone to snap.")},
          {u("double-click top"), u("Maximize window"), u("Covers the screen; double-click again to restore.")},
          {u("drag to edge"), u("Halves & quarters"),
           u("Edges snap halves, corners snap quarters — with a live preview.")},
          {u("⌃ ⌥ Z"), u("Open from keyboard"),
           u("Same layouts without the mouse. ⌃⌥ + arrows snap halves / max / center.")},
          {u("click"), u("Snap Assist"), u("After snapping, tap a window to fill each remaining zone.")}}},
        {u("Clipboard"),
         {{u("⌘ V  (hold)"), u("Clipboard palette"), u("History at your cursor — nothing pastes until you pick.")},
          {u("↩  /  click"), u("Paste entry"), u("⌥ pastes as plain text.")},
          {u("⌘ click"), u("Stack entries"), u("Pick several; they paste together, in order.")}}},
        {u("Notch Player"),
         {{u("hover / click"), u("Open the player"), u("On the island at the top of the screen. Moves away to close.")},
          {u("drag"), u("Scrub the track"), u("Click or drag anywhere on the timeline.")}}},
        {u("File Manager"),
         {{u("⌫"), u("Move to Trash"), u("Plain backspace deletes the selection — never while renaming.")}}},
    };
    return groups;
}

const std::vector<Highlight>& highlights() {
    static const std::vector<Highlight> rows = {
        {u("rectangle.split.2x2"), u("Snap Layouts"),
         u("Drag a window to the top of the screen and a layout bar drops down — drop it on a zone to snap. Edges "
           "snap halves, corners snap quarters, and Snap Assist offers your other windows to fill the rest.")},
        {u("keyboard.badge.ellipsis"), u("Snap from the Keyboard"),
         u("⌃⌥Z opens the same layouts without the mouse. ⌃⌥ with the arrow keys snaps halves, maximizes, or "
           "centers the front window.")},
        {u("doc.on.clipboard"), u("Clipboard History"),
         u("Tillory keeps your last 40 copies — browse them from the tray icon.")},
        {u("keyboard"), u("Hold ⌘V for the Palette"),
         u("Hold ⌘V and your history appears at the cursor — nothing pastes until you pick. ⌥ pastes plain text, "
           "⌘-click stacks entries. A quick tap pastes as usual.")},
        {u("delete.backward"), u("Backspace Deletes in File Managers"),
         u("Plain ⌫ moves selected files to the Trash — but never while you're renaming or searching.")},
        {u("speaker.wave.2"), u("Per-Player Volume"),
         u("Every media player remembers its own volume — switching players restores it.")},
        {u("bolt.fill"), u("Battery Notices in the Island"),
         u("Plugging in, unplugging, and 20 % / 10 % warnings appear as the small pop-out under the island.")},
        {u("rectangle.on.rectangle"), u("Smarter ⌘⇥"),
         u("Every real window — minimized, fullscreen, other workspaces — ordered by most recently used, with "
           "phantom windows filtered out.")},
    };
    return rows;
}

ShortcutsController::ShortcutsController(ShellWindowFactory* windows, platform::KeyNames keyNames, QObject* parent)
    : QObject(parent), windows_(windows) {
    for (const ShortcutGroup& group : shortcutGroups()) {
        QVariantList items;
        for (const Shortcut& s : group.items) {
            items.append(QVariantMap{{QStringLiteral("keys"), keyNames.label(s.keys)},
                                     {QStringLiteral("title"), keyNames.label(s.title)},
                                     {QStringLiteral("detail"), keyNames.label(s.detail)}});
        }
        groups_.append(QVariantMap{{QStringLiteral("name"), group.name}, {QStringLiteral("items"), items}});
    }
}

ShortcutsController::~ShortcutsController() = default;

ShortcutsController* ShortcutsController::shared() {
    return sharedShortcuts;
}

void ShortcutsController::setShared(ShortcutsController* controller) {
    sharedShortcuts = controller;
}

void ShortcutsController::show() {
    if (window_) {
        window_->bringForward();
    } else if (windows_) {
        window_ = windows_->createShortcuts(*this);
    }
}

void ShortcutsController::done() {
    window_.reset();
}

void ShortcutsController::windowClosed() {
    window_.reset();
}

WhatsNewController::WhatsNewController(ShellWindowFactory* windows, core::Settings& settings, QString runningVersion,
                                       platform::KeyNames keyNames, QObject* parent)
    : QObject(parent), windows_(windows), settings_(settings),
      version_(runningVersion.isEmpty() ? QStringLiteral("0") : std::move(runningVersion)) {
    for (const Highlight& h : highlights()) {
        highlights_.append(QVariantMap{{QStringLiteral("symbol"), h.symbol},
                                       {QStringLiteral("title"), keyNames.label(h.title)},
                                       {QStringLiteral("detail"), keyNames.label(h.detail)}});
    }
}

WhatsNewController::~WhatsNewController() = default;

WhatsNewController* WhatsNewController::shared() {
    return sharedWhatsNew;
}

void WhatsNewController::setShared(WhatsNewController* controller) {
    sharedWhatsNew = controller;
}

void WhatsNewController::showIfNeeded() {
    const QVariant seen = settings_.object(kLastSeenKey);
    if (seen.typeId() == QMetaType::QString && seen.toString() == version_) {
        return;
    }
    show();
}

void WhatsNewController::show() {
    if (window_) {
        window_->bringForward();
    } else if (windows_) {
        window_ = windows_->createWhatsNew(*this);
    }
}

void WhatsNewController::done() {
    settings_.setString(kLastSeenKey, version_);
    window_.reset();
}

void WhatsNewController::windowClosed() {
    window_.reset();
}

} // namespace tillory::shell
