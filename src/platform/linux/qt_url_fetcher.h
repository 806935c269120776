#pragma once

#include "platform/api/network.h"

#include <QObject>

#include <memory>
#include <unordered_map>

class QNetworkAccessManager;

namespace tillory::platform::nix {

/// Downloads with QNetworkAccessManager (never following a redirect from https to plain http) and reads file URLs
/// on a pool thread. Main thread.
class QtUrlFetcher : public QObject, public UrlFetcher {
    Q_OBJECT
public:
    explicit QtUrlFetcher(QObject* parent = nullptr);
    ~QtUrlFetcher() override;
    void fetch(const QUrl& url, qint64 maxBytes, double timeoutSeconds, Reply reply) override;

private:
    struct Inbox;
    Q_INVOKABLE void drain();
    void download(const QUrl& url, qint64 maxBytes, double timeoutSeconds, Reply reply);
    void readFile(const QString& path, qint64 maxBytes, Reply reply);
    QNetworkAccessManager* network_;
    /// Where file reads leave their results; shared with the reading threads, which may outlive this object.
    std::shared_ptr<Inbox> inbox_;
    std::unordered_map<quint64, Reply> pendingReads_;
    quint64 nextRead_ = 0;
};

/// Decodes with QImage.
class QtImageDecoder : public ImageDecoder {
public:
    std::optional<Bitmap> decode(const QByteArray& bytes, int maxSide) override;
};

} // namespace tillory::platform::nix
