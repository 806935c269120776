#include "app_delegate.h"
#include "command_line.h"
#include "last_words.h"
#include "remote_commands.h"
#include "session_check.h"
#include "signal_quitter.h"
#include "single_instance.h"
#include "snapshot_command.h"

#include "clipboard/clipboard_manager.h"
#include "clipboard/clipboard_page_model.h"
#include "clipboard/clipboard_palette_controller.h"
#include "clipboard/history_store.h"
#include "clipboard/view/quick_palette_panel.h"
#include "core/atomic_file.h"
#include "core/qt_scheduler.h"
#include "core/serial_queue.h"
#include "core/settings.h"
#include "keyhub/key_event_hub.h"
#include "keys/view/quick_cleaner_panel.h"
#include "monitor/dashboard_model.h"
#include "monitor/gauges_model.h"
#include "monitor/process_icons.h"
#include "monitor/view/process_icon_provider.h"
#include "notch/notch_controller.h"
#include "notch/view/quick_notch_panel.h"
#include "panel/view/quick_panel_host.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_desktop.h"
#include "platform/x11/x11_compositor.h"
#include "platform/x11/x11_desktop.h"
#include "platform/x11/x11_event_taps.h"
#include "platform/x11/x11_top_keeper.h"
#include "shell/app_state.h"
#include "shell/info_windows.h"
#include "shell/update_checker.h"
#include "shell/view/quick_shell_windows.h"
#include "snap/view/quick_snap_panel.h"
#include "switcher/view/quick_switcher_panel.h"
#include "ui/view/color_scheme.h"
#include "ui/view/overlay_surface.h"
#include "ui/view/scene_graph.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QOpenGLContext>
#include <QStandardPaths>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace tillory;

