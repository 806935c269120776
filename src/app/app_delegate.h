#pragma once

#include "panel/menu_panel_controller.h"
#include "platform/api/key_names.h"

#include <QObject>
#include <QSystemTrayIcon>

#include <memory>

class QMenu;

namespace tillory::core {
class Settings;
}

namespace tillory::shell {
class AppState;
class ShellWindowFactory;
class ShortcutsController;
class WhatsNewController;
} // namespace tillory::shell

namespace tillory::app {

/// Starts the features once the event loop runs, puts the status icon in the tray, and writes what must not be
/// lost when the program ends. Main thread.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    /// Makes the what's-new and shortcuts controllers, whose windows `shellWindows` makes (none when null).
    AppDelegate(shell::AppState& appState, core::Settings& settings, shell::ShellWindowFactory* shellWindows = nullptr,
                platform::KeyNames keyNames = {}, QObject* parent = nullptr);
    ~AppDelegate() override;

    /// What the tray panel is made with once launching has finished (the application state is added here).
    void setPanelServices(panel::MenuPanelController::Services services) { panelServices_ = std::move(services); }
    panel::MenuPanelController* menuPanel() const { return menuPanel_.get(); }

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

private:
    void makeStatusItem();
    void statusItemActivated(QSystemTrayIcon::ActivationReason reason);

    shell::AppState& appState_;
    core::Settings& settings_;
    panel::MenuPanelController::Services panelServices_;
    std::unique_ptr<panel::MenuPanelController> menuPanel_;
    std::unique_ptr<shell::WhatsNewController> whatsNew_;
    std::unique_ptr<shell::ShortcutsController> shortcuts_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
    /// The icon is a status notifier item on the session bus: a right click reaches us only from a tray host that
    /// shows no menus (as sway's bar), and then opens the panel too.
    bool statusItemOnBus_ = false;
    bool terminated_ = false;
};

} // namespace tillory::app
