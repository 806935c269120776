// The sway services against a real headless sway (tests/wayland/sway-session.sh): the window list's order and
// activation across workspaces, frames written and read back, the front application and its changes, and windows
// that close under our feet. The client windows are this program itself, started with --windows.
#include "platform/wayland/sway_ipc.h"
#include "platform/wayland/sway_tree.h"
#include "platform/wayland/sway_window_elements.h"
#include "platform/wayland/sway_window_list.h"
#include "platform/wayland/sway_workspace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QPainter>
#include <QProcess>
#include <QRasterWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

using namespace tillory::platform;
using namespace tillory::platform::nix;

namespace {

/// One plain window of a client: a filled rectangle, nothing to focus inside.
/// Reports each paint on stdout ("painted W H"): the buffer is committed right after, in the same call.
class PlainWindow final : public QRasterWindow {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), QColor(40, 90, 160));
        std::printf("painted %d %d\n", width(), height());
        std::fflush(stdout);
    }
};

/// --windows APP_ID TITLE...: one client process showing a window per title, its app_id set.
int runClient(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[2]));
    std::vector<std::unique_ptr<PlainWindow>> windows;
    for (int i = 3; i < argc; ++i) {
        auto window = std::make_unique<PlainWindow>();
        window->setTitle(QString::fromLocal8Bit(argv[i]));
        window->resize(320, 200);
        window->show();
        windows.push_back(std::move(window));
    }
    return QGuiApplication::exec();
}

template <typename Predicate> bool pumpUntil(Predicate done, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

class Client {
public:
    Client(const QString& appId, const QStringList& titles) : titles_(titles) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QCoreApplication::applicationFilePath(),
                       QStringList{QStringLiteral("--windows"), appId} + titles);
    }
    ~Client() { stop(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    std::int32_t pid() const { return static_cast<std::int32_t>(process_.processId()); }
    void stop() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    /// The size the client last painted a window at.
    QSize painted() {
        while (process_.canReadLine()) {
            const QList<QByteArray> words = process_.readLine().trimmed().split(' ');
            if (words.size() == 3 && words[0] == "painted") {
                painted_ = QSize(words[1].toInt(), words[2].toInt());
            }
        }
        return painted_;
    }
    /// The container ids of the client's windows in the order of its titles, once sway shows them all.
    std::vector<std::uint32_t> waitForWindows(SwayIpc& ipc) const {
        std::vector<std::uint32_t> ids;
        pumpUntil([&] {
            ids.clear();
            const auto windows = swayWindows(ipc.tree());
            for (const QString& title : titles_) {
                const auto found = std::find_if(windows.begin(), windows.end(), [&](const SwayWindow& w) {
                    return w.pid == pid() && w.title == title;
                });
                if (found != windows.end()) {
                    ids.push_back(found->id);
                }
            }
            return ids.size() == std::size_t(titles_.size());
        });
        return ids.size() == std::size_t(titles_.size()) ? ids : std::vector<std::uint32_t>{};
    }

private:
    QStringList titles_;
    QProcess process_;
    QSize painted_;
};

std::optional<SwayWindow> windowById(SwayIpc& ipc, std::uint32_t id) {
    const auto windows = swayWindows(ipc.tree());
    const auto found = std::find_if(windows.begin(), windows.end(), [id](const SwayWindow& w) { return w.id == id; });
    return found != windows.end() ? std::optional(*found) : std::nullopt;
}

/// The size sway gives a view's content ("window_rect"), from the raw tree.
QSize contentSize(const QJsonObject& node, std::uint32_t id) {
    if (node.value(QLatin1String("id")).toInteger() == id) {
        const QJsonObject r = node.value(QLatin1String("window_rect")).toObject();
        return {r.value(QLatin1String("width")).toInt(), r.value(QLatin1String("height")).toInt()};
    }
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node.value(QLatin1String(key)).toArray()) {
            if (const QSize size = contentSize(child.toObject(), id); size.isValid()) {
                return size;
            }
        }
    }
    return {};
}

std::uint32_t focusedId(SwayIpc& ipc) {
    const auto windows = swayWindows(ipc.tree());
    const auto found = std::find_if(windows.begin(), windows.end(), [](const SwayWindow& w) { return w.focused; });
    return found != windows.end() ? found->id : 0;
}

