// What the X11 backend tests share: a private Xvfb (and, when asked, openbox with no key bindings) started once
// per test program, a QGuiApplication on it, and event-loop pumping with a deadline instead of sleeps.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace tillory::platform::nix::testing {

class XServer {
public:
    /// Starts Xvfb on a free display and points DISPLAY at it; with `windowManager`, openbox too, configured
    /// to bind no keys so that every chord is free for the program under test, or the window manager `manager`
    /// names, with its own defaults.
    bool start(bool windowManager, const QString& manager = QStringLiteral("openbox")) {
        for (const char* tool : {"Xvfb", "xdotool"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                missing_ = QString::fromLatin1(tool);
                return false;
            }
        }
        xvfb_.setProgram(QStringLiteral("Xvfb"));
        // Without -noreset the server resets each time its last client leaves, and drops a connection that is
        // being made meanwhile: openbox then fails to open the display while a poll's xprop disconnects.
        xvfb_.setArguments({QStringLiteral("-noreset"), QStringLiteral("-displayfd"), QStringLiteral("1"),
                            QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x800x24"),
                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        xvfb_.start();
        if (!xvfb_.waitForReadyRead(30000)) {
            missing_ = QStringLiteral("a working Xvfb");
            return false;
        }
        display_ = QStringLiteral(":") + QString::fromLatin1(xvfb_.readLine().trimmed());
        qputenv("DISPLAY", display_.toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
        if (windowManager && manager == QStringLiteral("openbox")) {
            return startOpenbox();
        }
        return !windowManager || startManager(manager);
    }
    ~XServer() {
        for (QProcess* process : {&openbox_, &xvfb_}) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                process->waitForFinished(5000);
            }
        }
    }
    QString display() const { return display_; }
    QString missing() const { return missing_; }

    /// Runs a command line tool against the server and waits for it.
    static int run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished(60000)) {
            process.kill();
            return -1;
        }
        return process.exitCode();
    }

private:
    bool startManager(const QString& manager) {
        if (QStandardPaths::findExecutable(manager).isEmpty()) {
            missing_ = manager;
            return false;
        }
        openbox_.setProgram(manager);
        openbox_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        openbox_.start();
        QElapsedTimer timer;
        timer.start();
        for (int restarts = 0; timer.elapsed() < 30000;) {
            if (openbox_.state() == QProcess::NotRunning && restarts++ < 3) {
                openbox_.start(); // a manager that gave up at start-up (it says why on standard error)
            }
            QProcess xprop;
            xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
            xprop.waitForFinished(5000);
            if (xprop.readAll().contains("window id")) {
                return true;
            }
            QThread::msleep(50); // polling another process's start-up; not a test timing
        }
        missing_ = QStringLiteral("a working ") + manager;
        return false;
    }

    bool startOpenbox() {
        if (QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty()) {
            missing_ = QStringLiteral("openbox");
            return false;
        }
        const QString rc = config_.filePath(QStringLiteral("rc.xml"));
        QFile file(rc);
        if (!file.open(QIODevice::WriteOnly)) {
            return false;
        }
        file.write("<?xml version=\"1.0\"?>\n<openbox_config xmlns=\"http://openbox.org/3.4/rc\">"
                   "<keyboard></keyboard><mouse></mouse></openbox_config>\n");
        file.close();
        openbox_.setProgram(QStringLiteral("openbox"));
        openbox_.setArguments({QStringLiteral("--sm-disable"), QStringLiteral("--config-file"), rc});
        openbox_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        openbox_.start();
        QElapsedTimer timer;
        timer.start();
        for (int restarts = 0; timer.elapsed() < 30000;) {
            if (openbox_.state() == QProcess::NotRunning && restarts++ < 3) {
                openbox_.start(); // a manager that gave up at start-up (it says why on standard error)
            }
            QProcess xprop;
            // The theme is announced at the end of openbox's start-up, after it has begun managing windows; a
            // window mapped before that can be missed.
            xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_OB_THEME")});
            xprop.waitForFinished(5000);
            if (xprop.readAll().contains("_OB_THEME(")) {
                return true;
            }
            QThread::msleep(50); // polling another process's start-up; not a test timing
        }
        missing_ = QStringLiteral("a working openbox");
        return false;
    }

    QProcess xvfb_;
    QProcess openbox_;
    QTemporaryDir config_;
    QString display_;
    QString missing_;
};

/// Lets the event loop run until `done` holds or `ms` pass; answers `done()`.
template <typename Predicate> bool pumpUntil(Predicate done, int ms = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

inline void pump(int ms) {
    pumpUntil([] { return false; }, ms);
}

/// One X server and one QGuiApplication for the whole test program. Tests call `skipReason()` in SetUp and
/// GTEST_SKIP with it when it is not empty.
class XEnvironment : public ::testing::Environment {
public:
    explicit XEnvironment(bool windowManager) : windowManager_(windowManager) {}
    void SetUp() override {
        server_ = std::make_unique<XServer>();
        if (server_->start(windowManager_)) {
            static int argc = 1;
            static char name[] = "tillory_x11_test";
            static char* argv[] = {name, nullptr};
            app_ = std::make_unique<QGuiApplication>(argc, argv);
        } else {
            reason_ = server_->missing() + QStringLiteral(" is not available");
        }
    }
    void TearDown() override {
        app_.reset();
        server_.reset();
    }
    static QString skipReason() { return instance_ ? instance_->reason_ : QStringLiteral("no X environment"); }
    static XServer* server() { return instance_ ? instance_->server_.get() : nullptr; }

    /// Registers the environment; call once from a namespace-scope initializer.
    static bool install(bool windowManager) {
        instance_ = new XEnvironment(windowManager);
        ::testing::AddGlobalTestEnvironment(instance_);
        return true;
    }

private:
    bool windowManager_;
    std::unique_ptr<XServer> server_;
    std::unique_ptr<QGuiApplication> app_;
    QString reason_;
    static inline XEnvironment* instance_ = nullptr;
};

} // namespace tillory::platform::nix::testing
