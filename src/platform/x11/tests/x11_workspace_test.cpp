// The X11 workspace against Xvfb, openbox and real Qt clients (tillory_text_client): which application is in
// front, which run, when activations are reported, and what happens without a window manager or any server.
#include "platform/x11/x11_workspace.h"

#include "platform/x11/tests/x_test_env.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

using namespace tillory::platform;
using tillory::platform::nix::X11Workspace;
using tillory::platform::nix::testing::pumpUntil;
using tillory::platform::nix::testing::XEnvironment;
using tillory::platform::nix::testing::XServer;

namespace {

const bool kEnvironmentInstalled = XEnvironment::install(true);

/// Runs an X tool against `display` (the current DISPLAY when empty) and answers its exit code.
int runOn(const QString& display, const QString& program, const QStringList& arguments) {
    QProcess process;
    if (!display.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        process.setProcessEnvironment(env);
    }
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool activate(const QString& window, const QString& display = {}) {
    return runOn(display, QStringLiteral("xdotool"),
                 {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window}) == 0;
}

/// One tillory_text_client process; killed when this goes.
class TextClient {
public:
    /// Starts the client on the current DISPLAY and waits for its window to be shown and focused.
    bool start(const QString& wmClass, const QStringList& extra = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!env.contains(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"))) {
            // Keeps libdbus from autolaunching a session bus that would outlive the test.
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
        }
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(TILLORY_TEXT_CLIENT), QStringList{QStringLiteral("--class"), wmClass} + extra);
        wmClass_ = wmClass;
        return pumpUntil([this] { return readLines(); }, 15000);
    }
    ~TextClient() {
        process_.kill();
        process_.waitForFinished();
    }
    TextClient() = default;
    TextClient(const TextClient&) = delete;
    TextClient& operator=(const TextClient&) = delete;

    std::int32_t pid() const { return static_cast<std::int32_t>(process_.processId()); }
    QString wmClass() const { return wmClass_; }
    QString window() const { return window_; }
    QString secondWindow() const { return secondWindow_; }

private:
    bool readLines() {
        while (process_.canReadLine()) {
            const QList<QByteArray> words = process_.readLine().trimmed().split(' ');
            if (words.value(0) == "ready") {
                window_ = QString::fromLatin1(words.value(1));
            } else if (words.value(0) == "window") {
                secondWindow_ = QString::fromLatin1(words.value(1));
            }
        }
        return !window_.isEmpty();
    }

    QProcess process_;
    QString wmClass_;
    QString window_;
    QString secondWindow_;
};

std::vector<std::int32_t> pids(const std::vector<AppInfo>& apps) {
    std::vector<std::int32_t> list;
    list.reserve(apps.size());
    for (const AppInfo& app : apps) {
        list.push_back(app.pid);
    }
    return list;
}

/// Restores DISPLAY when a test pointed it elsewhere.
class DisplayGuard {
public:
    DisplayGuard() : saved_(qgetenv("DISPLAY")) {}
    ~DisplayGuard() { qputenv("DISPLAY", saved_); }
    DisplayGuard(const DisplayGuard&) = delete;
    DisplayGuard& operator=(const DisplayGuard&) = delete;

private:
    QByteArray saved_;
};

// Two applications for the whole suite; alpha has a second window, to tell windows from applications.
class X11WorkspaceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!XEnvironment::skipReason().isEmpty()) {
            return;
        }
        alpha_ = new TextClient;
        beta_ = new TextClient;
        started_ = alpha_->start(QStringLiteral("tillory-alpha"), {QStringLiteral("--second-window")}) &&
                   beta_->start(QStringLiteral("tillory-beta"));
    }
    static void TearDownTestSuite() {
        delete beta_;
        delete alpha_;
        beta_ = alpha_ = nullptr;
    }
    void SetUp() override {
        if (!XEnvironment::skipReason().isEmpty()) {
            GTEST_SKIP() << XEnvironment::skipReason().toStdString();
        }
        ASSERT_TRUE(started_) << "the text clients did not come up";
        ASSERT_FALSE(alpha_->secondWindow().isEmpty());
    }

    /// Waits for `client` to be reported in front: the window manager passes through "no active window" while it
    /// moves the focus, so the first answer after an activation may still be that moment.
    static void expectFront(X11Workspace& workspace, const TextClient& client) {
        std::optional<AppInfo> front;
        pumpUntil([&] {
            front = workspace.frontApplication();
            return front && front->pid == client.pid();
        });
        ASSERT_TRUE(front.has_value());
        EXPECT_EQ(front->pid, client.pid());
        EXPECT_EQ(front->bundleId, client.wmClass());
        EXPECT_EQ(front->name, client.wmClass());
    }

    static inline TextClient* alpha_ = nullptr;
    static inline TextClient* beta_ = nullptr;
    static inline bool started_ = false;
};

