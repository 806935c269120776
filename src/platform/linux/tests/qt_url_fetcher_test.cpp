#include "platform/linux/qt_url_fetcher.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sys/stat.h>

namespace tillory::platform::nix {
namespace {

class QtUrlFetcherTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char arg0[] = "fetcher_test";
        static char* argv[] = {arg0, nullptr};
        if (!QCoreApplication::instance()) {
            new QCoreApplication(argc, argv);
        }
    }
    /// Serves `response` (raw HTTP) to every request; an empty one never answers.
    QUrl serve(const QByteArray& response, const QString& path = QStringLiteral("/a")) {
        server_ = std::make_unique<QTcpServer>();
        EXPECT_TRUE(server_->listen(QHostAddress::LocalHost));
        QObject::connect(server_.get(), &QTcpServer::newConnection, server_.get(), [this, response] {
            QTcpSocket* socket = server_->nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, response] {
                socket->readAll();
                if (!response.isEmpty()) {
                    socket->write(response);
                    socket->disconnectFromHost();
                }
            });
        });
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_->serverPort()).arg(path));
    }
    std::optional<QByteArray> fetch(const QUrl& url, qint64 maxBytes, double timeout = 10) {
        std::optional<std::optional<QByteArray>> slot;
        fetcher_.fetch(url, maxBytes, timeout, [&slot](std::optional<QByteArray> body) { slot = std::move(body); });
        EXPECT_FALSE(slot) << "answered from inside the call";
        const QDeadlineTimer limit(30000); // only a lost reply gets here
        while (!slot && !limit.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        }
        EXPECT_TRUE(slot) << "no reply";
        return slot.value_or(std::nullopt);
    }

    std::unique_ptr<QTcpServer> server_;
    QtUrlFetcher fetcher_;
};

QByteArray http(const char* status, const QByteArray& body) {
    return QByteArray("HTTP/1.1 ") + status + "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

TEST_F(QtUrlFetcherTest, FilesAreReadWithinTheCap) {
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("f")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(100, 'x'));
    file.close();
    const QUrl url = QUrl::fromLocalFile(file.fileName());
    EXPECT_EQ(fetch(url, 100), QByteArray(100, 'x'));
    EXPECT_EQ(fetch(url, 99), std::nullopt);
    EXPECT_EQ(fetch(QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing"))), 100), std::nullopt);
    EXPECT_EQ(fetch(QUrl(QStringLiteral("ftp://127.0.0.1/f")), 100), std::nullopt);
    // A FIFO (or any file that is not a regular one) is never read: it would wait for a writer for good.
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("fifo")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    EXPECT_EQ(fetch(QUrl::fromLocalFile(QFile::decodeName(fifo)), 100), std::nullopt);
    EXPECT_EQ(fetch(QUrl::fromLocalFile(dir.path()), 100), std::nullopt);
}

TEST_F(QtUrlFetcherTest, DownloadsOnlyCompleteSuccessfulAnswersWithinTheCap) {
    const struct {
        QByteArray response;
        qint64 maxBytes;
        std::optional<QByteArray> body;
    } cases[] = {
        {http("200 OK", "hello"), 5, QByteArray("hello")},
        {http("200 OK", "hello"), 4, std::nullopt},
        {http("404 Not Found", "hello"), 100, std::nullopt},
        {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + QByteArray(5000, 'y'), 4000, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fetch(serve(c.response), c.maxBytes), c.body) << c.response.left(20).toStdString();
    }
    // A server that never answers is given up at the deadline.
    EXPECT_EQ(fetch(serve(QByteArray()), 100, 0.2), std::nullopt);
}

/// Serves one endless answer from a thread of its own (so a busy main thread does not slow it) and counts the bytes
/// it got through before the client went away.
class EndlessServer {
public:
    explicit EndlessServer(QByteArray headers) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this, headers = std::move(headers)] {
            const int client = ::accept(listener_, nullptr, nullptr);
            char request[4096];
            (void)::recv(client, request, sizeof request, 0);
            const QByteArray chunk = headers + QByteArray(64 * 1024 - headers.size(), 'z');
            const QByteArray rest(64 * 1024, 'z');
            for (bool first = true;; first = false) {
                const QByteArray& data = first ? chunk : rest;
                const ssize_t sent = ::send(client, data.constData(), data.size(), MSG_NOSIGNAL);
                if (sent <= 0) {
                    break;
                }
                written += sent;
            }
            ::close(client);
        });
    }
    ~EndlessServer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/art").arg(port_)); }
    std::atomic<qint64> written{0};