// Two applications for the whole program: alpha with one window, beta with two, the second on workspace 2.
class SwayDesktopTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (qEnvironmentVariableIsEmpty("SWAYSOCK")) {
            return;
        }
        ipc_ = new SwayIpc;
        history_ = new SwayFocusHistory(*ipc_);
        alpha_ = new Client(QStringLiteral("tillory-alpha"), {QStringLiteral("Alpha")});
        beta_ = new Client(QStringLiteral("tillory-beta"), {QStringLiteral("Beta one"), QStringLiteral("Beta two")});
        const auto alphaIds = alpha_->waitForWindows(*ipc_);
        const auto betaIds = beta_->waitForWindows(*ipc_);
        if (alphaIds.size() == 1 && betaIds.size() == 2) {
            alphaId_ = alphaIds[0];
            beta1_ = betaIds[0];
            beta2_ = betaIds[1];
            ready_ = ipc_->runCommands(QStringLiteral("[con_id=%1] move container to workspace 2").arg(beta2_)) &&
                     ipc_->subscribe({QStringLiteral("tick")});
        }
    }
    static void TearDownTestSuite() {
        delete beta_;
        delete alpha_;
        delete history_;
        delete ipc_;
    }
    void SetUp() override {
        if (!ipc_) {
            GTEST_SKIP() << "not inside sway (run through tests/wayland/sway-session.sh)";
        }
        ASSERT_TRUE(ipc_->isConnected());
        ASSERT_TRUE(ready_) << "the client windows did not come up";
    }

    /// Returns once every event sway sent so far has been delivered: a tick sent now comes after them all.
    static void sync() {
        static int count = 0;
        const QByteArray mark = "sync-" + QByteArray::number(++count);
        bool seen = false;
        QObject context;
        QObject::connect(ipc_, &SwayIpc::eventReceived, &context, [&](quint32 type, const QJsonObject& payload) {
            seen = seen || (type == SwayEvent::Tick && payload.value(QLatin1String("payload")).toString() == mark);
        });
        ASSERT_TRUE(ipc_->request(SwayMessage::SendTick, mark).has_value());
        ASSERT_TRUE(pumpUntil([&] { return seen; }));
    }

    /// The element of a window, as the accessibility side hands it out.
    static Element element(SwayWindowElements& elements, std::int32_t pid, std::uint32_t id) {
        const Element app = elements.application(pid);
        const AXValue windows = app ? elements.attribute(app, AXAttribute::Windows) : AXValue{};
        const auto* list = std::get_if<std::vector<Element>>(&windows);
        for (const Element& e : list ? *list : std::vector<Element>{}) {
            if (elements.windowNumber(e) == id) {
                return e;
            }
        }
        return nullptr;
    }
    static std::optional<Rect> readFrame(SwayWindowElements& elements, const Element& e) {
        const AXValue position = elements.attribute(e, AXAttribute::Position);
        const AXValue size = elements.attribute(e, AXAttribute::Size);
        const auto* p = std::get_if<Point>(&position);
        const auto* s = std::get_if<Size>(&size);
        return p && s ? std::optional(Rect{p->x, p->y, s->width, s->height}) : std::nullopt;
    }

    static inline SwayIpc* ipc_ = nullptr;
    static inline SwayFocusHistory* history_ = nullptr;
    static inline Client* alpha_ = nullptr;
    static inline Client* beta_ = nullptr;
    static inline std::uint32_t alphaId_ = 0, beta1_ = 0, beta2_ = 0;
    static inline bool ready_ = false;
};

