#include "panel/home_page_model.h"

#include "clipboard/clipboard_manager.h"
#include "core/scheduler.h"
#include "keys/finder_enhancer.h"
#include "keys/keyboard_cleaner_controller.h"
#include "panel/menu_panel_controller.h"
#include "shell/app_state.h"
#include "snap/snap_controller.h"
#include "switcher/window_switcher_engine.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QPointer>

namespace tillory::panel {
namespace {

struct ToggleRow {
    const char* title;
    bool (*isOn)(shell::AppState&);
    void (*set)(shell::AppState&, bool);
};

const ToggleRow kRows[] = {
    {"Window Switcher", [](shell::AppState& s) { return s.switcherEnabled(); },
     [](shell::AppState& s, bool on) { s.setSwitcherEnabled(on); }},
    {"Snap Layouts", [](shell::AppState& s) { return s.snapEnabled(); },
     [](shell::AppState& s, bool on) { s.setSnapEnabled(on); }},
    {"Notch Player", [](shell::AppState& s) { return s.notchEnabled(); },
     [](shell::AppState& s, bool on) { s.setNotchEnabled(on); }},
    {"Backspace Deletes in File Managers", [](shell::AppState& s) { return s.finder().backspaceDeletes(); },
     [](shell::AppState& s, bool on) { s.finder().setBackspaceDeletes(on); }},
    {"Launch at Login", [](shell::AppState& s) { return s.launchAtLogin(); },
     [](shell::AppState& s, bool on) { s.setLaunchAtLogin(on); }},
};

} // namespace

HomePageModel::HomePageModel(MenuPanelController& panel) : QObject(&panel), panel_(panel) {
    shell::AppState& state = panel.appState();
    for (auto signal : {&shell::AppState::switcherEnabledChanged, &shell::AppState::snapEnabledChanged,
                        &shell::AppState::notchEnabledChanged, &shell::AppState::launchAtLoginChanged}) {
        connect(&state, signal, this, &HomePageModel::togglesChanged);
    }
    connect(&state.finder(), &keys::FinderEnhancer::backspaceDeletesChanged, this, &HomePageModel::togglesChanged);
    connect(&state.clipboard(), &clipboard::ClipboardManager::entriesChanged, this, &HomePageModel::clipboardChanged);
    for (auto signal : {&shell::AppState::switcherEnabledChanged, &shell::AppState::snapEnabledChanged}) {
        connect(&state, signal, this, &HomePageModel::refreshHint);
    }
    connect(&state.switcher(), &switcher::WindowSwitcherEngine::hasAccessibilityChanged, this,
            &HomePageModel::refreshHint);
    connect(&state.switcher(), &switcher::WindowSwitcherEngine::hasScreenRecordingChanged, this,
            &HomePageModel::refreshHint);
    connect(&state.snap(), &snap::SnapController::hasAccessibilityChanged, this, &HomePageModel::refreshHint);
    if (QObject* updates = panel.services().updates) {
        const QMetaMethod changed = metaObject()->method(metaObject()->indexOfSignal("updateChanged()"));
        for (const char* name : {"hasUpdate", "updateVersion"}) {
            const QMetaProperty property =
                updates->metaObject()->property(updates->metaObject()->indexOfProperty(name));
            if (property.hasNotifySignal()) {
                connect(updates, property.notifySignal(), this, changed);
            }
        }
    }
    refreshHint();
}

QVariantList HomePageModel::toggles() const {
    QVariantList rows;
    for (const ToggleRow& row : kRows) {
        rows.append(QVariantMap{{QStringLiteral("title"), QString::fromUtf8(row.title)},
                                {QStringLiteral("isOn"), row.isOn(panel_.appState())}});
    }
    return rows;
}

void HomePageModel::setToggle(int index, bool on) {
    if (index >= 0 && index < int(std::size(kRows))) {
        kRows[index].set(panel_.appState(), on);
    }
}

int HomePageModel::clipboardCount() const {
    return panel_.appState().clipboard().count();
}

QString HomePageModel::clipboardLine() const {
    const clipboard::ClipboardEntries& entries = panel_.appState().clipboard().entries();
    if (entries.empty()) {
        return kEmptyHistory;
    }
    QString line = entries.front().text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return line;
}

void HomePageModel::refreshHint() {
    shell::AppState& state = panel_.appState();
    PermissionInputs inputs;
    inputs.switcherEnabled = state.switcherEnabled();
    inputs.switcherHasAccessibility = state.switcher().hasAccessibility();
    inputs.switcherHasScreenRecording = state.switcher().hasScreenRecording();
    inputs.previewsMissing = state.switcher().missingCapability();
    inputs.snapEnabled = state.snapEnabled();
    inputs.snapHasAccessibility = state.snap().hasAccessibility();
    inputs.snapDragsUnseen = !state.snap().dragsObservable();
    if (panel_.services().refusedChords) {
        inputs.refusedChords = panel_.services().refusedChords();
    }
    const PermissionHint next = choosePermissionHint(inputs);
    if (next.kind != hint_.kind || next.text != hint_.text) {
        hint_ = next;
        helpShown_ = false;
        Q_EMIT hintChanged();
    }
}

void HomePageModel::openHint() {
    if (hint_.kind == PermissionHint::Kind::screenRecording && panel_.services().requestScreenCapture) {
        panel_.services().requestScreenCapture();
        panel_.appState().switcher().recheckPermission();
    }
    if (hint_.kind == PermissionHint::Kind::none || helpShown_) {
        return;
    }
    helpShown_ = true;
    Q_EMIT hintChanged();
}

void HomePageModel::retryHint() {
    panel_.appState().switcher().recheckPermission();
    panel_.appState().snap().recheckPermission();
    refreshHint();
}

QString HomePageModel::updateText() const {
    const QObject* updates = panel_.services().updates;
    if (!updates || !updates->property("hasUpdate").toBool()) {
        return {};
    }
    const QString version = updates->property("updateVersion").toString();
    return version.isEmpty() ? QString() : QStringLiteral("Tillory ") + version + QStringLiteral(" is available");
}

void HomePageModel::getUpdate() {
    if (QObject* updates = panel_.services().updates) {
        QMetaObject::invokeMethod(updates, "openDownload");
    }
}

QString HomePageModel::footerText() const {
    const QString& version = panel_.services().version;
    return version.isEmpty() ? QStringLiteral("Tillory") : QStringLiteral("Tillory v") + version;
}

void HomePageModel::openClipboard() {
    panel_.setPage(PanelPage::clipboard);
}

void HomePageModel::closeThen(const std::function<void()>& action) {
    MenuPanelController& panel = panel_;
    panel.hide(); // deletes this model
    if (action) {
        // After the click that asked for it has finished.
        QPointer<MenuPanelController> alive(&panel);
        panel.services().scheduler->post([alive, action] {
            if (alive) {
                action();
            }
        });
    }
}

void HomePageModel::startKeyboardCleaning() {
    keys::KeyboardCleanerController* cleaner = &panel_.appState().keyboardCleaner();
    closeThen([cleaner] { cleaner->start(); });
}

void HomePageModel::showWhatsNew() {
    closeThen(panel_.services().showWhatsNew);
}

void HomePageModel::showShortcuts() {
    closeThen(panel_.services().showShortcuts);
}

void HomePageModel::quit() {
    closeThen(panel_.services().quit);
}

} // namespace tillory::panel
