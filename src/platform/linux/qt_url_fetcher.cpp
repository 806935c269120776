#include "platform/linux/qt_url_fetcher.h"

#include <QBuffer>
#include <QFile>

#include <QImage>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QThreadPool>
#include <QTimer>
#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tillory::platform::nix {

namespace {
// How far Qt's network thread may read ahead of what has been taken.
constexpr qint64 kReadBufferBytes = 256 * 1024;
} // namespace

struct QtUrlFetcher::Inbox {
    std::mutex mutex;
    QObject* owner = nullptr;
    std::vector<std::pair<quint64, std::optional<QByteArray>>> results;
};

QtUrlFetcher::QtUrlFetcher(QObject* parent)
    : QObject(parent), network_(new QNetworkAccessManager(this)), inbox_(std::make_shared<Inbox>()) {
    network_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    inbox_->owner = this;
    trim_.setSingleShot(true);
    trim_.setInterval(1000);
#ifdef __GLIBC__
    connect(&trim_, &QTimer::timeout, this, [] { malloc_trim(0); });
#endif
}

QtUrlFetcher::~QtUrlFetcher() {
    const std::lock_guard lock(inbox_->mutex);
    inbox_->owner = nullptr;
}

void QtUrlFetcher::fetch(const QUrl& url, qint64 maxBytes, double timeoutSeconds, Reply reply) {
    const QString scheme = url.scheme();
    if (url.isValid() && url.isLocalFile()) {
        readFile(url.toLocalFile(), maxBytes, std::move(reply));
    } else if (url.isValid() && (scheme == QLatin1String("https") || scheme == QLatin1String("http")) &&
               std::isfinite(timeoutSeconds) && timeoutSeconds > 0) {
        download(url, maxBytes, timeoutSeconds, Strictness::Lenient, std::move(reply));
    } else {
        refuse(std::move(reply));
    }
}

void QtUrlFetcher::fetchHttps(const QUrl& url, qint64 maxBytes, double timeoutSeconds, Reply reply) {
    if (url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty() &&
        std::isfinite(timeoutSeconds) && timeoutSeconds > 0) {
        download(url, maxBytes, timeoutSeconds, Strictness::HttpsOnly, std::move(reply));
    } else {
        refuse(std::move(reply));
    }
}

void QtUrlFetcher::refuse(Reply reply) {
    QTimer::singleShot(0, this, [reply = std::move(reply)] { reply(std::nullopt); });
}

void QtUrlFetcher::readFile(const QString& path, qint64 maxBytes, Reply reply) {
    const quint64 id = ++nextRead_;
    pendingReads_.emplace(id, std::move(reply));
    // A file may sit on a slow or hung mount: read it on a thread of its own. Results travel through a std::mutex
    // rather than a posted functor, so that the hand-over is visible to the thread sanitizer too.
    std::thread([inbox = inbox_, path, maxBytes, id] {
        std::optional<QByteArray> result;
        // Only a regular file: opening a FIFO or a device named by another program would wait for a writer or
        // read forever, so it is opened without blocking and looked at before anything is read.
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        struct stat info {};
        QFile file;
        if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maxBytes &&
            file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            QByteArray bytes = file.read(maxBytes + 1);
            if (file.error() == QFileDevice::NoError && bytes.size() <= maxBytes) {
                result = std::move(bytes);
            }
        } else if (fd >= 0) {
            ::close(fd);
        }
        const std::lock_guard lock(inbox->mutex);
        inbox->results.emplace_back(id, std::move(result));
        if (inbox->owner) {
            QMetaObject::invokeMethod(inbox->owner, "drain", Qt::QueuedConnection);
        }
    }).detach();
}

void QtUrlFetcher::drain() {
    std::vector<std::pair<quint64, std::optional<QByteArray>>> results;
    {
        const std::lock_guard lock(inbox_->mutex);
        results.swap(inbox_->results);
    }
    for (auto& [id, result] : results) {
        const auto it = pendingReads_.find(id);
        if (it != pendingReads_.end()) {
            const Reply reply = std::move(it->second);
            pendingReads_.erase(it);
            reply(std::move(result));
        }
    }
}

