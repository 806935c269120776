// The IPC framing and client against a scripted socket standing in for sway: frames cut anywhere, garbage, absurd
// lengths, late and missing replies, and events around a subscription.
#include "platform/wayland/sway_ipc.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <unistd.h>

using namespace tillory::platform::nix;

namespace {

QByteArray le32(quint32 value) {
    const char bytes[] = {char(value & 0xff), char((value >> 8) & 0xff), char((value >> 16) & 0xff),
                          char((value >> 24) & 0xff)};
    return QByteArray(bytes, 4);
}

// Written out here rather than with the encoder under test (x86: little-endian is native).
QByteArray frame(quint32 type, const QByteArray& payload) {
    return "i3-ipc" + le32(quint32(payload.size())) + le32(type) + payload;
}

std::vector<QByteArray> pieces(const QByteArray& bytes, qsizetype size) {
    std::vector<QByteArray> list;
    for (qsizetype i = 0; i < bytes.size(); i += size) {
        list.push_back(bytes.mid(i, size));
    }
    return list;
}

TEST(SwayFrameTest, EncodesMagicLengthAndTypeInNativeOrder) {
    if (Q_BYTE_ORDER != Q_LITTLE_ENDIAN) {
        GTEST_SKIP() << "the expected bytes are little-endian";
    }
    EXPECT_EQ(encodeSwayFrame(4, {}), QByteArray("i3-ipc\0\0\0\0\4\0\0\0", 14));
    EXPECT_EQ(encodeSwayFrame(2, "[\"window\"]"), QByteArray("i3-ipc\12\0\0\0\2\0\0\0[\"window\"]", 24));
}

TEST(SwayFrameTest, DecoderTable) {
    struct Case {
        const char* name;
        std::vector<QByteArray> chunks;
        std::vector<SwayFrame> frames;
        bool broken;
    };
    const QByteArray tree = frame(4, R"({"id":1})");
    const QByteArray event = frame(0x80000003, R"({"change":"focus"})");
    const Case cases[] = {
        {"one whole frame", {tree}, {{4, R"({"id":1})"}}, false},
        {"two frames in one read", {tree + event}, {{4, R"({"id":1})"}, {0x80000003, R"({"change":"focus"})"}}, false},
        {"a frame one byte at a time", pieces(tree, 1), {{4, R"({"id":1})"}}, false},
        {"cut inside the length", {tree.left(8), tree.mid(8)}, {{4, R"({"id":1})"}}, false},
        {"cut between header and payload", {tree.left(14), tree.mid(14)}, {{4, R"({"id":1})"}}, false},
        {"an empty payload", {frame(7, {})}, {{7, {}}}, false},
        {"a half frame waits", {tree.left(17)}, {}, false},
        {"wrong magic", {frame(4, "{}").replace("i3-ipc", "i3-ipC")}, {}, true},
        {"wrong magic from its first byte", {"x"}, {}, true},
        {"garbage after a good frame", {tree + "GET / HTTP/1.1\r\n"}, {{4, R"({"id":1})"}}, true},
        {"a length just over 64 MiB", {"i3-ipc" + le32(0x04000001) + le32(4)}, {}, true},
        {"the largest length", {"i3-ipc" + le32(0xffffffff) + le32(4)}, {}, true},
        {"exactly 64 MiB is awaited", {"i3-ipc" + le32(0x04000000) + le32(4) + "{"}, {}, false},
        {"nothing is read once broken", {"i3-ipX", tree}, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SwayFrameDecoder decoder;
        std::vector<SwayFrame> frames;
        for (const QByteArray& chunk : c.chunks) {
            decoder.feed(chunk);
            while (auto f = decoder.next()) {
                frames.push_back(*f);
            }
        }
        EXPECT_EQ(frames, c.frames);
        EXPECT_EQ(decoder.broken(), c.broken);
    }
}

template <typename Predicate> bool pumpUntil(Predicate done, int ms = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

void ensureApplication() {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "tillory_sway_ipc_test";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv); // lives to the end of the program
    }
}

// A listening socket that plays sway: the test writes what "sway" says on either connection.
class SwayIpcTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        ASSERT_TRUE(dir_.isValid());
        open();
    }
    void open() {
        const QString path = dir_.filePath(QStringLiteral("ipc.sock"));
        QLocalServer::removeServer(path);
        ASSERT_TRUE(server_.listen(path));
        ipc_ = std::make_unique<SwayIpc>(path);
        // The client connects its request socket first, then its event socket.
        for (QLocalSocket** side : {&requests_, &events_}) {
            ASSERT_TRUE(server_.hasPendingConnections() || server_.waitForNewConnection(1000));
            *side = server_.nextPendingConnection();
        }
        ASSERT_TRUE(ipc_->isConnected());
    }
    void reopen() {
        ipc_.reset();
        server_.close();
        open();
    }
    static void say(QLocalSocket* side, const QByteArray& bytes) {
        side->write(bytes);
        ASSERT_TRUE(side->waitForBytesWritten(1000));
    }
    /// What the client sent on a connection so far.
    static QByteArray heard(QLocalSocket* side) {
        side->waitForReadyRead(100);
        return side->readAll();
    }

    QTemporaryDir dir_;
    QLocalServer server_;
    std::unique_ptr<SwayIpc> ipc_;
    QLocalSocket* requests_ = nullptr;
    QLocalSocket* events_ = nullptr;
};

