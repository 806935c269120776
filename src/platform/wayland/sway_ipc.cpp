#include "platform/wayland/sway_ipc.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QPointer>

#include <algorithm>
#include <cstring>

namespace tillory::platform::nix {

namespace {

Q_LOGGING_CATEGORY(lcSway, "tillory.sway", QtWarningMsg)

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr qsizetype kMagicSize = sizeof kMagic;
constexpr qsizetype kHeaderSize = kMagicSize + 2 * static_cast<qsizetype>(sizeof(quint32));

int remainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::max<qint64>(0, deadline.remainingTime()));
}

} // namespace

QByteArray encodeSwayFrame(quint32 type, const QByteArray& payload) {
    const auto length = static_cast<quint32>(payload.size());
    QByteArray frame(kHeaderSize, Qt::Uninitialized);
    std::memcpy(frame.data(), kMagic, kMagicSize);
    std::memcpy(frame.data() + kMagicSize, &length, sizeof length);
    std::memcpy(frame.data() + kMagicSize + sizeof length, &type, sizeof type);
    return frame + payload;
}

void SwayFrameDecoder::feed(const QByteArray& bytes) {
    if (broken_) {
        return;
    }
    // Frames already taken are cut away in bulk, not one by one, so a burst of small events costs linear time.
    if (start_ > 0 && start_ >= buffer_.size() / 2) {
        buffer_.remove(0, start_);
        start_ = 0;
    }
    buffer_.append(bytes);
}

std::optional<SwayFrame> SwayFrameDecoder::next() {
    if (broken_) {
        return std::nullopt;
    }
    const qsizetype available = buffer_.size() - start_;
    const char* head = buffer_.constData() + start_;
    // A wrong magic is caught from its first byte, not only once a whole header has arrived.
    if (std::memcmp(head, kMagic, static_cast<std::size_t>(std::min(available, kMagicSize))) != 0) {
        broken_ = true;
        return std::nullopt;
    }
    if (available < kHeaderSize) {
        return std::nullopt;
    }
    quint32 length = 0;
    quint32 type = 0;
    std::memcpy(&length, head + kMagicSize, sizeof length);
    std::memcpy(&type, head + kMagicSize + sizeof length, sizeof type);
    if (length > kMaxPayload) {
        broken_ = true;
        return std::nullopt;
    }
    if (available - kHeaderSize < static_cast<qsizetype>(length)) {
        return std::nullopt;
    }
    SwayFrame frame{type, QByteArray(head + kHeaderSize, static_cast<qsizetype>(length))};
    start_ += kHeaderSize + static_cast<qsizetype>(length);
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    return frame;
}

std::vector<bool> swayCommandOutcomes(const QJsonDocument& reply) {
    std::vector<bool> outcomes;
    if (!reply.isArray()) {
        return outcomes;
    }
    const QJsonArray results = reply.array();
    for (const QJsonValue& result : results) {
        outcomes.push_back(result.toObject().value(QLatin1String("success")).toBool(false));
    }
    return outcomes;
}

SwayIpc::SwayIpc(const QString& socketPath, QObject* parent) : QObject(parent) {
    const QString path = socketPath.isEmpty() ? qEnvironmentVariable("SWAYSOCK") : socketPath;
    if (path.isEmpty()) {
        qCInfo(lcSway) << "SWAYSOCK is not set: no sway IPC";
        return;
    }
    requests_ = std::make_unique<QLocalSocket>();
    events_ = std::make_unique<QLocalSocket>();
    // The event connection is made at once too: a subscription must never wait for a connection to come up.
    for (QLocalSocket* socket : {requests_.get(), events_.get()}) {
        socket->connectToServer(path);
        if (!socket->waitForConnected(kDefaultTimeoutMs)) {
            qCWarning(lcSway).noquote() << "cannot reach sway's IPC socket" << path << ":" << socket->errorString();
            socket->abort();
        }
    }
    connect(events_.get(), &QLocalSocket::readyRead, this, &SwayIpc::readEvents);
}

SwayIpc::~SwayIpc() = default;

bool SwayIpc::isConnected() const {
    return requests_ && requests_->state() == QLocalSocket::ConnectedState;
}

void SwayIpc::drop(QLocalSocket& socket, const char* why) {
    if (socket.state() == QLocalSocket::UnconnectedState) {
        return;
    }
    qCWarning(lcSway) << "dropping the IPC connection:" << why;
    socket.abort();
}

bool SwayIpc::send(QLocalSocket& socket, quint32 type, const QByteArray& payload, int timeoutMs) {
    if (socket.state() != QLocalSocket::ConnectedState) {
        return false;
    }
    socket.write(encodeSwayFrame(type, payload));
    const QDeadlineTimer deadline(timeoutMs);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remainingMs(deadline)) || deadline.hasExpired()) {
            return socket.bytesToWrite() == 0;
        }
    }
    return true;
}

std::optional<SwayFrame> SwayIpc::awaitFrame(QLocalSocket& socket, SwayFrameDecoder& decoder, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (auto frame = decoder.next()) {
            return frame;
        }
        if (decoder.broken()) {
            drop(socket, "the stream does not follow the IPC framing");
            return std::nullopt;
        }
        if (socket.bytesAvailable() > 0) {
            decoder.feed(socket.readAll());
            continue;
        }
        if (socket.state() != QLocalSocket::ConnectedState || deadline.hasExpired()) {
            return std::nullopt;
        }
        socket.waitForReadyRead(remainingMs(deadline));
    }
}

