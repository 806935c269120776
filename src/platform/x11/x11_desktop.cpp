#include "platform/x11/x11_desktop.h"

#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/desktop_appearance.h"
#include "platform/linux/entry_app_icons.h"
#include "platform/linux/linux_accessibility.h"
#include "platform/linux/mpris_script_runner.h"
#include "platform/linux/proc_system_counters.h"
#include "platform/linux/qprocess_runner.h"
#include "platform/x11/qt_pasteboard.h"
#include "platform/linux/qt_url_fetcher.h"
#include "platform/linux/sysfs_power.h"
#include "platform/x11/x11_app_icons.h"
#include "platform/x11/x11_clients.h"
#include "platform/x11/x11_event_taps.h"
#include "platform/x11/x11_screens.h"
#include "platform/x11/x11_thumbnails.h"
#include "platform/x11/x11_window_elements.h"
#include "platform/x11/x11_window_list.h"
#include "platform/x11/x11_workspace.h"
#include "platform/linux/xdg_login_item.h"

#include <QGuiApplication>

namespace tillory::platform::nix {

struct X11Desktop::Services {
    X11Workspace workspace;
    X11EventTaps eventTaps{&workspace};
    // X asks no permission: the program may watch and type keys whenever it can talk to the server.
    X11Clients windowClients;
    X11WindowList windowList{windowClients, static_cast<std::int32_t>(QCoreApplication::applicationPid())};
    X11WindowElements windowElements{windowClients};
    AtspiAccessibility textAccessibility{[this] { return eventTaps.isAvailable(); },
                                         [this] {
                                             const auto front = workspace.frontApplication();
                                             return front ? front->pid : 0;
                                         },
                                         [this] { return eventTaps.holdsKeyboard(); }};
    LinuxAccessibility<X11WindowElements> accessibility{textAccessibility, windowElements};
    X11WindowCapture windowCapture{
        [](std::function<void()> work) { QMetaObject::invokeMethod(qApp, std::move(work), Qt::QueuedConnection); }};
    X11ScreenCapture screenCapture{windowCapture};
    X11AppIcons appIcons{windowClients};
    DesktopEntryIndex desktopEntries;
    EntryAppIcons processIcons{appIcons, workspace, desktopEntries};
    EntryAppIcons windowIcons{appIcons, workspace, desktopEntries, EntryAppIcons::Order::WindowsFirst};
    QtPasteboard pasteboard{QGuiApplication::clipboard()};
    X11Screens screens;
    XdgLoginItem loginItem;
    QProcessRunner processRunner;
    ProcSystemCounters systemCounters;
    SysfsPowerSources powerSources;
    HwmonSmc smc;
    QtUrlFetcher urlFetcher;
    QtImageDecoder imageDecoder;
    MprisScriptRunner scriptRunner{QDBusConnection::sessionBus(), &urlFetcher};
    DesktopAppearance appearance;

    Services(const QString& configHome, const QString& executable)
        : loginItem(configHome, executable), appearance(QDBusConnection::sessionBus(), configHome) {
        workspace.setActivator([this](std::int32_t pid) { return windowElements.activateApplication(pid); });
    }
};

X11Desktop::X11Desktop(const QString& configHome, const QString& executable)
    : services_(std::make_unique<Services>(configHome, executable)) {}

X11Desktop::~X11Desktop() = default;

void X11Desktop::setNotchWidth(const QVariant& setting) {
    services_->screens.setNotchWidth(notchAreaWidth(setting));
}

Platform X11Desktop::platform() {
    Platform p;
    p.accessibility = &services_->accessibility;
    p.eventTaps = &services_->eventTaps;
    p.windowList = &services_->windowList;
    p.screenCapture = &services_->screenCapture;
    p.windowCapture = &services_->windowCapture;
    p.appIcons = &services_->windowIcons;
    p.processIcons = &services_->processIcons;
    p.pasteboard = &services_->pasteboard;
    p.workspace = &services_->workspace;
    p.screens = &services_->screens;
    p.loginItem = &services_->loginItem;
    p.processRunner = &services_->processRunner;
    p.systemCounters = &services_->systemCounters;
    p.powerSources = &services_->powerSources;
    p.smc = &services_->smc;
    p.scriptRunner = &services_->scriptRunner;
    p.urlFetcher = &services_->urlFetcher;
    p.imageDecoder = &services_->imageDecoder;
    p.appearance = &services_->appearance;
    p.bundleIdentifier = QStringLiteral("app.tillory.Tillory");
    p.keyNames = KeyNames::pc();
    return p;
}

} // namespace tillory::platform::nix
