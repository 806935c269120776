#pragma once

#include <QObject>

#include <memory>

class QSystemTrayIcon;
class QMenu;

namespace tillory::core {
class Settings;
}

namespace tillory::shell {
class AppState;
}

namespace tillory::app {

/// Starts the features once the event loop runs, puts the status icon in the tray, and writes what must not be
/// lost when the program ends. Main thread.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    AppDelegate(shell::AppState& appState, core::Settings& settings, QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

private:
    void makeStatusItem();

    shell::AppState& appState_;
    core::Settings& settings_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
    bool terminated_ = false;
};

} // namespace tillory::app
