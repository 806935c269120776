#pragma once

#include "platform/api/network.h"

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QTimer>

#include <memory>
#include <unordered_map>

class QNetworkAccessManager;
class QThreadPool;

namespace tillory::platform::nix {

/// Downloads with QNetworkAccessManager (never following a redirect from https to plain http) and reads file URLs
/// on a pool thread. Main thread.
class QtUrlFetcher : public QObject, public UrlFetcher {
    Q_OBJECT
public:
    explicit QtUrlFetcher(QObject* parent = nullptr);
    ~QtUrlFetcher() override;
    void fetch(const QUrl& url, qint64 maxBytes, double timeoutSeconds, Reply reply) override;
    void fetchHttps(const QUrl& url, qint64 maxBytes, double timeoutSeconds, Reply reply) override;
    /// Certificate authorities trusted beside the system's, for https requests made from now on.
    void addCaCertificates(const QList<QSslCertificate>& certificates) { extraCas_ += certificates; }

private:
    struct Inbox;
    Q_INVOKABLE void drain();
    enum class Strictness { Lenient, HttpsOnly };
    void download(const QUrl& url, qint64 maxBytes, double timeoutSeconds, Strictness strictness, Reply reply);
    void refuse(Reply reply);
    void readFile(const QString& path, qint64 maxBytes, Reply reply);
    QNetworkAccessManager* network_;
    /// Where file reads leave their results; shared with the reading threads, which may outlive this object.
    std::shared_ptr<Inbox> inbox_;
    std::unordered_map<quint64, Reply> pendingReads_;
    quint64 nextRead_ = 0;
    QList<QSslCertificate> extraCas_;
    QTimer trim_;
};

/// Decodes with QImageReader on a worker thread of its own, one picture after another; the thread ends when idle.
class QtImageDecoder : public QObject, public ImageDecoder {
    Q_OBJECT
public:
    explicit QtImageDecoder(QObject* parent = nullptr);
    ~QtImageDecoder() override;
    void decode(const QByteArray& bytes, int maxSide, Reply reply) override;
    /// The same work on the calling thread.
    static std::optional<Bitmap> decodeNow(const QByteArray& bytes, int maxSide);

private:
    struct Inbox;
    Q_INVOKABLE void drain();
    std::shared_ptr<Inbox> inbox_;
    std::unique_ptr<QThreadPool> pool_;
    std::unordered_map<quint64, Reply> pending_;
    quint64 next_ = 0;
};

} // namespace tillory::platform::nix
