// The Qt pasteboard against a real X server (Xvfb) and real clipboard clients (xclip): what other programs put on
// the CLIPBOARD selection reads back, what we write other programs can read, and the change count moves once per
// new owner.
#include "platform/x11/qt_pasteboard.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

using namespace tillory::platform;

namespace {

class XServer {
public:
    bool start() {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty()) {
            return false;
        }
        xvfb_.setProgram(QStringLiteral("Xvfb"));
        xvfb_.setArguments({QStringLiteral("-noreset"), QStringLiteral("-displayfd"), QStringLiteral("1"),
                            QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("640x480x24"),
                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        xvfb_.start();
        if (!xvfb_.waitForReadyRead(10000)) {
            return false;
        }
        display_ = QStringLiteral(":") + QString::fromLatin1(xvfb_.readLine().trimmed());
        qputenv("DISPLAY", display_.toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
        return true;
    }
    ~XServer() {
        xvfb_.terminate();
        xvfb_.waitForFinished(5000);
    }

private:
    QProcess xvfb_;
    QString display_;
};

XServer* server = nullptr;
QGuiApplication* app = nullptr;
bool haveServer = false;

class Environment : public ::testing::Environment {
public:
    void SetUp() override {
        server = new XServer;
        haveServer = server->start();
        if (haveServer) {
            static int argc = 1;
            static char name[] = "qt_pasteboard_test";
            static char* argv[] = {name, nullptr};
            app = new QGuiApplication(argc, argv);
        }
    }
    void TearDown() override {
        delete app;
        delete server;
    }
};

const auto* registered = ::testing::AddGlobalTestEnvironment(new Environment);

// Lets the event loop deliver clipboard notices until `done` holds or five seconds pass.
template <typename Predicate> bool pumpUntil(Predicate done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

void pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

class QtPasteboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveServer) {
            GTEST_SKIP() << "Xvfb or xclip is not installed";
        }
        pasteboard_ = std::make_unique<nix::QtPasteboard>(QGuiApplication::clipboard());
    }
    void TearDown() override {
        for (auto& process : owners_) {
            process->kill();
            process->waitForFinished(2000);
        }
    }

    // Another program takes the clipboard with one target; xclip stays as owner until replaced or killed.
    void xclipCopy(const QByteArray& data, const QString& target = {}) {
        auto process = std::make_unique<QProcess>();
        QStringList args{QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard")};
        if (!target.isEmpty()) {
            args << QStringLiteral("-t") << target;
        }
        const auto before = pasteboard_->changeCount();
        process->start(QStringLiteral("xclip"), args);
        ASSERT_TRUE(process->waitForStarted());
        process->write(data);
        process->closeWriteChannel();
        // A notice of the previous owner leaving may still be on its way; wait for xclip's own target.
        const QString type =
            nix::QtPasteboard::typeForFormat(target.isEmpty() ? QStringLiteral("UTF8_STRING") : target);
        ASSERT_TRUE(pumpUntil([&] {
            return pasteboard_->changeCount() != before && pasteboard_->types().contains(type);
        })) << "xclip never became the owner";
        owners_.push_back(std::move(process));
    }

    QByteArray xclipRead(const QString& target) {
        QProcess process;
        process.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"),
                                                QStringLiteral("clipboard"), QStringLiteral("-t"), target});
        // We own the selection, so our own event loop must answer while xclip waits.
        pumpUntil([&] { return process.state() == QProcess::NotRunning; });
        return process.readAllStandardOutput();
    }

    std::unique_ptr<nix::QtPasteboard> pasteboard_;
    std::vector<std::unique_ptr<QProcess>> owners_;
};

TEST_F(QtPasteboardTest, TextCopiedByAnotherProgramReadsBack) {
    // Copies are announced, after the count has moved, and no longer once the subscription ends.
    std::vector<std::int64_t> announced;
    auto changes = pasteboard_->observeChanges([&] { announced.push_back(pasteboard_->changeCount()); });
    ASSERT_TRUE(changes);
    xclipCopy("first");
    ASSERT_TRUE(pumpUntil([&] { return !announced.empty(); }));
    EXPECT_EQ(announced.back(), pasteboard_->changeCount());
    changes.reset();
    const std::size_t heard = announced.size();
    xclipCopy("héllo wörld");
    pump(100);
    EXPECT_EQ(announced.size(), heard);
    EXPECT_TRUE(pasteboard_->types().contains(PasteboardType::String));
    EXPECT_EQ(pasteboard_->string(), QStringLiteral("héllo wörld"));
    EXPECT_FALSE(pasteboard_->data(PasteboardType::RTF).has_value()) << "only listed targets are asked for";
}

TEST_F(QtPasteboardTest, InvalidUtf8IsReplacedNotDropped) {
    xclipCopy(QByteArray("ok \xff\xfe end", 10));
    const auto text = pasteboard_->string();
    ASSERT_TRUE(text.has_value());
    EXPECT_TRUE(text->startsWith(QStringLiteral("ok ")));
    EXPECT_TRUE(text->endsWith(QStringLiteral(" end")));
    EXPECT_TRUE(text->contains(QChar(0xFFFD)));
}

TEST_F(QtPasteboardTest, PasswordManagerMarkCountsAsConcealed) {
    xclipCopy("secret", QStringLiteral("x-kde-passwordManagerHint"));
    EXPECT_TRUE(pasteboard_->types().contains(PasteboardType::Concealed));
    EXPECT_FALSE(pasteboard_->string().has_value()) << "xclip answers any target; only listed ones are read";
}

TEST_F(QtPasteboardTest, OurWriteMovesTheCountOnceAndOthersReadBoth) {
    xclipCopy("before");
    const auto before = pasteboard_->changeCount();
    const QByteArray rtf = R"({\rtf1 {\b bold}})";
    const auto after = pasteboard_->write(QStringLiteral("written by us"), rtf);
    EXPECT_GT(after, before); // notices still queued from the previous owner may be counted on the way

    pump(300); // any late notice of our own ownership would arrive now
    EXPECT_EQ(pasteboard_->changeCount(), after) << "our own write must not look like a second copy";
    EXPECT_EQ(pasteboard_->string(), QStringLiteral("written by us"));
    EXPECT_EQ(pasteboard_->data(PasteboardType::RTF), rtf);
    EXPECT_EQ(xclipRead(QStringLiteral("UTF8_STRING")), QByteArray("written by us"));
    EXPECT_EQ(xclipRead(QStringLiteral("text/rtf")), rtf);
}

TEST_F(QtPasteboardTest, OwnerExitingLeavesAnEmptyClipboardAndAChange) {
    xclipCopy("short-lived");
    const auto before = pasteboard_->changeCount();
    owners_.back()->kill();
    ASSERT_TRUE(pumpUntil([&] { return pasteboard_->changeCount() != before; }));
    EXPECT_FALSE(pasteboard_->string().has_value());
}

} // namespace