private:
    int listener_ = -1;
    quint16 port_ = 0;
    std::thread thread_;
};

/// This process's resident memory in bytes.
qint64 residentBytes() {
    QFile file(QStringLiteral("/proc/self/statm"));
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = file.readAll().simplified().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * 4096 : 0;
}

TEST_F(QtUrlFetcherTest, AnEndlessAnswerCostsNoMoreThanTheCapWhileTheMainThreadIsBusy) {
    constexpr qint64 cap = 1024 * 1024;
    const struct {
        const char* name;
        QByteArray headers;
    } cases[] = {
        {"no length", "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n\r\n"},
        {"a length over the cap", "HTTP/1.1 200 OK\r\nContent-Length: 100000000000\r\n\r\n"},
    };
    for (const auto& c : cases) {
        EndlessServer server(c.headers);
        const qint64 before = residentBytes();
        qint64 most = before;
        std::optional<std::optional<QByteArray>> slot;
        fetcher_.fetch(server.url(), cap, 30, [&slot](std::optional<QByteArray> body) { slot = std::move(body); });
        // The connection is made, then the main thread is held as a long decode or a slow machine would hold it.
        const QDeadlineTimer connected(2000);
        while (server.written == 0 && !connected.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const QDeadlineTimer limit(30000);
        while (!slot && !limit.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
            most = std::max(most, residentBytes());
        }
        ASSERT_TRUE(slot) << c.name;
        EXPECT_EQ(*slot, std::nullopt) << c.name;
        EXPECT_GT(server.written, 0) << c.name;
        // The cost is what this process holds: the cap and the 256 KiB read buffer, and some slack for the
        // allocator. What the server wrote is no measure: the kernel buffers some, and the network stack may read
        // and drop the rest of a refused answer to keep its connection (120 MB were seen written).
#if !defined(__SANITIZE_ADDRESS__)
        // (The address sanitizer keeps freed memory in quarantine: resident size says nothing under it.)
        EXPECT_LT(most - before, cap + 256 * 1024 + 8 * 1024 * 1024) << c.name;
#endif
    }
}

/// A local HTTPS server (python3) with a certificate made for this run, which only the fetcher under test trusts.
class QtUrlFetcherHttpsTest : public QtUrlFetcherTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const QString key = dir_.filePath(QStringLiteral("key.pem"));
        const QString cert = dir_.filePath(QStringLiteral("cert.pem"));
        QProcess openssl;
        openssl.setStandardErrorFile(QProcess::nullDevice());
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                       QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                       QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"), key,
                       QStringLiteral("-out"), cert});
        ASSERT_TRUE(openssl.waitForFinished(30000));
        ASSERT_EQ(openssl.exitCode(), 0);
        server_.setProgram(QStringLiteral("/usr/bin/python3"));
        server_.setArguments({QStringLiteral(TILLORY_HTTPS_SERVER), cert, key});
        server_.start();
        ASSERT_TRUE(server_.waitForReadyRead(10000));
        port_ = server_.readLine().trimmed().toInt();
        ASSERT_GT(port_, 0);
        trusted_ = QSslCertificate::fromPath(cert);
        ASSERT_EQ(trusted_.size(), 1);
    }
    void TearDown() override {
        server_.kill();
        server_.waitForFinished();
    }
    QUrl url(const char* path) const { return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(port_).arg(path)); }
    std::optional<QByteArray> get(QtUrlFetcher& fetcher, const QUrl& url, double timeout) {
        std::optional<std::optional<QByteArray>> slot;
        fetcher.fetchHttps(url, 64 * 1024, timeout, [&slot](std::optional<QByteArray> body) { slot = body; });
        EXPECT_FALSE(slot) << "answered from inside the call";
        const QDeadlineTimer limit(30000);
        while (!slot && !limit.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        }
        EXPECT_TRUE(slot) << "no reply";
        return slot.value_or(std::nullopt);
    }

    QTemporaryDir dir_;
    QProcess server_;
    int port_ = 0;
    QList<QSslCertificate> trusted_;
};

