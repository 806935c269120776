#pragma once

#include "monitor/dashboard_metric.h"
#include "monitor/dashboard_rules.h"

#include <QObject>
#include <QVariantList>
#include <QVariantMap>

namespace tillory::monitor {

class ProcessIcons;
class SystemMonitor;

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
    /// The list as shown: [{kind: process|system|other, name, value, icon, indented, badge, expanded}].
    QVariantList rows() const;
    QString emptyText() const;

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

private:
    const std::vector<double>& history() const;
    QVariantMap processRow(const ProcessSample& sample, bool indented) const;

    SystemMonitor& monitor_;
    ProcessIcons& icons_;
    DashboardMetric metric_ = DashboardMetric::cpu;
    QString query_;
    ListScope scope_ = ListScope::apps;
    bool systemExpanded_ = false;
    bool shown_ = false;
};

} // namespace tillory::monitor
