#pragma once

#include "monitor/dashboard_metric.h"
#include "monitor/dashboard_rules.h"

#include <QObject>
#include <QVariantList>
#include <QVariantMap>

#include <cstdint>
#include <optional>
#include <utility>

namespace tillory::monitor {

class ProcessIcons;
class SystemMonitor;
} // namespace tillory::monitor
namespace tillory::platform {
class ProcessRunner;
}
namespace tillory::monitor {

/// The dashboard page: the selected metric with its summary card, and for CPU, memory and disk the process list
/// with its search, scope and System group. Made anew for every opening of the panel, so the list's state starts
/// fresh. While the page is shown it keeps the monitor's process loop running exactly when the metric lists
/// processes. Main thread.
class DashboardModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(int metric READ metric WRITE setMetric NOTIFY metricChanged)
    Q_PROPERTY(QString metricLabel READ metricLabel NOTIFY metricChanged)
    Q_PROPERTY(bool hasProcessList READ hasProcessList NOTIFY metricChanged)
    Q_PROPERTY(QVariantList chips READ chips CONSTANT)
    Q_PROPERTY(QString query READ query WRITE setQuery NOTIFY queryChanged)
    Q_PROPERTY(int scope READ scope WRITE setScope NOTIFY scopeChanged)
    Q_PROPERTY(QStringList scopeLabels READ scopeLabels CONSTANT)
    Q_PROPERTY(bool systemExpanded READ systemExpanded WRITE setSystemExpanded NOTIFY systemExpandedChanged)
    Q_PROPERTY(QVariantMap summary READ summary NOTIFY summaryChanged)
    Q_PROPERTY(QString listState READ listState NOTIFY listChanged)
    Q_PROPERTY(QString columnTitle READ columnTitle NOTIFY metricChanged)
    Q_PROPERTY(QVariantList rows READ rows NOTIFY listChanged)
    Q_PROPERTY(QString emptyText READ emptyText NOTIFY listChanged)
    Q_PROPERTY(QVariantMap pendingEnd READ pendingEnd NOTIFY pendingEndChanged)
    Q_PROPERTY(QString endNotice READ endNotice NOTIFY pendingEndChanged)

public:
    /// Rows of a search or of the All scope, and daemons under an open System group.
    static constexpr std::size_t kListedProcesses = 12;
    static constexpr std::size_t kListedDaemons = 8;

    explicit DashboardModel(SystemMonitor& monitor, QObject* parent = nullptr);
    DashboardModel(SystemMonitor& monitor, ProcessIcons& icons, QObject* parent = nullptr);
    ~DashboardModel() override;

    int metric() const { return int(metric_); }
    void setMetric(int metric);
    DashboardMetric selected() const { return metric_; }
    QString metricLabel() const { return rawValue(metric_); }
    bool hasProcessList() const { return monitor::hasProcessList(metric_); }
    QVariantList chips() const;
    QString query() const { return query_; }
    void setQuery(const QString& query);
    int scope() const { return int(scope_); }
    void setScope(int scope);
    QStringList scopeLabels() const { return {rawValue(ListScope::apps), rawValue(ListScope::all)}; }
    bool systemExpanded() const { return systemExpanded_; }
    void setSystemExpanded(bool expanded);

    QVariantMap summary() const;
    /// "sampling" before the first list, else "search", "all" or "apps".
    QString listState() const;
    QString columnTitle() const { return rawValue(metric_).toUpper(); }
    /// The list as shown: [{kind: process|system|other, name, value, icon, indented, badge, expanded}]; a
    /// process row also has its pid, a detail line ("PID 412 · command line") and whether it can be ended.
    QVariantList rows() const;
    QString emptyText() const;

    /// Lets the page end processes through `runner` (never this program itself); without it none can be ended.
    void setProcessRunner(platform::ProcessRunner* runner) { runner_ = runner; }
    /// The process waiting for the user's confirmation to end: {pid, name, question}; empty when none.
    QVariantMap pendingEnd() const;
    /// After a refused end: what went wrong, until the next request.
    QString endNotice() const { return endNotice_; }
    /// Asks to end a listed process: it waits for `confirmEnd` (a process that cannot be ended is ignored).
    Q_INVOKABLE void askToEnd(int pid);
    Q_INVOKABLE void confirmEnd();
    Q_INVOKABLE void cancelEnd();

    /// The page came on screen or left it: starts or stops the process loop as the metric wants.
    Q_INVOKABLE void pageShown();
    Q_INVOKABLE void pageHidden();
    Q_INVOKABLE void back() { Q_EMIT backRequested(); }
    Q_INVOKABLE void toggleSystem() { setSystemExpanded(!systemExpanded_); }

Q_SIGNALS:
    void metricChanged();
    void queryChanged();
    void scopeChanged();
    void systemExpandedChanged();
    void summaryChanged();
    void listChanged();
    void backRequested();
    void pendingEndChanged();

private:
    const std::vector<double>& history() const;
    QVariantMap processRow(const ProcessSample& sample, bool indented) const;
    bool canEnd(std::int32_t pid) const;

    SystemMonitor& monitor_;
    ProcessIcons& icons_;
    DashboardMetric metric_ = DashboardMetric::cpu;
    QString query_;
    ListScope scope_ = ListScope::apps;
    bool systemExpanded_ = false;
    bool shown_ = false;
    platform::ProcessRunner* runner_ = nullptr;
    std::optional<std::pair<std::int32_t, QString>> pendingEnd_;
    QString endNotice_;
};

} // namespace tillory::monitor