TEST_F(SwayDesktopTest, ListFollowsFocusAcrossWorkspaces) {
    SwayWindowList list(*ipc_, *history_, 0);
    ASSERT_TRUE(list.activateWindow(beta1_));
    std::vector<std::uint32_t> reported;
    auto subscription = list.observeActiveWindow([&](std::uint32_t w) { reported.push_back(w); });

    for (const std::uint32_t id : {alphaId_, beta2_, beta1_}) {
        ASSERT_TRUE(list.activateWindow(id));
        EXPECT_EQ(focusedId(*ipc_), id);
        EXPECT_TRUE(windowById(*ipc_, id)->visible) << "activation switches to the window's workspace";
        sync();
    }
    // Focus events from before the subscription were still queued; they report nothing.
    EXPECT_EQ(reported, (std::vector<std::uint32_t>{alphaId_, beta2_, beta1_}));

    struct Case {
        const char* name;
        std::int32_t ownPid;
        unsigned options;
        std::vector<std::uint32_t> expected;
        std::vector<bool> onscreen;
    };
    // By the tree alone beta two (workspace 2) would come last: its workspace was left before alpha's focus.
    const Case cases[] = {
        {"all, most recent first", 0, 0, {beta1_, beta2_, alphaId_}, {true, false, true}},
        {"on screen only", 0, unsigned(WindowListOption::OnScreenOnly), {beta1_, alphaId_}, {true, true}},
        {"without the own process", alpha_->pid(), 0, {beta1_, beta2_}, {true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SwayWindowList filtered(*ipc_, *history_, c.ownPid);
        std::vector<std::uint32_t> order;
        std::vector<bool> onscreen;
        for (const WindowInfo& info : filtered.windows(c.options)) {
            order.push_back(info.number);
            onscreen.push_back(info.isOnscreen);
            EXPECT_EQ(info.ownerName, info.ownerPid == alpha_->pid() ? QStringLiteral("tillory-alpha")
                                                                     : QStringLiteral("tillory-beta"));
            EXPECT_GT(info.bounds.width, 0);
        }
        EXPECT_EQ(order, c.expected);
        EXPECT_EQ(onscreen, c.onscreen);
    }
    EXPECT_FALSE(list.activateWindow(0));
    EXPECT_FALSE(list.activateWindow(987654));
}

TEST_F(SwayDesktopTest, WrittenFrameReadsBackExactly) {
    SwayWindowElements elements(*ipc_, *history_);
    const Element window = element(elements, alpha_->pid(), alphaId_);
    ASSERT_TRUE(window);
    enum Write { WriteFrame, WritePosition, WriteSize };
    struct Case {
        const char* name;
        const char* setup; // sway commands on the window before the write
        Write write;
        Rect value;    // what is written of it: the origin for a position, the size for a size
        Rect expected; // a NaN field: kept from before the write
    };
    const double keep = std::nan("");
    const Case cases[] = {
        // Each case starts from where the one before left the window.
        {"tiled, title bar", "floating disable, border normal", WriteFrame, {100, 60, 500, 300}, {100, 60, 500, 300}},
        {"thick border", "floating enable, border pixel 6", WriteFrame, {250, 120, 420, 260}, {250, 120, 420, 260}},
        {"fractions round", "border none", WriteFrame, {10.4, 20.6, 300.5, 200.2}, {10, 21, 301, 200}},
        {"full screen is left", "border normal, fullscreen enable", WriteFrame, {40, 30, 400, 250}, {40, 30, 400, 250}},
        {"position keeps the size", "floating disable", WritePosition, {300, 200, 0, 0}, {300, 200, keep, keep}},
        {"size keeps the position", "move absolute position 120 80", WriteSize, {0, 0, 350, 220}, {120, 80, 350, 220}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(ipc_->runCommands(QStringLiteral("[con_id=%1] ").arg(alphaId_) + QLatin1String(c.setup)));
        // sway 1.7 takes any new size a floating window commits as its own: a late answer to the setup would
        // undo the write. Wait until the client has painted at the size it was given.
        ASSERT_TRUE(pumpUntil([&] { return alpha_->painted() == contentSize(ipc_->tree(), alphaId_); }));
        const auto before = readFrame(elements, window);
        ASSERT_TRUE(before.has_value());
        const AXValue value = c.write == WriteFrame      ? AXValue{c.value}
                              : c.write == WritePosition ? AXValue{c.value.origin()}
                                                         : AXValue{c.value.size()};
        const QString attribute = c.write == WriteFrame      ? AXAttribute::Frame
                                  : c.write == WritePosition ? AXAttribute::Position
                                                             : AXAttribute::Size;
        ASSERT_TRUE(elements.setAttribute(window, attribute, value));
        const Rect expected{std::isnan(c.expected.x) ? before->x : c.expected.x,
                            std::isnan(c.expected.y) ? before->y : c.expected.y,
                            std::isnan(c.expected.width) ? before->width : c.expected.width,
                            std::isnan(c.expected.height) ? before->height : c.expected.height};
        EXPECT_EQ(readFrame(elements, window), expected);
        EXPECT_TRUE(windowById(*ipc_, alphaId_)->floating);
    }
    EXPECT_FALSE(elements.setAttribute(window, AXAttribute::Frame, Rect{0, 0, std::nan(""), 10}));
    EXPECT_FALSE(elements.setAttribute(window, AXAttribute::Title, QStringLiteral("x")));
    EXPECT_FALSE(elements.setAttribute(window, AXAttribute::Position, Size{1, 1}));
    ASSERT_TRUE(ipc_->runCommands(QStringLiteral("[con_id=%1] floating disable, border none").arg(alphaId_)));
}

TEST_F(SwayDesktopTest, FrontApplicationAndActivations) {
    SwayWindowElements elements(*ipc_, *history_);
    SwayWorkspace workspace(*ipc_);
    workspace.setActivator([&](std::int32_t pid) { return elements.activateApplication(pid); });
    ASSERT_TRUE(elements.performAction(element(elements, beta_->pid(), beta1_), kAXRaiseAction));
    const auto front = workspace.frontApplication();
    ASSERT_TRUE(front.has_value());
    EXPECT_EQ(*front, (AppInfo{beta_->pid(), QStringLiteral("tillory-beta"), QStringLiteral("tillory-beta")}));

    std::vector<std::int32_t> activations;
    auto subscription = workspace.observeActivations([&](const AppInfo& app) { activations.push_back(app.pid); });
    struct Step {
        const char* name;
        std::function<bool()> act;
        std::uint32_t focused;
    };
    const Step steps[] = {
        {"alpha by pid", [&] { return workspace.activate(alpha_->pid()); }, alphaId_},
        {"beta's window on workspace 2",
         [&] { return elements.performAction(element(elements, beta_->pid(), beta2_), kAXRaiseAction); }, beta2_},
        {"beta's other window: no switch of application",
         [&] { return elements.performAction(element(elements, beta_->pid(), beta1_), kAXRaiseAction); }, beta1_},
        {"alpha again", [&] { return workspace.activate(alpha_->pid()); }, alphaId_},
        {"beta by pid brings the window last raised", [&] { return workspace.activate(beta_->pid()); }, beta1_},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        ASSERT_TRUE(step.act());
        EXPECT_EQ(focusedId(*ipc_), step.focused);
        sync();
    }
    EXPECT_EQ(activations, (std::vector<std::int32_t>{alpha_->pid(), beta_->pid(), alpha_->pid(), beta_->pid()}));

    const auto running = workspace.runningApplications();
    for (const std::int32_t pid : {alpha_->pid(), beta_->pid()}) {
        EXPECT_EQ(std::count_if(running.begin(), running.end(), [pid](const AppInfo& a) { return a.pid == pid; }), 1);
    }
    // Without an activator: sway's own pid criteria.
    SwayWorkspace plain(*ipc_);
    EXPECT_TRUE(plain.activate(alpha_->pid()));
    EXPECT_EQ(focusedId(*ipc_), alphaId_);
    EXPECT_FALSE(plain.activate(0));
    EXPECT_FALSE(plain.activate(999999));
    EXPECT_FALSE(workspace.activate(999999));
}

TEST_F(SwayDesktopTest, WindowClosingUnderOperations) {
    SwayWindowElements elements(*ipc_, *history_);
    SwayWindowList list(*ipc_, *history_, 0);
    Client gamma(QStringLiteral("tillory-gamma"), {QStringLiteral("Gamma")});
    const auto ids = gamma.waitForWindows(*ipc_);
    ASSERT_EQ(ids.size(), 1u);
    const Element window = element(elements, gamma.pid(), ids[0]);
    ASSERT_TRUE(window);
    const std::int32_t pid = gamma.pid();

    gamma.stop();
    // Whatever sway still knows at this moment, nothing may break.
    elements.setAttribute(window, AXAttribute::Frame, Rect{10, 10, 300, 200});
    elements.performAction(window, kAXRaiseAction);
    ASSERT_TRUE(pumpUntil([&] { return !windowById(*ipc_, ids[0]); }));

    EXPECT_FALSE(elements.setAttribute(window, AXAttribute::Frame, Rect{10, 10, 300, 200}));
    EXPECT_FALSE(elements.setAttribute(window, AXAttribute::Minimized, true));
    EXPECT_FALSE(elements.performAction(window, kAXRaiseAction));
    EXPECT_EQ(elements.attribute(window, AXAttribute::Position), AXValue{});
    EXPECT_EQ(elements.attribute(window, AXAttribute::Title), AXValue{});
    EXPECT_EQ(elements.windowNumber(window), ids[0]);
    EXPECT_FALSE(elements.application(pid));
    EXPECT_FALSE(elements.activateApplication(pid));
    EXPECT_FALSE(list.activateWindow(ids[0]));
    // The command itself finds no container.
    EXPECT_EQ(ipc_->runCommand(QStringLiteral("[con_id=%1] floating enable, resize set 300 200").arg(ids[0])),
              (std::vector<bool>{false, false}));
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--windows") == 0) {
        return runClient(argc, argv);
    }
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
