#include "platform/wayland/wayland_desktop.h"

#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/desktop_appearance.h"
#include "platform/linux/desktop_entries.h"
#include "platform/linux/entry_app_icons.h"
#include "platform/linux/linux_accessibility.h"
#include "platform/linux/mpris_script_runner.h"
#include "platform/linux/proc_system_counters.h"
#include "platform/linux/qprocess_runner.h"
#include "platform/linux/qt_url_fetcher.h"
#include "platform/linux/screen_layout.h"
#include "platform/linux/sysfs_power.h"
#include "platform/linux/xdg_login_item.h"
#include "platform/wayland/data_control_pasteboard.h"
#include "platform/wayland/layer_overlays.h"
#include "platform/wayland/screencopy_capture.h"
#include "platform/wayland/sway_event_taps.h"
#include "platform/wayland/sway_ipc.h"
#include "platform/wayland/sway_window_elements.h"
#include "platform/wayland/sway_window_list.h"
#include "platform/wayland/sway_workspace.h"
#include "platform/wayland/virtual_keyboard.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_screens.h"

#include <QCoreApplication>
#include <QDBusConnection>

namespace tillory::platform::nix {
namespace {

/// No window on Wayland carries its icon for other programs to read: applications' icons come from their desktop
/// entries alone.
class NoWindowIcons final : public AppIcons {
public:
    std::optional<Bitmap> icon(std::int32_t, std::uint32_t, int) override { return std::nullopt; }
};

/// Without sway's IPC a Wayland program has no way to hear of keys meant for others: every tap is refused, as a
/// desktop that does not let this program see keys would, and nothing is typed for it.
class RefusedEventTaps final : public EventTaps {
public:
    std::unique_ptr<EventTap> createTap(std::uint64_t, EventCallback) override { return nullptr; }
    bool post(const Event&) override { return false; }
    std::uint64_t currentFlags() const override { return 0; }
    SubscriptionPtr monitorClicksElsewhere(std::uint64_t, std::function<void(const Event&)>) override {
        return nullptr;
    }
    SubscriptionPtr monitorOwnClicks(std::uint64_t, std::function<void(const Event&, std::uint64_t)>) override {
        return nullptr;
    }
};

/// A compositor without the screen copy protocol gives no program other windows' pixels.
class NoScreencopy final : public ScreenCapture {
public:
    bool hasAccess() const override { return false; }
    bool requestAccess() override { return false; }
    QString missingCapability() const override {
        return QStringLiteral("Window previews need the compositor's screen copy protocol");
    }
};

} // namespace

struct WaylandDesktop::Services {
    WaylandConnection& connection;
    SwayIpc ipc;
    SwayFocusHistory focusHistory{ipc};
    SwayWorkspace workspace{ipc};
    DesktopEntryIndex desktopEntries;
    SwayWindowList windowList{ipc, focusHistory, static_cast<std::int32_t>(QCoreApplication::applicationPid()),
                              &desktopEntries};
    SwayWindowElements windowElements{ipc, focusHistory};
    RefusedEventTaps noEventTaps;
    std::unique_ptr<LayerOverlays> overlays = LayerOverlays::create(connection);
    std::unique_ptr<VirtualKeyboard> keyboard = VirtualKeyboard::create(connection);
    std::unique_ptr<SwayEventTaps> swayEventTaps =
        overlays ? std::make_unique<SwayEventTaps>(ipc, workspace, overlays.get(), keyboard.get()) : nullptr;
    EventTaps& eventTaps = swayEventTaps ? static_cast<EventTaps&>(*swayEventTaps) : noEventTaps;
    std::unique_ptr<ScreencopyCapture> capture =
        overlays ? ScreencopyCapture::create(connection, windowList, *overlays) : nullptr;
    NoScreencopy noCapture;
    AtspiAccessibility textAccessibility{[this] { return connection.offers("zwp_virtual_keyboard_manager_v1"); },
                                         [this] {
                                             const auto front = workspace.frontApplication();
                                             return front ? front->pid : 0;
                                         }};
    LinuxAccessibility<SwayWindowElements> accessibility{textAccessibility, windowElements};
    NoWindowIcons windowOwnIcons;
    EntryAppIcons processIcons{windowOwnIcons, workspace, desktopEntries};
    EntryAppIcons windowIcons{windowOwnIcons, workspace, desktopEntries, EntryAppIcons::Order::WindowsFirst};
    std::unique_ptr<DataControlPasteboard> pasteboard = DataControlPasteboard::create(connection);
    WaylandScreens screens;
    XdgLoginItem loginItem;
    QProcessRunner processRunner;
    ProcSystemCounters systemCounters;
    SysfsPowerSources powerSources;
    HwmonSmc smc;
    QtUrlFetcher urlFetcher;
    QtImageDecoder imageDecoder;
    MprisScriptRunner scriptRunner{QDBusConnection::sessionBus(), &urlFetcher};
    DesktopAppearance appearance;

    Services(WaylandConnection& wayland, const QString& configHome, const QString& executable)
        : connection(wayland), loginItem(configHome, executable),
          appearance(QDBusConnection::sessionBus(), configHome) {
        // Tillory's own windows (the panel, the dashboard, What's New) are small dialogs, never tiles.
        if (ipc.isConnected()) {
            ipc.runCommand(
                QStringLiteral("for_window [pid=%1] floating enable").arg(QCoreApplication::applicationPid()));
        }
        // Carets there are told relative to their window: its place comes from sway's tree.
        textAccessibility.setWindowOrigin([this](std::int32_t pid) -> std::optional<Point> {
            return ipc.isConnected() ? surfaceOrigin(swayWindows(ipc.tree()), pid) : std::nullopt;
        });
        // The window raised last, where sway's own choice by pid would take the last one in its tree.
        workspace.setActivator([this](std::int32_t pid) { return windowElements.activateApplication(pid); });
        if (overlays) {
            // The only place a Wayland client learns where the pointer is.
            overlays->setPointerListener([this](const QPointF& global) { screens.pointerSeen(global); });
            if (keyboard) {
                overlays->setKeymapListener([this](const QByteArray& keymap) { keyboard->useKeymap(keymap); });
            }
        }
    }
};

WaylandDesktop::WaylandDesktop(WaylandConnection& connection, const QString& configHome, const QString& executable)
    : services_(std::make_unique<Services>(connection, configHome, executable)) {}

WaylandDesktop::~WaylandDesktop() = default;

void WaylandDesktop::setNotchWidth(const QVariant& setting) {
    services_->screens.setNotchWidth(notchAreaWidth(setting));
}

ui::OverlayBackend* WaylandDesktop::overlays() {
    return services_->overlays.get();
}

bool WaylandDesktop::hasPasteboard() const {
    return services_->pasteboard != nullptr;
}

QStringList WaylandDesktop::refusedChords() const {
    return services_->swayEventTaps ? services_->swayEventTaps->refusedChords() : QStringList();
}

bool WaylandDesktop::hasSwayIpc() const {
    return services_->ipc.isConnected();
}

Platform WaylandDesktop::platform() {
    Platform p;
    p.accessibility = &services_->accessibility;
    p.eventTaps = &services_->eventTaps;
    p.windowList = &services_->windowList;
    if (services_->capture) {
        p.screenCapture = services_->capture.get();
        p.windowCapture = services_->capture.get();
    } else {
        p.screenCapture = &services_->noCapture;
    }
    p.appIcons = &services_->windowIcons;
    p.processIcons = &services_->processIcons;
    p.pasteboard = services_->pasteboard.get();
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