TEST_F(SwayIpcTest, RequestTable) {
    struct Case {
        const char* name;
        QByteArray reply;
        bool answered;
        bool connectedAfter;
    };
    const Case cases[] = {
        {"a reply", frame(4, R"({"id":1})"), true, true},
        {"a reply that is no JSON fails only itself", frame(4, "{\"id\":"), false, true},
        {"wrong magic drops the connection", frame(4, "{}").replace("i3", "I3"), false, false},
        {"an absurd length drops the connection at once", "i3-ipc" + le32(0x7fffffff) + le32(4), false, false},
        {"a reply of another type drops the connection", frame(7, "{}"), false, false},
        {"sway going away", {}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reopen();
        if (c.reply.isEmpty()) {
            requests_->disconnectFromServer();
        } else {
            say(requests_, c.reply);
        }
        QElapsedTimer timer;
        timer.start();
        const auto reply = ipc_->request(4, {}, 2000);
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_EQ(reply.has_value(), c.answered);
        if (reply) {
            EXPECT_EQ(reply->object().value(QLatin1String("id")).toInt(), 1);
        }
        EXPECT_EQ(ipc_->isConnected(), c.connectedAfter);
        if (c.connectedAfter) {
            EXPECT_EQ(heard(requests_), frame(4, {}));
        }
    }
}

TEST_F(SwayIpcTest, ReplyArrivingInPiecesIsWaitedFor) {
    const QByteArray reply = frame(7, R"({"variant":"sway"})");
    const qintptr fd = requests_->socketDescriptor();
    // The client blocks in request(); the pieces come from another thread meanwhile, straight into the socket.
    std::thread writer([fd, reply] {
        for (const QByteArray& piece : pieces(reply, 5)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ASSERT_EQ(::write(int(fd), piece.constData(), std::size_t(piece.size())), piece.size());
        }
    });
    const auto answer = ipc_->request(7);
    writer.join();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->object().value(QLatin1String("variant")).toString(), QStringLiteral("sway"));
}

TEST_F(SwayIpcTest, ReplyOfARequestThatGaveUpIsSkipped) {
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(ipc_->request(4, {}, 100).has_value());
    EXPECT_GE(timer.elapsed(), 100);
    EXPECT_TRUE(ipc_->isConnected());
    say(requests_, frame(4, R"({"late":true})") + frame(4, R"({"fresh":true})"));
    const auto reply = ipc_->request(4);
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(reply->object().value(QLatin1String("fresh")).toBool());
}

TEST_F(SwayIpcTest, EventsAroundASubscription) {
    std::vector<std::pair<quint32, QByteArray>> received;
    QObject::connect(ipc_.get(), &SwayIpc::eventReceived, [&](quint32 type, const QJsonObject& payload) {
        received.emplace_back(type, QJsonDocument(payload).toJson(QJsonDocument::Compact));
    });
    // An event of an earlier subscription can come before the confirmation; it is delivered later, in order.
    say(events_, frame(0x80000000, R"({"change":"reload"})") + frame(2, R"({"success":true})"));
    ASSERT_TRUE(ipc_->subscribe({QStringLiteral("window"), QStringLiteral("window")}));
    EXPECT_EQ(heard(events_), frame(2, R"(["window"])"));
    EXPECT_TRUE(received.empty()) << "delivered inside subscribe()";
    // Already subscribed: nothing is sent.
    EXPECT_TRUE(ipc_->subscribe({QStringLiteral("window")}));
    EXPECT_TRUE(heard(events_).isEmpty());

    const QByteArray split = frame(0x80000007, R"({"first":false,"payload":"x"})");
    say(events_, frame(0x80000003, R"({"change":"focus"})") + frame(0x80000003, "{broken") + frame(0x80000005, "[1]") +
                     frame(2, R"({"success":true})") + split.left(9));
    ASSERT_TRUE(pumpUntil([&] { return received.size() == 2; }));
    say(events_, split.mid(9));
    ASSERT_TRUE(pumpUntil([&] { return received.size() == 3; }));
    const std::vector<std::pair<quint32, QByteArray>> expected{
        {0x80000000, R"({"change":"reload"})"},
        {0x80000003, R"({"change":"focus"})"},
        {0x80000007, R"({"first":false,"payload":"x"})"},
    };
    EXPECT_EQ(received, expected);

    // Garbage ends the events, not the requests.
    say(events_, "HELLO" + frame(0x80000003, R"({"change":"title"})"));
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(received.size(), 3u);
    say(requests_, frame(4, "{}"));
    EXPECT_TRUE(ipc_->request(4).has_value());
    EXPECT_FALSE(ipc_->subscribe({QStringLiteral("binding")}));
}

TEST(SwayIpcUnreachableTest, AnswersNothing) {
    ensureApplication();
    QTemporaryDir dir;
    SwayIpc ipc(dir.filePath(QStringLiteral("nobody-listens.sock")));
    EXPECT_FALSE(ipc.isConnected());
    EXPECT_FALSE(ipc.request(7).has_value());
    EXPECT_TRUE(ipc.runCommand(QStringLiteral("focus left")).empty());
    EXPECT_TRUE(ipc.tree().isEmpty());
    EXPECT_FALSE(ipc.subscribe({QStringLiteral("window")}));
}

} // namespace