namespace {

const char* const kBufferIntegration = "QT_WAYLAND_CLIENT_BUFFER_INTEGRATION";
QtMessageHandler previousHandler = nullptr;

/// Qt's Wayland plugin reports, as warnings, the buffer integration that Tillory chose not to have.
void quietAboutNoBufferIntegration(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const bool chosen = context.category && std::strcmp(context.category, "qt.qpa.wayland") == 0 &&
                        (text.startsWith(QLatin1String("Failed to load client buffer integration")) ||
                         text.startsWith(QLatin1String("Available client buffer integrations")));
    if (!chosen && previousHandler) {
        previousHandler(type, context, text);
    }
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    const app::CommandLine line = app::parseCommandLine(arguments);
    switch (line.action) {
    case app::CommandLine::Action::Help:
        std::fputs(line.text.toLocal8Bit().constData(), stdout);
        return 0;
    case app::CommandLine::Action::Version:
        std::printf("Tillory %s\n", TILLORY_VERSION);
        return 0;
    case app::CommandLine::Action::Snapshot:
        return app::runSnapshot(line.processes);
    case app::CommandLine::Action::Palette: {
        QCoreApplication client(argc, argv);
        return app::requestPalette();
    }
    case app::CommandLine::Action::Error:
        std::fprintf(stderr, "tillory: %s\nTry 'tillory --help' for the options.\n",
                     line.text.toLocal8Bit().constData());
        return 2;
    case app::CommandLine::Action::Run:
        break;
    }

    // The toolkit aborts the process when it cannot open a display: find out first and say it in words.
    const app::Session session = app::classifySession(app::sessionEnvironmentFromProcess(), app::realSessionProbes());
    if (session == app::Session::NoDisplay) {
        std::fputs(app::noDisplayMessage(), stderr);
        return 1;
    }
    const bool nativeWayland = session == app::Session::Sway || session == app::Session::Wlroots;
    std::fprintf(stderr, "%s\n", app::sessionDescription(session).constData());
    // Every window of Tillory's draws in software. Left to itself, Qt's Wayland plugin loads EGL, and with it Mesa's
    // software rasteriser and LLVM, at the first window: 52 MiB more resident memory (measured on sway) for
    // nothing drawn through them. A name that is no buffer integration keeps it to shared memory.
    const bool sharedMemoryOnly = nativeWayland && !qEnvironmentVariableIsSet(kBufferIntegration);
    if (nativeWayland) {
        // The ordinary windows (panel, dashboard) are the compositor's own windows; overlays go through
        // Tillory's own connection.
        qputenv("QT_QPA_PLATFORM", "wayland");
        if (sharedMemoryOnly) {
            qputenv(kBufferIntegration, "none");
            previousHandler = qInstallMessageHandler(quietAboutNoBufferIntegration);
        }
    } else {
        if (session == app::Session::WaylandWithXWayland) {
            std::fputs(app::waylandMessage(), stderr);
        }
        // Everything Tillory does on screen is X11 here: never let the toolkit pick its Wayland backend.
        qputenv("QT_QPA_PLATFORM", "xcb");
    }

    // Tillory draws little at a time but often in the background (the island's bars step at each pointer poll).
    // A frame asked for then is painted in the same wake instead of 5 ms later (animations still step on the
    // 16 ms animation timer), and pixels go to the X server in the request instead of through shared memory,
    // whose reuse costs a round trip through Qt's event thread per frame. Together: the playing island's cost
    // fell from 0.53 to 0.44 % of a core, and the snap overlay follows the pointer 4 ms sooner.
    if (!qEnvironmentVariableIsSet("QT_QPA_UPDATE_IDLE_TIME")) {
        qputenv("QT_QPA_UPDATE_IDLE_TIME", "0");
    }
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) {
        qputenv("QT_XCB_NO_MITSHM", "1");
    }
    QApplication application(argc, argv);
    if (sharedMemoryOnly) {
        // Asking makes the plugin read the variable now; programs Tillory starts must not inherit it.
        QOpenGLContext::supportsThreadedOpenGL();
        qunsetenv(kBufferIntegration);
    }
    QApplication::setApplicationName(QStringLiteral("Tillory"));
    QApplication::setOrganizationName(QStringLiteral("Tillory"));
    QApplication::setApplicationVersion(QStringLiteral(TILLORY_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    ui::preferSoftwareSceneGraph(); // before any view: the palette and the overlays are made on first show

    const QString dataFolder =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath(QStringLiteral("Tillory"));
    const QString configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    core::makeFolder(dataFolder, 0700);

    // Two writers of one history file would lose copies.
    app::SingleInstance instance(QDir(dataFolder).filePath(QStringLiteral("tillory.lock")));
    if (instance.outcome() == app::SingleInstance::Outcome::AlreadyRunning) {
        if (instance.holder() > 0) {
            std::fprintf(stderr, "Tillory is already running (process %lld).\n",
                         static_cast<long long>(instance.holder()));
        } else {
            std::fprintf(stderr, "Tillory is already running.\n");
        }
        return 1;
    }
    int writeError = instance.error();
    if (instance.isPrimary() && !core::canCreateFilesIn(dataFolder)) {
        writeError = errno;
    }
    const bool canSave = instance.isPrimary() && writeError == 0;
    if (!canSave) {
        std::fprintf(stderr,
                     "Tillory cannot write to its data folder %s (%s); running without saving: the clipboard "
                     "history is kept in memory only.\n",
                     QFile::encodeName(dataFolder).constData(), std::strerror(writeError));
    }

    app::SignalQuitter signalQuitter;
    core::QtScheduler scheduler;
    core::QtSettings settings;
    core::ThreadSerialQueue persistQueue("clipboard-save");
    std::unique_ptr<platform::nix::WaylandConnection> wayland;
    std::unique_ptr<platform::nix::WaylandDesktop> waylandDesktop;
    std::unique_ptr<platform::nix::X11Desktop> x11Desktop;
    platform::Platform platform;
    if (nativeWayland) {
        wayland = platform::nix::WaylandConnection::open();
        if (wayland) {
            waylandDesktop = std::make_unique<platform::nix::WaylandDesktop>(*wayland, configHome,
                                                                             QCoreApplication::applicationFilePath());
        }
        if (!waylandDesktop || !waylandDesktop->hasPasteboard()) {
            std::fputs("Tillory could not set up its own connection to the Wayland compositor (the clipboard "
                       "protocol was refused).\nStart it with TILLORY_BACKEND=x11 to run through XWayland.\n",
                       stderr);
            return 1;
        }
        waylandDesktop->setNotchWidth(settings.object(QStringLiteral("notchWidth")));
        platform = waylandDesktop->platform();
        ui::setOverlayBackend(waylandDesktop->overlays());
    } else {
        x11Desktop = std::make_unique<platform::nix::X11Desktop>(configHome, QCoreApplication::applicationFilePath());
        x11Desktop->setNotchWidth(settings.object(QStringLiteral("notchWidth")));
        platform = x11Desktop->platform();
    }
    // After the desktop: the sampling thread reads the desktop's counters, so it must stop first.
    core::ThreadSerialQueue samplingQueue("sampling");

    keyhub::KeyEventHub hub(*platform.eventTaps, *platform.accessibility, scheduler);
    keyhub::KeyEventHub::setShared(&hub);

    shell::AppState::Services services;
    services.platform = platform;
    services.settings = &settings;
    services.scheduler = &scheduler;
    services.clipboardQueue = &persistQueue;
    services.samplingQueue = &samplingQueue;
    services.historyStore = std::make_shared<clipboard::HistoryStore>(
        dataFolder, canSave ? clipboard::HistoryStore::Access::ReadWrite : clipboard::HistoryStore::Access::ReadOnly);
    services.hub = &hub;
    clipboard::QuickPalettePanelFactory palettePanels;
    keys::QuickCleanerPanelFactory cleanerPanels;
    switcher::QuickSwitcherPanelFactory switcherPanels;
    services.palettePanels = &palettePanels;
    services.switcherPanels = &switcherPanels;
    snap::QuickSnapPanelFactory snapPanels;
    notch::QuickNotchPanelFactory notchPanels;
    // A Wayland compositor always composites, and keeps its overlays on top by itself.
    std::function<bool()> translucency = [] { return true; };
    std::unique_ptr<platform::nix::X11Compositor> compositor;
    std::unique_ptr<platform::nix::X11TopKeeper> switcherOnTop, snapOnTop, notchOnTop;
    if (x11Desktop) {
        compositor = std::make_unique<platform::nix::X11Compositor>();
        translucency = [&compositor] { return compositor->isRunning(); };
        switcherOnTop = std::make_unique<platform::nix::X11TopKeeper>();
        snapOnTop = std::make_unique<platform::nix::X11TopKeeper>();
        notchOnTop = std::make_unique<platform::nix::X11TopKeeper>();
        switcherPanels.setKeepOnTop(
            [&switcherOnTop](quintptr window) { switcherOnTop->keepOnTop(static_cast<std::uint32_t>(window)); });
        snapPanels.setKeepOnTop(
            [&snapOnTop](quintptr window) { snapOnTop->keepOnTop(static_cast<std::uint32_t>(window)); });
        notchPanels.setKeepOnTop(
            [&notchOnTop](quintptr window) { notchOnTop->keepOnTop(static_cast<std::uint32_t>(window)); });
    }
    snapPanels.setTranslucency(translucency);
    services.snapPanels = &snapPanels;
    notchPanels.setTranslucency(translucency);
    services.notchPanels = &notchPanels;
    services.cleanerPanels = &cleanerPanels;
    services.runningVersion = QCoreApplication::applicationVersion();
    shell::AppState appState(std::move(services));
    // Qt's Wayland plugin ends the process without unwinding when the compositor goes away; a copy made within the
    // save delay would be lost with it.
    app::saveOnLastWords(appState.clipboard().lastChanceSave());
    palettePanels.setController(&appState.clipboardPalette());
    palettePanels.setKeyNames(platform.keyNames);
    cleanerPanels.setController(&appState.keyboardCleaner());
    switcherPanels.setEngine(&appState.switcher());
    switcherPanels.setKeyNames(platform.keyNames);
    snapPanels.setController(&appState.snap());
    snapPanels.setKeyNames(platform.keyNames);
    notchPanels.setController(&appState.notch());

    // One look for the panel, the windows and the overlays, from what the desktop says of dark and light.
    const auto dark = [appearance = platform.appearance] {
        return ui::darkViews(appearance ? appearance->colorScheme() : platform::Appearance::ColorScheme::unstated,
                             QGuiApplication::palette());
    };
    palettePanels.setDark(dark);
    switcherPanels.setDark(dark);
    snapPanels.setDark(dark);
    notchPanels.setDark(dark);
    shell::QuickShellWindowFactory shellWindows;
    shellWindows.setTranslucency(translucency);
    shellWindows.setDark(dark);
    app::AppDelegate delegate(appState, settings, &shellWindows, platform.keyNames);
    panel::QuickPanelHostFactory panelHosts;
    panelHosts.setTranslucency(translucency);
    panelHosts.setDark(dark);
    monitor::ProcessIcons::shared().setSources(platform.processIcons ? platform.processIcons : platform.appIcons,
                                               platform.workspace);
    panelHosts.setEngineSetup(
        [](QQmlEngine& engine) { monitor::installProcessIcons(engine, monitor::ProcessIcons::shared()); });
    panel::MenuPanelController::Services panelServices;
    panelServices.scheduler = &scheduler;
    panelServices.hosts = &panelHosts;
    panelServices.eventTaps = platform.eventTaps;
    panelServices.version = QCoreApplication::applicationVersion();
    if (auto* x11Taps = dynamic_cast<platform::nix::X11EventTaps*>(platform.eventTaps)) {
        panelServices.refusedChords = [x11Taps] { return x11Taps->refusedChords(); };
    } else if (waylandDesktop) {
        panelServices.refusedChords = [desktop = waylandDesktop.get()] { return desktop->refusedChords(); };
    }
    if (platform::ScreenCapture* capture = platform.screenCapture) {
        panelServices.requestScreenCapture = [capture] { capture->requestAccess(); };
    }
    panelServices.updates = &appState.updates();
    panelServices.quit = [] { QCoreApplication::quit(); };
    panelServices.showWhatsNew = [] {
        if (shell::WhatsNewController* whatsNew = shell::WhatsNewController::shared()) {
            whatsNew->show();
        }
    };
    panelServices.showShortcuts = [] {
        if (shell::ShortcutsController* shortcuts = shell::ShortcutsController::shared()) {
            shortcuts->show();
        }
    };
    panelServices.makeClipboardPage = [&appState, &platform](QObject* parent) {
        return new clipboard::ClipboardPageModel(appState.clipboard(), *platform.pasteboard, parent);
    };
    if (monitor::SystemMonitor* systemMonitor = appState.monitor()) {
        panelServices.makeGauges = [systemMonitor](QObject* parent) {
            return new monitor::GaugesModel(*systemMonitor, parent);
        };
        panelServices.makeDashboard = [systemMonitor, &platform](QObject* parent) {
            auto* page = new monitor::DashboardModel(*systemMonitor, parent);
            page->setProcessRunner(platform.processRunner);
            return page;
        };
    }
    delegate.setPanelServices(std::move(panelServices));
    // For desktops where Tillory cannot add key bindings itself: theirs may run `tillory --palette`.
    app::RemoteCommands remote([&appState] { return appState.clipboardPalette().open(); });
    remote.publish();
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                     [&delegate] { delegate.applicationWillTerminate(); });
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });

    const int status = QApplication::exec();
    delegate.applicationWillTerminate();
    return status;
}