TEST_F(QtUrlFetcherHttpsTest, AnswersOnlyStatus200OverTrustedHttpsWithinTheCapAndTheDeadline) {
    const QByteArray feed = R"({"version": "9.9", "url": "https://example.org/get"})";
    fetcher_.addCaCertificates(trusted_);
    const struct {
        const char* path;
        double timeout;
        std::optional<QByteArray> body;
    } cases[] = {
        {"/ok", 15, feed},
        {"/to-https", 15, feed},
        {"/created", 15, std::nullopt},
        {"/missing", 15, std::nullopt},
        {"/big", 15, std::nullopt}, // one byte over 64 KiB
        {"/to-http", 15, std::nullopt},
        {"/drip", 1, std::nullopt}, // a byte every 0.2 s keeps it busy, never done within the deadline
    };
    for (const auto& c : cases) {
        EXPECT_EQ(get(fetcher_, url(c.path), c.timeout), c.body) << c.path;
    }
    // Plain http is refused before anything is sent.
    QUrl plain = url("/ok");
    plain.setScheme(QStringLiteral("http"));
    EXPECT_EQ(get(fetcher_, plain, 15), std::nullopt);
    // The lenient fetch takes the same server's answers when the status is any success.
    EXPECT_EQ(fetch(url("/created"), 1000), feed);
}

TEST_F(QtUrlFetcherHttpsTest, ACertificateNobodyTrustsFails) {
    QtUrlFetcher untrusting;
    EXPECT_EQ(get(untrusting, url("/ok"), 15), std::nullopt);
}

QByteArray png(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(qRgba(255, 0, 0, 128));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

/// A small PNG whose header claims `w` × `h` pixels (its checksum kept right, so readers believe it).
QByteArray claimedPng(quint32 w, quint32 h) {
    QByteArray bytes = png(8, 8);
    const auto put = [&bytes](int at, quint32 value) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<char>(value >> (24 - 8 * i));
        }
    };
    put(16, w); // IHDR's data begins after the signature (8), the length (4) and the type (4)
    put(20, h);
    quint32 crc = 0xffffffffu;
    for (int i = 12; i < 29; ++i) { // the type and the 13 bytes of data
        crc ^= static_cast<quint8>(bytes[i]);
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    put(29, ~crc);
    return bytes;
}

TEST(QtImageDecoder, ScalesDownToTheLongerSideAndPremultipliesAndRefusesHugePictures) {
    const struct {
        QByteArray bytes;
        int maxSide;
        int width;
        int height;
    } cases[] = {
        {png(400, 200), 100, 100, 50},
        {png(200, 400), 100, 50, 100},
        {png(10, 6), 100, 10, 6},
        {png(10, 6), 0, 0, 0},
        {"not a picture", 100, 0, 0},
        {claimedPng(8, 8), 100, 8, 8},         // the crafted header itself reads
        {claimedPng(20000, 20000), 600, 0, 0}, // 400 megapixels: refused from the header
        {claimedPng(40000001, 1), 600, 0, 0},  // just above 40 megapixels
        {claimedPng(0x7fffffff, 0x7fffffff), 600, 0, 0},
    };
    for (const auto& c : cases) {
        const auto bitmap = QtImageDecoder::decodeNow(c.bytes, c.maxSide);
        EXPECT_EQ(bitmap ? bitmap->width : 0, c.width) << c.bytes.size();
        EXPECT_EQ(bitmap ? bitmap->height : 0, c.height);
        if (bitmap && c.width > 8) {
            EXPECT_TRUE(bitmap->isValid());
            const auto pixel = *reinterpret_cast<const quint32*>(bitmap->pixels.constData());
            EXPECT_EQ(qAlpha(pixel), 128);
            EXPECT_NEAR(qRed(pixel), 128, 1); // premultiplied
        }
    }
}

TEST_F(QtUrlFetcherTest, DecodingAnswersLaterOnTheMainThreadInTheOrderAsked) {
    QtImageDecoder decoder;
    std::vector<int> widths;
    for (const QByteArray& bytes : {png(300, 100), claimedPng(20000, 20000), png(40, 20)}) {
        decoder.decode(bytes, 100, [&widths](std::optional<Bitmap> bitmap) {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            widths.push_back(bitmap ? bitmap->width : 0);
        });
    }
    EXPECT_TRUE(widths.empty()) << "answered from inside the call";
    const QDeadlineTimer limit(30000);
    while (widths.size() < 3 && !limit.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    EXPECT_EQ(widths, (std::vector<int>{100, 0, 40}));
}

} // namespace
} // namespace tillory::platform::nix
