#include "panel/menu_panel_controller.h"

#include "core/scheduler.h"
#include "monitor/system_monitor.h"
#include "panel/home_page_model.h"
#include "panel/panel_host.h"
#include "shell/app_state.h"
#include "snap/snap_controller.h"
#include "switcher/window_switcher_engine.h"

#include <QMetaMethod>

namespace tillory::panel {
namespace {

MenuPanelController* sharedPanel = nullptr;

/// Connects `signal` of a page model to `slot` of the panel where the model has it (the models come from other
/// features, which the panel knows only by their signals).
void connectIfPresent(QObject* model, const char* signal, QObject* panel, const char* slot) {
    if (!model) {
        return;
    }
    const int index = model->metaObject()->indexOfSignal(signal);
    if (index < 0) {
        return;
    }
    const int target = panel->metaObject()->indexOfMethod(slot);
    QObject::connect(model, model->metaObject()->method(index), panel, panel->metaObject()->method(target));
}

} // namespace

MenuPanelController::MenuPanelController(Services services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
    sharedPanel = this;
}

MenuPanelController::~MenuPanelController() {
    if (sharedPanel == this) {
        sharedPanel = nullptr;
    }
}

MenuPanelController* MenuPanelController::shared() {
    return sharedPanel;
}

HomePageModel* MenuPanelController::home() const {
    return home_;
}

QObject* MenuPanelController::homeObject() const {
    return home_;
}

void MenuPanelController::setPage(PanelPage page) {
    if (page == page_) {
        return;
    }
    page_ = page;
    syncPageModels();
    Q_EMIT pageChanged();
}

void MenuPanelController::setPageNumber(int page) {
    if (page >= 0 && page <= static_cast<int>(PanelPage::clipboard)) {
        setPage(static_cast<PanelPage>(page));
    }
}

void MenuPanelController::setMetric(int metric) {
    if (metric == metric_) {
        return;
    }
    metric_ = metric;
    if (dashboard_) {
        dashboard_->setProperty("metric", metric);
    }
    Q_EMIT metricChanged();
}

void MenuPanelController::openDashboard(int metric) {
    setMetric(metric);
    setPage(PanelPage::dashboard);
}

void MenuPanelController::goHome() {
    setPage(PanelPage::home);
}

void MenuPanelController::togglePanel(const PanelAnchor& anchor) {
    if (isShown_) {
        hide();
        return;
    }
    if (focusHideTime_ && services_.scheduler->now() - *focusHideTime_ < kReopenGuard) {
        focusHideTime_.reset();
        return;
    }
    show(anchor);
}

void MenuPanelController::togglePanel() {
    togglePanel(anchor_);
}

void MenuPanelController::show() {
    show(anchor_);
}

void MenuPanelController::show(const PanelAnchor& anchor) {
    anchor_ = anchor;
    if (isShown_ || !services_.hosts) {
        return;
    }
    releaseTimer_.reset();
    if (!host_) {
        host_ = services_.hosts->create(*this);
        if (!host_) {
            return;
        }
    }
    focusHideTime_.reset();
    // Each opening starts over on the home page with CPU chosen.
    setMetric(0);
    setPage(PanelPage::home);
    // The hints must be fresh.
    appState().switcher().recheckPermission();
    appState().snap().recheckPermission();
    makeModels();
    isShown_ = true;
    host_->present(panelFrame(anchor));
    watchClicksElsewhere();
    Q_EMIT isShownChanged();
}

void MenuPanelController::hide() {
    if (!isShown_) {
        return;
    }
    isShown_ = false;
    clicksElsewhere_.reset();
    stopProcessSampling();
    host_->orderOut();
    setPage(PanelPage::home);
    dropModels();
    // Its window and scene are let go a while after it closes: a panel opened now and then holds nothing between.
    if (services_.scheduler) {
        QPointer<MenuPanelController> self(this);
        releaseTimer_ = services_.scheduler->after(kReleaseDelay, [self] {
            if (self && !self->isShown_) {
                self->releaseTimer_.reset();
                self->host_.reset();
            }
        });
    }
    Q_EMIT isShownChanged();
}

void MenuPanelController::focusLost() {
    if (!isShown_) {
        return;
    }
    hide();
    focusHideTime_ = services_.scheduler->now();
}

void MenuPanelController::watchClicksElsewhere() {
    if (!services_.eventTaps) {
        return;
    }
    using platform::EventType;
    const std::uint64_t mask =
        platform::eventMaskBit(EventType::LeftMouseDown) | platform::eventMaskBit(EventType::RightMouseDown);
    QPointer<MenuPanelController> self(this);
    clicksElsewhere_ = services_.eventTaps->monitorClicksElsewhere(mask, [self](const platform::Event&) {
        if (self) {
            self->services_.scheduler->post([self] {
                if (self) {
                    self->focusLost();
                }
            });
        }
    });
}

void MenuPanelController::makeModels() {
    home_ = new HomePageModel(*this);
    if (services_.makeGauges) {
        gauges_ = services_.makeGauges(this);
        connectIfPresent(gauges_, "openDashboard(int)", this, "openDashboard(int)");
    }
    syncPageModels();
    Q_EMIT pageModelsChanged();
}

void MenuPanelController::dropModels() {
    // Later: the view that called into a model may still be on the stack.
    for (QPointer<QObject>* model : {&gauges_, &dashboard_, &clipboardPage_}) {
        if (*model) {
            (*model)->deleteLater();
            *model = nullptr;
        }
    }
    if (home_) {
        home_->deleteLater();
        home_ = nullptr;
    }
    Q_EMIT pageModelsChanged();
}

/// The dashboard's and the clipboard page's models live while their page shows, so each visit starts afresh.
void MenuPanelController::syncPageModels() {
    bool changed = false;
    if (page_ != PanelPage::dashboard && dashboard_) {
        QMetaObject::invokeMethod(dashboard_, "pageHidden");
        dashboard_->deleteLater();
        dashboard_ = nullptr;
        changed = true;
    }
    if (page_ != PanelPage::clipboard && clipboardPage_) {
        clipboardPage_->deleteLater();
        clipboardPage_ = nullptr;
        changed = true;
    }
    if (isShown_ || home_) {
        if (page_ == PanelPage::dashboard && !dashboard_ && services_.makeDashboard) {
            dashboard_ = services_.makeDashboard(this);
            dashboard_->setProperty("metric", metric_);
            connectIfPresent(dashboard_, "backRequested()", this, "goHome()");
            changed = true;
        }
        if (page_ == PanelPage::clipboard && !clipboardPage_ && services_.makeClipboardPage) {
            clipboardPage_ = services_.makeClipboardPage(this);
            connectIfPresent(clipboardPage_, "backRequested()", this, "goHome()");
            connectIfPresent(clipboardPage_, "closeRequested()", this, "hide()");
            changed = true;
        }
    }
    if (page_ != PanelPage::dashboard) {
        stopProcessSampling();
    }
    if (changed) {
        Q_EMIT pageModelsChanged();
    }
}

void MenuPanelController::stopProcessSampling() {
    monitor::SystemMonitor* monitor = appState().monitor();
    if (monitor && monitor->processRunning()) {
        monitor->setProcessRunning(false);
        monitor->stopProcessPolling();
        monitor->setProcesses({});
    }
}

} // namespace tillory::panel
