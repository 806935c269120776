// The gauges card and the dashboard page as a user sees them: rendered offscreen over a monitor that replays
// readings of a busy eight-core laptop, in the light and the dark theme, saved as PNGs beside the test binary.
#include "core/manual_scheduler.h"
#include "core/serial_queue.h"
#include "monitor/dashboard_model.h"
#include "monitor/gauges_model.h"
#include "monitor/process_icons.h"
#include "monitor/system_monitor.h"
#include "monitor/view/process_icon_provider.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_system_counters.h"
#include "ui/view/tests/painted_pictures.h"
#include "ui/view/tests/view_test_support.h"

#include <QPalette>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <functional>

namespace tillory::monitor {
namespace {

using namespace ui::testing;

const auto* environment = ::testing::AddGlobalTestEnvironment(new OffscreenApp());

class NoPower final : public platform::PowerSources {
public:
    std::optional<std::vector<std::optional<QVariantMap>>> powerSources() override { return std::nullopt; }
    std::optional<QVariantMap> batteryProperties() override { return std::nullopt; }
    int thermalState() override { return 0; }
};

class NoSmc final : public platform::Smc {
public:
    std::unique_ptr<platform::SmcClient> open() override { return nullptr; }
};

/// Reading `tick` of a machine whose load swings slowly.
MetricsSnapshot reading(int tick) {
    const double wave = 0.5 + 0.35 * std::sin(tick / 6.0);
    MetricsSnapshot s;
    s.cpu = {wave * 0.8, wave * 0.55, wave * 0.25, {0.92, 0.71, 0.5, 0.33, 0.2, 0.12, 0.86, 0.05}};
    s.memory = {0.41, 0.12, 0.07, 0.2, 0.6, 16ull << 30, 300ull << 20, 2ull << 30};
    s.gpu = GPUStats{wave * 0.6, 900ull << 20};
    s.disk = {
        wave * 4e6,
        1.2e6,
        {{QStringLiteral("root"), 120ull << 30, 480ull << 30}, {QStringLiteral("home"), 900ull << 30, 1000ull << 30}}};
    s.network = {
        wave * 2.4e6, 310e3, {{QStringLiteral("wlp3s0"), wave * 2.4e6, 300e3}, {QStringLiteral("tun0"), 900, 10e3}}};
    s.power = PowerStats{true, 0.76, true, 23.45, 65, ThermalLevel::fair};
    s.fans = {{0, 3100, 1200, 6000}, {1, 2400, 1200, 6000}};
    s.temperature = 64.4;
    return s;
}

std::vector<ProcessSample> processes() {
    return {{101, QStringLiteral("Browser"), 18.4, 9.5, 120e3, true},
            {102, QStringLiteral("Editor"), 6.2, 3.1, 60e3, true},
            {103, QStringLiteral("Terminal"), 1.1, 0.8, 0, true},
            {104, QStringLiteral("Music"), 0.02, 1.2, 0, true},
            {201, QStringLiteral("Xorg"), 4.4, 1.6, 0, false},
            {202, QStringLiteral("pipewire"), 1.9, 0.4, 0, false},
            {203, QStringLiteral("systemd-journald"), 0.3, 0.5, 80e3, false},
            {204, QStringLiteral("NetworkManager"), 0.1, 0.3, 0, false}};
}

class MonitorViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        monitor = std::make_unique<SystemMonitor>(
            std::make_shared<MetricsSampler>(counters, power, smc), queue, scheduler, [] { return AppMap{}; }, 8,
            16ull << 30);
        for (int tick = 0; tick < 70; ++tick) {
            monitor->apply(reading(tick));
        }
        const std::int32_t browser = sim.launchApp(QStringLiteral("browser"), QStringLiteral("Browser"));
        sim.setAppIcon(browser, iconPicture(QColor(0xe8, 0x6a, 0x1c), QLatin1Char('B')));
        const std::int32_t editor = sim.launchApp(QStringLiteral("editor"), QStringLiteral("Editor"));
        sim.setAppIcon(editor, iconPicture(QColor(0x2f, 0x6f, 0xde), QLatin1Char('E')));
        icons.setSources(sim.platform().appIcons, sim.platform().workspace);
        installProcessIcons(engine, icons);
    }
    void TearDown() override {
        close();
        QGuiApplication::setPalette(QPalette());
    }
    /// Drops the window and lets Qt Quick release what it deferred (textures of images), or they outlive the test.
    void close() {
        window.reset();
        pump(30);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    /// Shows `page` (a QML file of the monitor) with `model` on a 324-wide sheet, as the panel hosts it.
    QQuickItem* show(const char* page, QObject* model, bool dark) {
        QPalette palette;
        if (dark) {
            palette.setColor(QPalette::Window, QColor(0x24, 0x24, 0x28));
            palette.setColor(QPalette::WindowText, Qt::white);
        } else {
            palette.setColor(QPalette::Window, QColor(0xf2, 0xf2, 0xf5));
        }
        QGuiApplication::setPalette(palette);
        QQmlComponent component(&engine);
        component.setData(QByteArrayLiteral(R"(
            import QtQuick
            Window {
                id: sheet
                property QtObject pageModel
                property url source
                property bool dark
                width: 324
                height: Math.max(120, (loader.item ? loader.item.implicitHeight : 0) + 24)
                color: dark ? "#26262a" : "#f4f4f7"
                Loader {
                    id: loader
                    x: 12; y: 12; width: 300
                    Component.onCompleted: setSource(sheet.source, {model: sheet.pageModel, width: 300})
                }
            })"),
                          QUrl());
        window.reset(qobject_cast<QQuickWindow*>(component.createWithInitialProperties(
            {{QStringLiteral("pageModel"), QVariant::fromValue(model)},
             {QStringLiteral("source"), QUrl(QStringLiteral("qrc:/tillory/monitor/%1").arg(QLatin1String(page)))},
             {QStringLiteral("dark"), dark}})));
        EXPECT_NE(window, nullptr) << component.errorString().toStdString();
        if (!window) {
            return nullptr;
        }
        window->show();
        pump(50);
        return window->contentItem();
    }
    /// The item of that name among the visual children (repeated rows are not QObject children).
    static QQuickItem* find(QQuickItem* root, const QString& name) {
        if (root->objectName() == name) {
            return root;
        }
        for (QQuickItem* child : root->childItems()) {
            if (QQuickItem* found = find(child, name)) {
                return found;
            }
        }
        return nullptr;
    }
    /// Every visible text, components derived from Text included.
    static QStringList shownTexts(QQuickItem* root) {
        QStringList list;
        if (!root->isVisible()) {
            return list;
        }
        if (root->inherits("QQuickText")) {
            list << root->property("text").toString();
        }
        for (QQuickItem* child : root->childItems()) {
            list << shownTexts(child);
        }
        return list;
    }
    QQuickItem* item(const char* name) { return find(window->contentItem(), QString::fromLatin1(name)); }
    void click(const char* name) {
        QQuickItem* i = item(name);
        ASSERT_NE(i, nullptr) << name;
        QTest::mouseClick(window.get(), Qt::LeftButton, {},
                          i->mapToScene(QPointF(i->width() / 2, i->height() / 2)).toPoint());
        pump(30);
    }

    core::ManualScheduler scheduler;
    core::ManualSerialQueue queue{scheduler};
    platform::sim::SimSystemCounters counters;
    platform::sim::SimDesktop sim{scheduler};
    NoPower power;
    NoSmc smc;
    ProcessIcons icons;
    std::unique_ptr<SystemMonitor> monitor;
    QQmlEngine engine;
    std::unique_ptr<QQuickWindow> window;
};

TEST_F(MonitorViewTest, GaugesCardShowsRingsAndReadoutsAndOpensTheDashboard) {
    for (const bool dark : {false, true}) {
        GaugesModel gauges(*monitor);
        QQuickItem* root = show("GaugesCard.qml", &gauges, dark);
        ASSERT_NE(root, nullptr);
        const QImage image = snapshot(window.get(), dark ? QStringLiteral("gauges-dark") : QStringLiteral("gauges"));
        EXPECT_GT(drawnPixels(image), 500);
        const QStringList shown = shownTexts(root);
        for (const char* text : {"CPU", "GPU", "MEM", "64°", "76%", "23.4W", "↓", "R"}) {
            EXPECT_TRUE(shown.contains(QString::fromUtf8(text))) << text << " in " << shown.join('|').toStdString();
        }
        ASSERT_NE(item("ringCPU"), nullptr);
        EXPECT_EQ(item("ringCPU")->width(), 64);

        QSignalSpy opened(&gauges, &GaugesModel::openDashboard);
        click("cell0");
        click("ringMEM");
        click("cell3");
        ASSERT_EQ(opened.size(), 3);
        EXPECT_EQ(opened[0][0].toInt(), int(DashboardMetric::cpu));
        EXPECT_EQ(opened[1][0].toInt(), int(DashboardMetric::memory));
        EXPECT_EQ(opened[2][0].toInt(), int(DashboardMetric::power));
        window.reset();
    }
}

TEST_F(MonitorViewTest, DashboardForEveryMetricInBothThemes) {
    const struct {
        DashboardMetric metric;
        const char* name;
        const char* expected;
    } cases[] = {
        {DashboardMetric::cpu, "cpu", "of 8 cores"},      {DashboardMetric::gpu, "gpu", "900 MB in use"},
        {DashboardMetric::memory, "memory", "Swap used"}, {DashboardMetric::disk, "disk", "120 GB free"},
        {DashboardMetric::network, "network", "wlp3s0"},  {DashboardMetric::power, "power", "Fan 2"},
    };
    for (const bool dark : {false, true}) {
        for (const auto& c : cases) {
            monitor->setProcessRunning(false);
            DashboardModel page(*monitor, icons);
            page.setMetric(int(c.metric));
            QQuickItem* root = show("DashboardPage.qml", &page, dark);
            ASSERT_NE(root, nullptr);
            EXPECT_EQ(monitor->processRunning(), hasProcessList(c.metric)) << c.name;
            if (hasProcessList(c.metric)) {
                monitor->setProcesses(processes());
                page.setSystemExpanded(c.metric == DashboardMetric::cpu);
            }
            pump(50);
            const QString file = QStringLiteral("dashboard-%1%2").arg(QLatin1String(c.name), dark ? "-dark" : "");
            snapshot(window.get(), file);
            const QStringList shown = shownTexts(root);
            EXPECT_TRUE(shown.contains(QString::fromUtf8(c.expected)))
                << c.name << ": " << shown.join('|').toStdString();
            EXPECT_LE(window->height(), 640) << c.name << " fits the panel";
            if (c.metric == DashboardMetric::cpu) {
                EXPECT_TRUE(shown.contains(QStringLiteral("PROCESS")));
                EXPECT_TRUE(shown.contains(QStringLiteral("18.4%")));
                EXPECT_TRUE(shown.contains(QStringLiteral("System")));
            }
            close();
        }
    }
}

// An open dashboard redraws once for each reading and then holds still: an animation between readings costs more
// than the readings themselves.
TEST_F(MonitorViewTest, AnOpenDashboardDrawsOnlyWhenAReadingArrives) {
    DashboardModel page(*monitor, icons);
    page.setMetric(int(DashboardMetric::network)); // a chart and no process list
    ASSERT_NE(show("DashboardPage.qml", &page, true), nullptr);
    pump(300);
    ASSERT_NE(item("chart"), nullptr);
    QSignalSpy frames(window.get(), &QQuickWindow::frameSwapped);
    for (int tick = 70; tick < 73; ++tick) {
        monitor->apply(reading(tick));
        pump(900);
    }
    EXPECT_GE(frames.count(), 1) << "the readings were drawn";
    EXPECT_LE(frames.count(), 6) << "three readings, not an animation between them";
}

TEST_F(MonitorViewTest, BeforeAnyReadingEveryCardShowsItsNeutralState) {
    SystemMonitor fresh(
        std::make_shared<MetricsSampler>(counters, power, smc), queue, scheduler, [] { return AppMap{}; }, 8,
        16ull << 30);
    const struct {
        DashboardMetric metric;
        std::vector<const char*> expected;
    } cases[] = {
        {DashboardMetric::cpu, {"0%", "Collecting…", "Sampling…"}},
        {DashboardMetric::gpu, {"No GPU statistics available"}},
        {DashboardMetric::network, {"0 B/s", "idle"}},
        {DashboardMetric::power, {"AC", "Running on wall power", "—", "Normal", "No fan sensors"}},
    };
    for (const auto& c : cases) {
        DashboardModel page(fresh, icons);
        page.setMetric(int(c.metric));
        QQuickItem* root = show("DashboardPage.qml", &page, false);
        ASSERT_NE(root, nullptr);
        snapshot(window.get(), QStringLiteral("dashboard-empty-%1").arg(int(c.metric)));
        const QStringList shown = shownTexts(root);
        for (const char* text : c.expected) {
            EXPECT_TRUE(shown.contains(QString::fromUtf8(text))) << text << ": " << shown.join('|').toStdString();
        }
        window.reset();
        pump(20);
    }
}

TEST_F(MonitorViewTest, ThirtyTwoCoresAndTwelveRowsStayWithinThePanel) {
    MetricsSnapshot busy = reading(3);
    busy.cpu.perCore.assign(32, 0.6);
    monitor->apply(busy);
    // Processes without icons: Qt Quick 6.4 keeps the textures of icons drawn in rows scrolled out of sight past
    // the window, which LeakSanitizer reports; the layout is what this test is about.
    std::vector<ProcessSample> many;
    for (int i = 0; i < 14; ++i) {
        many.push_back({300 + i, QStringLiteral("worker-%1").arg(i), 2.0 + i, 0.1, 0, false});
    }
    DashboardModel page(*monitor, icons);
    page.setScope(int(ListScope::all));
    show("DashboardPage.qml", &page, true);
    monitor->setProcesses(many);
    pump(50);
    snapshot(window.get(), QStringLiteral("dashboard-cpu-32-cores"));
    EXPECT_LE(window->height(), 640) << "the rows scroll instead";
    close(); // before its model
}

TEST_F(MonitorViewTest, ChipsBackAndScopeDriveTheModel) {
    DashboardModel page(*monitor, icons);
    QSignalSpy back(&page, &DashboardModel::backRequested);
    show("DashboardPage.qml", &page, false);
    monitor->setProcesses(processes());
    pump(30);
    EXPECT_TRUE(monitor->processRunning());
    click("chipNetwork");
    EXPECT_EQ(page.metric(), int(DashboardMetric::network));
    EXPECT_FALSE(monitor->processRunning());
    click("chipMemory");
    click("scopeAll");
    EXPECT_EQ(page.scope(), int(ListScope::all));
    click("back");
    EXPECT_EQ(back.size(), 1);
    window.reset();
    pump(20);
    EXPECT_FALSE(monitor->processRunning()) << "the page going away stops the process loop";
}

TEST_F(MonitorViewTest, NamesThatLookLikeMarkupAreShownAsTheyAreAndLoadNothing) {
    CountingServer server;
    const QStringList names = markupTexts(server);
    MetricsSnapshot named = reading(3);
    named.disk.volumes.clear();
    named.network.perInterface.clear();
    std::vector<ProcessSample> rows;
    for (int i = 0; i < names.size(); ++i) {
        named.disk.volumes.push_back({names[i], 1ull << 30, 2ull << 30}); // a stick's label
        named.network.perInterface.push_back({names[i], 1e3, 1e3});
        rows.push_back({400 + i, names[i], 5.0 - i, 0.1, 0, false});
    }
    monitor->apply(named);
    for (const DashboardMetric metric : {DashboardMetric::cpu, DashboardMetric::disk, DashboardMetric::network}) {
        DashboardModel page(*monitor, icons);
        page.setMetric(int(metric));
        page.setScope(int(ListScope::all));
        QQuickItem* root = show("DashboardPage.qml", &page, true);
        ASSERT_NE(root, nullptr);
        monitor->setProcesses(rows);
        pump(300);
        for (const QString& name : names) {
            EXPECT_GE(shownLiterally(root, name), 1) << int(metric) << " " << name.toStdString();
        }
        close();
    }
    EXPECT_EQ(server.connections, 0);
}

TEST_F(MonitorViewTest, AHoveredProcessShowsItsPidAndCommandAndEndsOnlyAfterConfirmation) {
    std::vector<ProcessSample> rows;
    for (const std::int32_t pid : {611, 612, 613}) {
        ProcessSample p{pid, QStringLiteral("Xvfb"), 9.0 - pid % 10, 1.0, 0, false};
        p.commandLine = QStringLiteral("Xvfb :%1 -screen 0 1280x800x24 -nolisten tcp").arg(pid);
        rows.push_back(p);
    }
    sim.setOwnPid(613);
    sim.allowEnding(612);
    DashboardModel page(*monitor, icons);
    page.setProcessRunner(sim.platform().processRunner);
    page.setScope(int(ListScope::all));
    QQuickItem* root = show("DashboardPage.qml", &page, true);
    ASSERT_NE(root, nullptr);
    monitor->setProcesses(rows);
    pump(100);
    std::vector<QQuickItem*> found;
    std::function<void(QQuickItem*)> walk = [&](QQuickItem* i) {
        if (i->objectName() == QLatin1String("rowprocess")) {
            found.push_back(i);
        }
        for (QQuickItem* c : i->childItems()) {
            walk(c);
        }
    };
    walk(root);
    ASSERT_EQ(found.size(), 3u);
    const auto hover = [this](QQuickItem* row) {
        QTest::mouseMove(window.get(), row->mapToScene(QPointF(row->width() / 2, 8)).toPoint());
        pump(60);
    };
    const struct {
        int row;
        const char* detail;
        bool endable;
    } cases[] = {
        {0, "PID 611 · Xvfb :611 -screen 0 1280x800x24 -nolisten tcp", true},
        {2, "PID 613 · Xvfb :613 -screen 0 1280x800x24 -nolisten tcp", false}, // Tillory itself
        {1, "PID 612 · Xvfb :612 -screen 0 1280x800x24 -nolisten tcp", true},
    };
    for (const auto& c : cases) {
        hover(found[std::size_t(c.row)]);
        EXPECT_TRUE(shownTexts(found[std::size_t(c.row)]).contains(QString::fromUtf8(c.detail))) << c.detail;
        QQuickItem* end = find(found[std::size_t(c.row)], QStringLiteral("endProcess"));
        ASSERT_NE(end, nullptr);
        EXPECT_EQ(end->isVisible(), c.endable) << c.detail;
    }
    snapshot(window.get(), QStringLiteral("dashboard-process-hover"));
    QQuickItem* end = find(found[1], QStringLiteral("endProcess")); // the hovered row's
    QTest::mouseClick(window.get(), Qt::LeftButton, {},
                      end->mapToScene(QPointF(end->width() / 2, end->height() / 2)).toPoint());
    pump(30);
    EXPECT_TRUE(shownTexts(root).contains(QStringLiteral("End “Xvfb” (PID 612)? Unsaved work in it may be lost.")));
    EXPECT_TRUE(sim.endedProcesses().empty());
    snapshot(window.get(), QStringLiteral("dashboard-process-end"));
    click("confirmEnd");
    EXPECT_EQ(sim.endedProcesses(), std::vector<std::int32_t>{612});
    EXPECT_FALSE(item("endBar")->isVisible());
    close();
}

} // namespace
} // namespace tillory::monitor