std::optional<QJsonDocument> SwayIpc::request(quint32 type, const QByteArray& payload, int timeoutMs) {
    if (!isConnected()) {
        return std::nullopt;
    }
    const QDeadlineTimer deadline(timeoutMs);
    if (!send(*requests_, type, payload, timeoutMs)) {
        drop(*requests_, "a request could not be sent");
        return std::nullopt;
    }
    for (;;) {
        const auto frame = awaitFrame(*requests_, requestDecoder_, remainingMs(deadline));
        if (!frame) {
            if (isConnected()) {
                qCWarning(lcSway) << "sway did not answer request" << type << "in" << timeoutMs << "ms";
                ++staleReplies_;
            }
            return std::nullopt;
        }
        if (staleReplies_ > 0) {
            --staleReplies_;
            continue;
        }
        if (frame->type != type) {
            // Replies come in order; one of another type means the two sides no longer agree on what is owed.
            drop(*requests_, "a reply to another request");
            return std::nullopt;
        }
        QJsonParseError error{};
        QJsonDocument document = QJsonDocument::fromJson(frame->payload, &error);
        if (error.error != QJsonParseError::NoError) {
            qCWarning(lcSway) << "a reply that is no JSON:" << error.errorString();
            return std::nullopt;
        }
        return document;
    }
}

std::vector<bool> SwayIpc::runCommand(const QString& command) {
    const auto reply = request(SwayMessage::RunCommand, command.toUtf8());
    return reply ? swayCommandOutcomes(*reply) : std::vector<bool>{};
}

bool SwayIpc::runCommands(const QString& command) {
    const std::vector<bool> outcomes = runCommand(command);
    return !outcomes.empty() && std::all_of(outcomes.begin(), outcomes.end(), [](bool ok) { return ok; });
}

QJsonObject SwayIpc::tree() {
    const auto reply = request(SwayMessage::GetTree);
    return reply && reply->isObject() ? reply->object() : QJsonObject{};
}

bool SwayIpc::subscribe(const QStringList& events) {
    if (!events_ || events_->state() != QLocalSocket::ConnectedState) {
        return false;
    }
    QJsonArray fresh;
    for (const QString& name : events) {
        if (!subscribed_.contains(name) && !fresh.contains(name)) {
            fresh.append(name);
        }
    }
    if (fresh.isEmpty()) {
        return true;
    }
    // Events of earlier subscriptions may come before the answer; they are kept, in order, for the event loop.
    // Waiting to write and to read emits readyRead, whose handler must then leave the bytes to this loop.
    awaitingConfirmation_ = true;
    if (!send(*events_, SwayMessage::Subscribe, QJsonDocument(fresh).toJson(QJsonDocument::Compact),
              kDefaultTimeoutMs)) {
        awaitingConfirmation_ = false;
        drop(*events_, "a subscription could not be sent");
        return false;
    }
    bool success = false;
    const QDeadlineTimer deadline(kDefaultTimeoutMs);
    for (;;) {
        const auto frame = awaitFrame(*events_, eventDecoder_, remainingMs(deadline));
        if (!frame) {
            qCWarning(lcSway) << "sway did not confirm the subscription to" << fresh.toVariantList();
            if (events_->state() == QLocalSocket::ConnectedState) {
                ++staleConfirmations_;
            }
            break;
        }
        if ((frame->type & SwayEvent::Flag) != 0) {
            queueEventFrame(*frame);
        } else if (frame->type == SwayMessage::Subscribe && staleConfirmations_ > 0) {
            --staleConfirmations_;
        } else if (frame->type == SwayMessage::Subscribe) {
            success = QJsonDocument::fromJson(frame->payload).object().value(QLatin1String("success")).toBool(false);
            break;
        }
    }
    awaitingConfirmation_ = false;
    if (success) {
        for (const QJsonValue& name : std::as_const(fresh)) {
            subscribed_.insert(name.toString());
        }
    }
    // What came with or after the answer will not be announced again; the event loop takes it from here.
    QMetaObject::invokeMethod(this, &SwayIpc::readEvents, Qt::QueuedConnection);
    return success;
}

void SwayIpc::readEvents() {
    if (awaitingConfirmation_ || !events_) {
        return;
    }
    eventDecoder_.feed(events_->readAll());
    while (const auto frame = eventDecoder_.next()) {
        if ((frame->type & SwayEvent::Flag) != 0) {
            queueEventFrame(*frame);
        } else if (frame->type == SwayMessage::Subscribe && staleConfirmations_ > 0) {
            --staleConfirmations_; // the late confirmation of a subscription that gave up waiting
        }
    }
    if (eventDecoder_.broken()) {
        drop(*events_, "the event stream does not follow the IPC framing");
    }
    deliver();
}

void SwayIpc::queueEventFrame(const SwayFrame& frame) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(frame.payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        qCWarning(lcSway) << "skipping an event that is no JSON object, type" << Qt::hex << frame.type;
        return;
    }
    pending_.emplace_back(frame.type, document.object());
}

void SwayIpc::deliver() {
    // A slot that subscribes or spins the event loop lands here again; the outer loop delivers what that adds.
    if (delivering_) {
        return;
    }
    delivering_ = true;
    const QPointer<SwayIpc> self(this);
    while (!pending_.empty()) {
        const auto [type, payload] = std::move(pending_.front());
        pending_.pop_front();
        Q_EMIT eventReceived(type, payload);
        if (!self) {
            return;
        }
    }
    delivering_ = false;
}

} // namespace tillory::platform::nix