TEST_F(X11WorkspaceTest, FrontApplicationFollowsEachActivation) {
    X11Workspace workspace;
    for (const TextClient* client : {alpha_, beta_, alpha_}) {
        ASSERT_TRUE(activate(client->window()));
        expectFront(workspace, *client);
    }
}

TEST_F(X11WorkspaceTest, FrontApplicationIsKnownWithoutWaitingForEvents) {
    ASSERT_TRUE(activate(beta_->window()));
    // Each workspace is asked at once, before any event could reach it.
    std::optional<AppInfo> front;
    pumpUntil([&] {
        X11Workspace workspace;
        front = workspace.frontApplication();
        return front && front->pid == beta_->pid();
    });
    ASSERT_TRUE(front.has_value());
    EXPECT_EQ(front->pid, beta_->pid());
    EXPECT_EQ(front->bundleId, beta_->wmClass());
}

TEST_F(X11WorkspaceTest, ActivationsFireOncePerSwitchBetweenApplications) {
    X11Workspace workspace;
    // A client's own late activation request may still take the focus back after xdotool saw alpha active, so
    // the starting point is what the workspace itself sees, asked again until it holds.
    ASSERT_TRUE(pumpUntil(
        [&] {
            const auto front = workspace.frontApplication();
            if (front && front->pid == alpha_->pid()) {
                return true;
            }
            activate(alpha_->window());
            return false;
        },
        15000));
    std::vector<AppInfo> first;
    std::vector<AppInfo> second;
    auto firstSubscription = workspace.observeActivations([&](const AppInfo& app) { first.push_back(app); });
    auto secondSubscription = workspace.observeActivations([&](const AppInfo& app) { second.push_back(app); });

    ASSERT_TRUE(activate(beta_->window()));
    // A loaded machine (the other X tests run beside this one) may take seconds to deliver the change.
    ASSERT_TRUE(pumpUntil([&] { return first.size() == 1 && second.size() == 1; }, 15000))
        << first.size() << " and " << second.size() << " reports; in front now: pid "
        << (workspace.frontApplication() ? workspace.frontApplication()->pid : 0) << ", alpha " << alpha_->pid()
        << ", beta " << beta_->pid();
    EXPECT_EQ(first.front().bundleId, beta_->wmClass());
    EXPECT_EQ(first, second);

    // Moving between alpha's two windows is no switch; the next report must be beta, not a repeat of alpha.
    ASSERT_TRUE(activate(alpha_->secondWindow()));
    ASSERT_TRUE(pumpUntil([&] { return first.size() == 2; }));
    ASSERT_TRUE(activate(alpha_->window()));
    EXPECT_FALSE(pumpUntil([&] { return first.size() > 2; }, 300));
    ASSERT_TRUE(activate(beta_->window()));
    ASSERT_TRUE(pumpUntil([&] { return first.size() >= 3; }));
    EXPECT_EQ(pids(first), (std::vector{beta_->pid(), alpha_->pid(), beta_->pid()}));

    secondSubscription.reset();
    ASSERT_TRUE(activate(alpha_->window()));
    ASSERT_TRUE(pumpUntil([&] { return first.size() == 4; }));
    EXPECT_EQ(second.size(), 3U);
}

TEST_F(X11WorkspaceTest, RunningApplicationsListEachClientOnceInMappingOrder) {
    X11Workspace workspace;
    const auto apps = workspace.runningApplications();
    const auto list = pids(apps);
    EXPECT_EQ(std::count(list.begin(), list.end(), alpha_->pid()), 1) << "alpha has two windows but is one app";
    const auto alpha = std::find(list.begin(), list.end(), alpha_->pid());
    const auto beta = std::find(list.begin(), list.end(), beta_->pid());
    ASSERT_NE(beta, list.end());
    EXPECT_LT(alpha, beta) << "alpha was mapped first";
    EXPECT_EQ(apps[static_cast<std::size_t>(beta - list.begin())].bundleId, beta_->wmClass());
}

