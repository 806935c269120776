#include "monitor/dashboard_model.h"

#include "monitor/process_icons.h"
#include "monitor/system_monitor.h"
#include "platform/api/system_services.h"

#include <algorithm>

namespace tillory::monitor {
namespace {

QString chipSymbol(DashboardMetric metric) {
    switch (metric) {
    case DashboardMetric::cpu:
        return QStringLiteral("cpu");
    case DashboardMetric::gpu:
        return QStringLiteral("cpu.fill");
    case DashboardMetric::memory:
        return QStringLiteral("memorychip");
    case DashboardMetric::disk:
        return QStringLiteral("internaldrive");
    case DashboardMetric::network:
        return QStringLiteral("network");
    case DashboardMetric::power:
        return QStringLiteral("bolt.fill");
    }
    return {};
}

} // namespace

DashboardModel::DashboardModel(SystemMonitor& monitor, QObject* parent)
    : DashboardModel(monitor, ProcessIcons::shared(), parent) {}

DashboardModel::DashboardModel(SystemMonitor& monitor, ProcessIcons& icons, QObject* parent)
    : QObject(parent), monitor_(monitor), icons_(icons) {
    connect(&monitor_, &SystemMonitor::snapshotChanged, this, &DashboardModel::summaryChanged);
    connect(&monitor_, &SystemMonitor::processesChanged, this, &DashboardModel::listChanged);
    connect(this, &DashboardModel::metricChanged, this, &DashboardModel::summaryChanged);
    connect(this, &DashboardModel::metricChanged, this, &DashboardModel::listChanged);
    connect(this, &DashboardModel::queryChanged, this, &DashboardModel::listChanged);
    connect(this, &DashboardModel::scopeChanged, this, &DashboardModel::listChanged);
    connect(this, &DashboardModel::systemExpandedChanged, this, &DashboardModel::listChanged);
}

DashboardModel::~DashboardModel() {
    pageHidden();
}

void DashboardModel::setMetric(int metric) {
    if (metric < 0 || metric >= int(kDashboardMetrics.size()) || metric == int(metric_)) {
        return;
    }
    metric_ = DashboardMetric(metric);
    if (shown_) {
        if (monitor::hasProcessList(metric_)) {
            monitor_.startProcessSampling();
        } else {
            monitor_.stopProcessSampling();
        }
    }
    Q_EMIT metricChanged();
}

void DashboardModel::pageShown() {
    shown_ = true;
    if (monitor::hasProcessList(metric_)) {
        monitor_.startProcessSampling();
    }
}

void DashboardModel::pageHidden() {
    if (shown_) {
        shown_ = false;
        monitor_.stopProcessSampling();
    }
}

QVariantList DashboardModel::chips() const {
    QVariantList list;
    for (DashboardMetric m : kDashboardMetrics) {
        list.append(QVariantMap{{QStringLiteral("metric"), int(m)},
                                {QStringLiteral("label"), rawValue(m)},
                                {QStringLiteral("symbol"), chipSymbol(m)}});
    }
    return list;
}

void DashboardModel::setQuery(const QString& query) {
    if (query != query_) {
        query_ = query;
        Q_EMIT queryChanged();
    }
}

void DashboardModel::setScope(int scope) {
    if ((scope == 0 || scope == 1) && scope != int(scope_)) {
        scope_ = ListScope(scope);
        Q_EMIT scopeChanged();
    }
}

void DashboardModel::setSystemExpanded(bool expanded) {
    if (expanded != systemExpanded_) {
        systemExpanded_ = expanded;
        Q_EMIT systemExpandedChanged();
    }
}

const std::vector<double>& DashboardModel::history() const {
    static const std::vector<double> none;
    switch (metric_) {
    case DashboardMetric::cpu:
        return monitor_.cpuHistory();
    case DashboardMetric::gpu:
        return monitor_.gpuHistory();
    case DashboardMetric::memory:
        return monitor_.memoryHistory();
    case DashboardMetric::disk:
        return monitor_.diskHistory();
    case DashboardMetric::network:
        return monitor_.networkHistory();
    case DashboardMetric::power:
        return none;
    }
    return none;
}

QVariantMap DashboardModel::summary() const {
    return summaryCard(metric_, monitor_.snapshot(), history(), monitor_.coreCount(), monitor_.totalMemoryGB());
}

QString DashboardModel::listState() const {
    if (monitor_.processes().empty()) {
        return QStringLiteral("sampling");
    }
    if (!query_.isEmpty()) {
        return QStringLiteral("search");
    }
    return scope_ == ListScope::all ? QStringLiteral("all") : QStringLiteral("apps");
}

QVariantMap DashboardModel::processRow(const ProcessSample& sample, bool indented) const {
    const auto memoryBytes = static_cast<std::uint64_t>(monitor_.totalMemoryGB() * double(1ull << 30));
    const bool hasIcon = icons_.icon(sample).has_value();
    return {
        {QStringLiteral("kind"), QStringLiteral("process")},
        {QStringLiteral("name"), sample.name},
        {QStringLiteral("value"), valueText(sample, metric_, memoryBytes)},
        {QStringLiteral("icon"), hasIcon ? QStringLiteral("image://tillory-process/%1").arg(sample.pid) : QString()},
        {QStringLiteral("indented"), indented},
        {QStringLiteral("pid"), sample.pid},
        {QStringLiteral("detail"), sample.commandLine.isEmpty()
                                       ? QStringLiteral("PID %1").arg(sample.pid)
                                       : QStringLiteral("PID %1 \u00B7 %2").arg(sample.pid).arg(sample.commandLine)},
        {QStringLiteral("canEnd"), canEnd(sample.pid)}};
}

bool DashboardModel::canEnd(std::int32_t pid) const {
    return runner_ && pid > 1 && pid != runner_->ownPid();
}

QVariantMap DashboardModel::pendingEnd() const {
    if (!pendingEnd_) {
        return {};
    }
    const auto& [pid, name] = *pendingEnd_;
    return {{QStringLiteral("pid"), pid},
            {QStringLiteral("name"), name},
            {QStringLiteral("question"),
             QStringLiteral("End \u201C%1\u201D (PID %2)? Unsaved work in it may be lost.").arg(name).arg(pid)}};
}

void DashboardModel::askToEnd(int pid) {
    const auto& processes = monitor_.processes();
    const auto found =
        std::find_if(processes.begin(), processes.end(), [pid](const ProcessSample& p) { return p.pid == pid; });
    if (found == processes.end() || !canEnd(pid)) {
        return;
    }
    pendingEnd_ = {pid, found->name};
    endNotice_.clear();
    Q_EMIT pendingEndChanged();
}

void DashboardModel::confirmEnd() {
    if (!pendingEnd_) {
        return;
    }
    const auto [pid, name] = *pendingEnd_;
    pendingEnd_.reset();
    if (!runner_ || !runner_->terminate(pid)) {
        endNotice_ =
            QStringLiteral("\u201C%1\u201D could not be ended: it has gone or belongs to another user.").arg(name);
    }
    Q_EMIT pendingEndChanged();
}

void DashboardModel::cancelEnd() {
    if (pendingEnd_ || !endNotice_.isEmpty()) {
        pendingEnd_.reset();
        endNotice_.clear();
        Q_EMIT pendingEndChanged();
    }
}

QVariantList DashboardModel::rows() const {
    QVariantList list;
    const std::vector<ProcessSample>& processes = monitor_.processes();
    if (processes.empty()) {
        return list;
    }
    const auto first = [&](const std::vector<ProcessSample>& from, std::size_t count, bool indented) {
        for (std::size_t i = 0; i < std::min(count, from.size()); ++i) {
            list.append(processRow(from[i], indented));
        }
    };
    if (!query_.isEmpty()) {
        first(searchResults(processes, query_, metric_), kListedProcesses, false);
        return list;
    }
    if (scope_ == ListScope::all) {
        first(sortedByMetric(processes, metric_), kListedProcesses, false);
        return list;
    }
    const std::vector<ProcessSample> apps = activeApps(processes, metric_);
    const std::vector<ProcessSample> background = daemons(processes, metric_);
    const double gb = monitor_.totalMemoryGB();
    for (const GroupedRow& row : groupedRows(apps, background, metric_)) {
        if (!row.isSystem) {
            list.append(processRow(*row.sample, false));
            continue;
        }
        list.append(QVariantMap{{QStringLiteral("kind"), QStringLiteral("system")},
                                {QStringLiteral("name"), QStringLiteral("System")},
                                {QStringLiteral("badge"), QStringLiteral("+%1").arg(background.size())},
                                {QStringLiteral("value"), aggregateText(row.value, metric_, gb)},
                                {QStringLiteral("expanded"), systemExpanded_}});
        if (systemExpanded_) {
            first(background, kListedDaemons, true);
        }
    }
    const OtherApps others = otherApps(processes, apps, metric_);
    if (others.shown) {
        list.append(QVariantMap{{QStringLiteral("kind"), QStringLiteral("other")},
                                {QStringLiteral("name"), QStringLiteral("Other apps")},
                                {QStringLiteral("badge"), QStringLiteral("+%1").arg(others.count)},
                                {QStringLiteral("value"), aggregateText(others.sum, metric_, gb)}});
    }
    return list;
}

QString DashboardModel::emptyText() const {
    const std::vector<ProcessSample>& processes = monitor_.processes();
    if (processes.empty()) {
        return {};
    }
    if (!query_.isEmpty()) {
        return searchResults(processes, query_, metric_).empty() ? QStringLiteral("No matches") : QString();
    }
    if (scope_ == ListScope::apps && activeApps(processes, metric_).empty()) {
        return QStringLiteral("No apps using ") + rawValue(metric_).toLower();
    }
    return {};
}

} // namespace tillory::monitor
