#include "shell/app_state.h"

#include "clipboard/clipboard_manager.h"
#include "clipboard/clipboard_palette_controller.h"
#include "core/settings.h"
#include "keyhub/key_event_hub.h"
#include "keys/finder_enhancer.h"
#include "keys/keyboard_cleaner_controller.h"
#include "monitor/system_monitor.h"
#include "notch/notch_controller.h"
#include "shell/update_checker.h"
#include "snap/snap_controller.h"
#include "switcher/window_switcher_engine.h"

#include <QCoreApplication>
#include <QPointer>

namespace tillory::shell {
namespace {
const QString kSwitcherKey = QStringLiteral("switcherEnabled");
const QString kNotchKey = QStringLiteral("notchEnabled");
const QString kSnapKey = QStringLiteral("snapEnabled");
} // namespace

AppState::AppState(Services services, QObject* parent) : QObject(parent), services_(std::move(services)) {
    switcher_ = std::make_unique<switcher::WindowSwitcherEngine>(
        services_.platform, *services_.hub, *services_.settings, *services_.scheduler, services_.switcherPanels);
    snap_ = std::make_unique<snap::SnapController>(services_.platform, *services_.hub, *services_.scheduler,
                                                   services_.snapPanels,
                                                   static_cast<std::int32_t>(QCoreApplication::applicationPid()));
    notch_ = std::make_unique<notch::NotchController>(services_.platform, *services_.settings, *services_.scheduler,
                                                      services_.notchPanels);
    clipboard_ = std::make_unique<clipboard::ClipboardManager>(*services_.platform.pasteboard, *services_.settings,
                                                               *services_.scheduler, *services_.clipboardQueue,
                                                               services_.historyStore);
    const platform::Platform& p = services_.platform;
    // Before the clipboard in the written order, but nothing here depends on that.
    if (p.systemCounters && p.powerSources && p.smc && services_.samplingQueue) {
        auto sampler = std::make_shared<monitor::MetricsSampler>(*p.systemCounters, *p.powerSources, *p.smc);
        platform::Workspace* workspace = p.workspace;
        monitor_ = std::make_unique<monitor::SystemMonitor>(
            std::move(sampler), *services_.samplingQueue, *services_.scheduler,
            [workspace] {
                // Everything with a window on this desktop is an application the user switches to.
                monitor::AppMap apps;
                for (const platform::AppInfo& app : workspace->runningApplications()) {
                    apps[app.pid] = monitor::AppInfo{app.name, true};
                }
                return apps;
            },
            p.systemCounters->activeProcessorCount(), p.systemCounters->physicalMemory());
    }
    finder_ = std::make_unique<keys::FinderEnhancer>(*services_.hub, *services_.settings, *p.workspace,
                                                     *p.accessibility, *services_.scheduler);
    keyboardCleaner_ = std::make_unique<keys::KeyboardCleanerController>(
        *services_.hub, *p.accessibility, *p.screens, *services_.cleanerPanels, *services_.scheduler);
    keys::KeyboardCleanerController::setShared(keyboardCleaner_.get());
    updates_ =
        std::make_unique<UpdateChecker>(p.urlFetcher, p.workspace, *services_.scheduler, services_.runningVersion);

    core::Settings& settings = *services_.settings;
    settings.registerDefaults({{kSwitcherKey, true}, {kNotchKey, true}, {kSnapKey, true}});
    switcherEnabled_ = settings.boolValue(kSwitcherKey);
    notchEnabled_ = settings.boolValue(kNotchKey);
    snapEnabled_ = settings.boolValue(kSnapKey);
    launchAtLogin_ = services_.platform.loginItem->isEnabled();
}

AppState::~AppState() = default;

clipboard::ClipboardPaletteController& AppState::clipboardPalette() {
    if (!clipboardPalette_) {
        const platform::Platform& p = services_.platform;
        clipboardPalette_ = std::make_unique<clipboard::ClipboardPaletteController>(
            *clipboard_, *services_.hub, *p.accessibility, *p.eventTaps, *p.pasteboard, *p.screens,
            *services_.scheduler, *services_.palettePanels);
    }
    return *clipboardPalette_;
}

void AppState::start() {
    if (started_) {
        return;
    }
    started_ = true;
    applySwitcher();
    applyNotch();
    applySnap();
    clipboard_->start();
    clipboardPalette().start();
    if (finder_->backspaceDeletes()) {
        finder_->enableTap();
    }
    if (monitor_ && !monitor_->systemRunning()) {
        monitor_->setSystemRunning(true);
        QPointer<AppState> self(this);
        services_.scheduler->post([self] {
            if (self && self->monitor_) {
                self->monitor_->startPolling();
            }
        });
    }
    updates_->start();
}

void AppState::setSwitch(bool& field, bool value, const QString& key, void (AppState::*changed)()) {
    const bool differs = field != value;
    field = value;
    services_.settings->setBool(key, value);
    if (differs) {
        Q_EMIT(this->*changed)();
    }
}

void AppState::setSwitcherEnabled(bool value) {
    setSwitch(switcherEnabled_, value, kSwitcherKey, &AppState::switcherEnabledChanged);
    if (started_) {
        applySwitcher();
    }
}

void AppState::applySwitcher() {
    if (switcherEnabled_) {
        switcher_->enable();
    } else {
        switcher_->disable();
    }
}

void AppState::setNotchEnabled(bool value) {
    setSwitch(notchEnabled_, value, kNotchKey, &AppState::notchEnabledChanged);
    if (started_) {
        applyNotch();
    }
}

void AppState::applyNotch() {
    if (notchEnabled_) {
        notch_->enable();
    } else {
        notch_->disable();
    }
}

void AppState::setSnapEnabled(bool value) {
    setSwitch(snapEnabled_, value, kSnapKey, &AppState::snapEnabledChanged);
    if (started_) {
        applySnap();
    }
}

void AppState::applySnap() {
    if (snapEnabled_) {
        snap_->enable();
    } else {
        snap_->disable();
    }
}

void AppState::setLaunchAtLogin(bool value) {
    platform::LoginItem& item = *services_.platform.loginItem;
    if (launchAtLogin_ != value) {
        launchAtLogin_ = value;
        Q_EMIT launchAtLoginChanged();
    }
    if (value == item.isEnabled()) {
        return;
    }
    const bool ok = value ? item.registerItem() : item.unregisterItem();
    if (!ok) {
        // Show the real state; writing it again finds no difference and stops.
        setLaunchAtLogin(item.isEnabled());
    }
}

void AppState::resetAccessibilityPermission() {
    const QString bundleId = services_.platform.bundleIdentifier;
    if (bundleId.isEmpty()) {
        return;
    }
    platform::Accessibility* accessibility = services_.platform.accessibility;
    keyhub::KeyEventHub* hub = services_.hub;
    QPointer<AppState> self(this);
    services_.platform.processRunner->run(kTccutil,
                                          {QStringLiteral("reset"), QStringLiteral("Accessibility"), bundleId},
                                          [self, accessibility, hub](int) {
                                              if (!self) {
                                                  return;
                                              }
                                              accessibility->isTrustedPrompting();
                                              self->switcher_->recheckPermission();
                                              self->snap_->recheckPermission();
                                              // The features' permission re-checks bring the tap up at once.
                                              if (hub->isInUse()) {
                                                  hub->ensureTap();
                                              }
                                          });
}

} // namespace tillory::shell