TEST_F(X11WorkspaceTest, ApplicationIdPropertiesOutrankTheWindowClass) {
    TextClient files;
    ASSERT_TRUE(files.start(QStringLiteral("tillory-files"), {QStringLiteral("--mode"), QStringLiteral("list")}));
    ASSERT_TRUE(activate(files.window()));
    X11Workspace workspace;
    const auto bundleIdIs = [&](const QString& expected) {
        return pumpUntil([&] {
            const auto front = workspace.frontApplication();
            return front && front->bundleId == expected;
        });
    };
    ASSERT_TRUE(bundleIdIs(QStringLiteral("tillory-files")));

    const auto set = [&](const char* property, const char* value) {
        return runOn({}, QStringLiteral("xprop"),
                     {QStringLiteral("-id"), files.window(), QStringLiteral("-f"), QString::fromLatin1(property),
                      QStringLiteral("8u"), QStringLiteral("-set"), QString::fromLatin1(property),
                      QString::fromLatin1(value)}) == 0;
    };
    // Set while the window is in front: the cached answer has to notice.
    ASSERT_TRUE(set("_KDE_NET_WM_DESKTOP_FILE", "org.example.Desktop"));
    EXPECT_TRUE(bundleIdIs(QStringLiteral("org.example.Desktop")));
    ASSERT_TRUE(set("_GTK_APPLICATION_ID", "org.example.Files"));
    EXPECT_TRUE(bundleIdIs(QStringLiteral("org.example.Files")));
    EXPECT_EQ(workspace.frontApplication()->name, QStringLiteral("tillory-files"));

    const auto apps = workspace.runningApplications();
    const auto entry =
        std::find_if(apps.begin(), apps.end(), [&](const AppInfo& app) { return app.pid == files.pid(); });
    ASSERT_NE(entry, apps.end());
    EXPECT_EQ(entry->bundleId, QStringLiteral("org.example.Files"));
}

TEST(X11WorkspaceWithoutServer, AnswersNothingAndSubscriptionsStayQuiet) {
    std::unique_ptr<X11Workspace> workspace;
    {
        const DisplayGuard guard;
        qunsetenv("DISPLAY");
        workspace = std::make_unique<X11Workspace>();
    }
    EXPECT_FALSE(workspace->frontApplication().has_value());
    EXPECT_TRUE(workspace->runningApplications().empty());
    int calls = 0;
    auto subscription = workspace->observeActivations([&](const AppInfo&) { ++calls; });
    EXPECT_NE(subscription, nullptr);
    workspace.reset();
    subscription.reset(); // outliving the workspace must be harmless
    EXPECT_EQ(calls, 0);
}

TEST(X11WorkspaceWithoutWindowManager, FrontApplicationFollowsTheInputFocus) {
    if (!XEnvironment::skipReason().isEmpty()) {
        GTEST_SKIP() << XEnvironment::skipReason().toStdString();
    }
    const DisplayGuard guard;
    XServer bare; // points DISPLAY at itself until the guard puts it back
    ASSERT_TRUE(bare.start(false)) << bare.missing().toStdString();
    TextClient gamma;
    ASSERT_TRUE(gamma.start(QStringLiteral("tillory-gamma")));
    X11Workspace workspace;
    const auto front = workspace.frontApplication();
    ASSERT_TRUE(front.has_value());
    EXPECT_EQ(front->pid, gamma.pid());
    EXPECT_EQ(front->bundleId, QStringLiteral("tillory-gamma"));
    EXPECT_TRUE(workspace.runningApplications().empty()) << "no window manager keeps a client list";

    std::vector<AppInfo> seen;
    const auto subscription = workspace.observeActivations([&](const AppInfo& app) { seen.push_back(app); });
    TextClient delta; // takes the focus when it shows
    ASSERT_TRUE(delta.start(QStringLiteral("tillory-delta")));
    ASSERT_TRUE(pumpUntil([&] { return seen.size() == 1; }));
    ASSERT_EQ(runOn(bare.display(), QStringLiteral("xdotool"),
                    {QStringLiteral("windowfocus"), QStringLiteral("--sync"), gamma.window()}),
              0);
    ASSERT_TRUE(pumpUntil([&] { return seen.size() == 2; }));
    EXPECT_EQ(pids(seen), (std::vector{delta.pid(), gamma.pid()}));
    EXPECT_EQ(workspace.frontApplication()->pid, gamma.pid());
}

} // namespace
