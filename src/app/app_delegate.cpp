#include "app_delegate.h"

#include "clipboard/clipboard_manager.h"
#include "core/settings.h"
#include "keys/keyboard_cleaner_controller.h"
#include "shell/app_state.h"
#include "shell/info_windows.h"
#include "status_icon.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QScreen>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace tillory::app {
namespace {

// Qt ends the process with exit() when its X11 connection breaks (the X server went away), without the orderly
// quit that runs the termination work; an exit handler still gets to write the history then.
AppDelegate* exitingDelegate = nullptr;

void terminateOnExit() {
    if (exitingDelegate != nullptr && QThread::currentThread() == exitingDelegate->thread()) {
        exitingDelegate->applicationWillTerminate();
    }
}

} // namespace

AppDelegate::AppDelegate(shell::AppState& appState, core::Settings& settings, shell::ShellWindowFactory* shellWindows,
                         platform::KeyNames keyNames, QObject* parent)
    : QObject(parent), appState_(appState), settings_(settings),
      whatsNew_(std::make_unique<shell::WhatsNewController>(shellWindows, settings,
                                                            QCoreApplication::applicationVersion(), keyNames)),
      shortcuts_(std::make_unique<shell::ShortcutsController>(shellWindows, keyNames)) {
    shell::WhatsNewController::setShared(whatsNew_.get());
    shell::ShortcutsController::setShared(shortcuts_.get());
}

AppDelegate::~AppDelegate() {
    if (exitingDelegate == this) {
        exitingDelegate = nullptr;
    }
}

void AppDelegate::applicationDidFinishLaunching() {
    appState_.start();
    panel::MenuPanelController::Services services = panelServices_;
    services.appState = &appState_;
    menuPanel_ = std::make_unique<panel::MenuPanelController>(std::move(services));
    makeStatusItem();
    whatsNew_->showIfNeeded();
    // Registered after the start-up has created its static objects (logging categories and the like): exit
    // handlers and static destructors run in reverse order, so this one runs while those still exist.
    static const bool registered = std::atexit(terminateOnExit) == 0;
    if (registered) {
        exitingDelegate = this;
    }
}

void AppDelegate::makeStatusItem() {
    menu_ = std::make_unique<QMenu>();
    keys::KeyboardCleanerController* cleaner = &appState_.keyboardCleaner();
    // Started once the menu has closed: an open menu holds the keyboard and the pointer, and the lock needs both.
    menu_->addAction(QStringLiteral("Keyboard Cleaning"), cleaner,
                     [cleaner] { QTimer::singleShot(0, cleaner, [cleaner] { cleaner->start(); }); });
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("Quit"), qApp, &QCoreApplication::quit);
    // Qt makes the icon a status notifier item whenever a watcher is on the session bus, on X11 as on Wayland.
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    statusItemOnBus_ = bus && bus->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")).value();
    statusItem_ = std::make_unique<QSystemTrayIcon>(statusIcon());
    statusItem_->setToolTip(QStringLiteral("Tillory"));
    statusItem_->setContextMenu(menu_.get());
    connect(statusItem_.get(), &QSystemTrayIcon::activated, this, &AppDelegate::statusItemActivated);
    statusItem_->show();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Nothing else shows this, and the clipboard history works without a tray.
        std::fprintf(stderr, "Tillory: this desktop has no system tray; running without the status icon "
                             "(the clipboard history keeps working).\n");
    }
}

void AppDelegate::statusItemActivated(QSystemTrayIcon::ActivationReason reason) {
    const bool opens = reason == QSystemTrayIcon::Trigger || (reason == QSystemTrayIcon::Context && statusItemOnBus_);
    if (!opens || !menuPanel_) {
        return;
    }
    // Some tray hosts report no rectangle for the icon; the pointer, which just clicked it, stands in.
    const QRect icon = statusItem_->geometry();
    const QPoint pointer = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(icon.isEmpty() ? pointer : icon.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect visible = screen ? screen->availableGeometry() : QRect(pointer, QSize(1, 1));
    panel::PanelAnchor anchor;
    if (!icon.isEmpty()) {
        anchor.icon = platform::Rect{double(icon.x()), double(icon.y()), double(icon.width()), double(icon.height())};
    }
    anchor.pointer = {double(pointer.x()), double(pointer.y())};
    anchor.visibleFrame = {double(visible.x()), double(visible.y()), double(visible.width()), double(visible.height())};
    menuPanel_->togglePanel(anchor);
}

void AppDelegate::applicationWillTerminate() {
    if (terminated_) {
        return;
    }
    terminated_ = true;
    appState_.clipboard().flush();
    settings_.sync();
}

} // namespace tillory::app
