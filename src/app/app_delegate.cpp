#include "app_delegate.h"

#include "clipboard/clipboard_manager.h"
#include "core/settings.h"
#include "keys/keyboard_cleaner_controller.h"
#include "shell/app_state.h"
#include "status_icon.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>

namespace tillory::app {

AppDelegate::AppDelegate(shell::AppState& appState, core::Settings& settings, QObject* parent)
    : QObject(parent), appState_(appState), settings_(settings) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    appState_.start();
    makeStatusItem();
}

void AppDelegate::makeStatusItem() {
    menu_ = std::make_unique<QMenu>();
    keys::KeyboardCleanerController* cleaner = &appState_.keyboardCleaner();
    // Started once the menu has closed: an open menu holds the keyboard and the pointer, and the lock needs both.
    menu_->addAction(QStringLiteral("Keyboard Cleaning"), cleaner,
                     [cleaner] { QTimer::singleShot(0, cleaner, [cleaner] { cleaner->start(); }); });
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("Quit"), qApp, &QCoreApplication::quit);
    statusItem_ = std::make_unique<QSystemTrayIcon>(statusIcon());
    statusItem_->setToolTip(QStringLiteral("Tillory"));
    statusItem_->setContextMenu(menu_.get());
    statusItem_->show();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Nothing else shows this, and the clipboard history works without a tray.
        std::fprintf(stderr, "Tillory: this desktop has no system tray; running without the status icon "
                             "(the clipboard history keeps working).\n");
    }
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