void QtUrlFetcher::download(const QUrl& url, qint64 maxBytes, double timeoutSeconds, Strictness strictness,
                            Reply reply) {
    QNetworkRequest request(url);
    request.setMaximumRedirectsAllowed(5);
    if (!extraCas_.isEmpty() && url.scheme() == QLatin1String("https")) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(extraCas_);
        request.setSslConfiguration(tls);
    }
    if (strictness == Strictness::HttpsOnly) {
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        // The manager's policy already refuses https to http; this one also keeps every hop on https.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    }
    QNetworkReply* network = network_->get(request);
    auto answered = std::make_shared<bool>(false);
    auto answer = [answered, reply = std::move(reply)](std::optional<QByteArray> body) {
        if (!*answered) {
            *answered = true;
            reply(std::move(body));
        }
    };
    auto* deadline = new QTimer(network);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, network, [network, answer] {
        answer(std::nullopt);
        network->abort();
    });
    deadline->start(static_cast<int>(std::min(timeoutSeconds, 3600.0) * 1000));
    // The cap holds while reading: a bounded read buffer keeps Qt's network thread from running ahead of this
    // thread, a declared length above the cap ends the transfer at the headers, and the bytes are counted as they
    // come, so an endless answer costs at most the cap.
    network->setReadBufferSize(kReadBufferBytes);
    auto body = std::make_shared<QByteArray>();
    auto tooLarge = [this, network, answer] {
        answer(std::nullopt);
        network->abort();
        // The refused megabytes were freed into the heap, where the allocator keeps them: give them back.
        trim_.start();
    };
    connect(network, &QNetworkReply::metaDataChanged, network, [network, maxBytes, tooLarge] {
        bool known = false;
        const qint64 declared = network->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && declared > maxBytes) {
            tooLarge();
        }
    });
    connect(network, &QNetworkReply::readyRead, network, [network, maxBytes, body, tooLarge] {
        body->append(network->read(maxBytes + 1 - body->size()));
        if (body->size() > maxBytes) {
            tooLarge();
        }
    });
    if (strictness == Strictness::HttpsOnly) {
        connect(network, &QNetworkReply::redirected, network, [network, answer](const QUrl& to) {
            if (to.scheme() == QLatin1String("https") && !to.host().isEmpty()) {
                Q_EMIT network->redirectAllowed();
            } else {
                answer(std::nullopt);
                network->abort();
            }
        });
    }
    connect(network, &QNetworkReply::finished, this, [network, maxBytes, strictness, answer, body] {
        network->deleteLater();
        const int status = network->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool accepted = strictness == Strictness::HttpsOnly ? status == 200 : status >= 200 && status < 300;
        if (network->error() != QNetworkReply::NoError || !accepted) {
            answer(std::nullopt);
            return;
        }
        body->append(network->read(maxBytes + 1 - body->size()));
        answer(body->size() <= maxBytes ? std::optional(std::move(*body)) : std::nullopt);
    });
}

struct QtImageDecoder::Inbox {
    std::mutex mutex;
    QObject* owner = nullptr;
    std::vector<std::pair<quint64, std::optional<Bitmap>>> results;
};

QtImageDecoder::QtImageDecoder(QObject* parent)
    : QObject(parent), inbox_(std::make_shared<Inbox>()), pool_(std::make_unique<QThreadPool>()) {
    inbox_->owner = this;
    pool_->setMaxThreadCount(1);
    pool_->setExpiryTimeout(5000);
}

QtImageDecoder::~QtImageDecoder() {
    {
        const std::lock_guard lock(inbox_->mutex);
        inbox_->owner = nullptr;
    }
    pool_->clear();
    pool_->waitForDone();
}

void QtImageDecoder::decode(const QByteArray& bytes, int maxSide, Reply reply) {
    const quint64 id = ++next_;
    pending_.emplace(id, std::move(reply));
    pool_->start([inbox = inbox_, bytes, maxSide, id] {
        std::optional<Bitmap> bitmap = decodeNow(bytes, maxSide);
        const std::lock_guard lock(inbox->mutex);
        inbox->results.emplace_back(id, std::move(bitmap));
        if (inbox->owner) {
            QMetaObject::invokeMethod(inbox->owner, "drain", Qt::QueuedConnection);
        }
    });
}

void QtImageDecoder::drain() {
    std::vector<std::pair<quint64, std::optional<Bitmap>>> results;
    {
        const std::lock_guard lock(inbox_->mutex);
        results.swap(inbox_->results);
    }
    for (auto& [id, bitmap] : results) {
        const auto it = pending_.find(id);
        if (it != pending_.end()) {
            const Reply reply = std::move(it->second);
            pending_.erase(it);
            reply(std::move(bitmap));
        }
    }
}

std::optional<Bitmap> QtImageDecoder::decodeNow(const QByteArray& bytes, int maxSide) {
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (maxSide <= 0) {
        return std::nullopt;
    }
    // The header tells the size before anything is decoded: a picture too large to be a cover is refused here, at
    // the cost of reading a few bytes, rather than decoded for seconds and hundreds of megabytes.
    if (size.isValid() && static_cast<qint64>(size.width()) * size.height() > kMaxPixels) {
        return std::nullopt;
    }
    // Let the reader scale while decoding when it can, so a huge picture is never held at full size.
    if (size.isValid() && (size.width() > maxSide || size.height() > maxSide)) {
        reader.setScaledSize(size.scaled(maxSide, maxSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    QImage image = reader.read();
    if (image.isNull() || static_cast<qint64>(image.width()) * image.height() > kMaxPixels) {
        return std::nullopt;
    }
    if (image.width() > maxSide || image.height() > maxSide) {
        image = image.scaled(maxSide, maxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    Bitmap bitmap;
    bitmap.width = image.width();
    bitmap.height = image.height();
    bitmap.stride = static_cast<int>(image.bytesPerLine());
    bitmap.pixels = QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    return bitmap;
}

} // namespace tillory::platform::nix
