#pragma once

#include "core/scheduler.h"
#include "panel/panel_geometry.h"
#include "panel/panel_page.h"
#include "platform/api/event_taps.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

namespace tillory::core {
class Scheduler;
}

namespace tillory::shell {
class AppState;
}

namespace tillory::panel {

class HomePageModel;
class PanelHost;
class PanelHostFactory;

/// The tray panel: shown and hidden from the tray icon, it holds the page shown, the dashboard's metric and the
/// page models, made anew at each show and dropped at each hide. Main thread.
class MenuPanelController : public QObject {
    Q_OBJECT
    Q_PROPERTY(int page READ pageNumber WRITE setPageNumber NOTIFY pageChanged)
    Q_PROPERTY(int metric READ metric WRITE setMetric NOTIFY metricChanged)
    Q_PROPERTY(bool isShown READ isShown NOTIFY isShownChanged)
    Q_PROPERTY(QObject* home READ homeObject NOTIFY pageModelsChanged)
    Q_PROPERTY(QObject* gauges READ gauges NOTIFY pageModelsChanged)
    Q_PROPERTY(QObject* dashboard READ dashboard NOTIFY pageModelsChanged)
    Q_PROPERTY(QObject* clipboardPage READ clipboardPage NOTIFY pageModelsChanged)

public:
    /// A clicked tray icon reports the click after the panel has lost the focus to it; a toggle this soon after
    /// such a close is that same click and must not reopen the panel.
    static constexpr double kReopenGuard = 0.4;
    /// Seconds after the panel closes until its window is let go.
    static constexpr double kReleaseDelay = 30.0;

    using ModelMaker = std::function<QObject*(QObject* parent)>;

    struct Services {
        shell::AppState* appState = nullptr;
        core::Scheduler* scheduler = nullptr;
        /// Null: the panel never shows (no display).
        PanelHostFactory* hosts = nullptr;
        /// Tells of clicks in other programs' windows and on the desktop, which take no focus from the panel
        /// where nothing there takes it; may be null.
        platform::EventTaps* eventTaps = nullptr;
        /// The running version as the build gives it; empty when unknown.
        QString version;
        /// Chords another program already holds; may be empty.
        std::function<QStringList()> refusedChords;
        /// Runs the screen-capture request; may be empty.
        std::function<void()> requestScreenCapture;
        /// Footer and hint actions; each may be empty.
        std::function<void()> showWhatsNew;
        std::function<void()> showShortcuts;
        std::function<void()> quit;
        /// The update checker (properties `hasUpdate`, `updateVersion`, operation `openDownload()`); may be null.
        QObject* updates = nullptr;
        /// The page models of the monitor and the clipboard, each may be empty.
        ModelMaker makeGauges;
        ModelMaker makeDashboard;
        ModelMaker makeClipboardPage;
    };

    explicit MenuPanelController(Services services, QObject* parent = nullptr);
    ~MenuPanelController() override;

    /// The panel of the running program; null when there is none.
    static MenuPanelController* shared();

    PanelPage page() const { return page_; }
    int pageNumber() const { return static_cast<int>(page_); }
    void setPage(PanelPage page);
    void setPageNumber(int page);
    /// A `monitor::DashboardMetric` as a number.
    int metric() const { return metric_; }
    void setMetric(int metric);
    bool isShown() const { return isShown_; }
    bool hasHost() const { return host_ != nullptr; }

    HomePageModel* home() const;
    QObject* homeObject() const;
    QObject* gauges() const { return gauges_; }
    QObject* dashboard() const { return dashboard_; }
    QObject* clipboardPage() const { return clipboardPage_; }

    /// The tray icon's click: hides a shown panel, shows a hidden one at `anchor`.
    void togglePanel(const PanelAnchor& anchor);
    /// Shows the panel at `anchor` on the home page with CPU chosen; nothing when it is shown already.
    void show(const PanelAnchor& anchor);
    /// The panel's window lost the keyboard focus (a click elsewhere).
    void focusLost();

    const Services& services() const { return services_; }
    shell::AppState& appState() const { return *services_.appState; }

public Q_SLOTS:
    void togglePanel();
    void show();
    void hide();
    void openDashboard(int metric);
    void goHome();

Q_SIGNALS:
    void pageChanged();
    void metricChanged();
    void isShownChanged();
    void pageModelsChanged();

private:
    void watchClicksElsewhere();
    void makeModels();
    void dropModels();
    void syncPageModels();
    void stopProcessSampling();

    Services services_;
    std::unique_ptr<PanelHost> host_;
    core::TimerPtr releaseTimer_;
    platform::SubscriptionPtr clicksElsewhere_;
    PanelPage page_ = PanelPage::home;
    int metric_ = 0;
    bool isShown_ = false;
    PanelAnchor anchor_;
    std::optional<double> focusHideTime_;
    QPointer<HomePageModel> home_;
    QPointer<QObject> gauges_;
    QPointer<QObject> dashboard_;
    QPointer<QObject> clipboardPage_;
};

} // namespace tillory::panel
