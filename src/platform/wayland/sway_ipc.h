#pragma once

#include "platform/api/subscription.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QLocalSocket;

namespace tillory::platform::nix {

/// Message types of sway's (i3-compatible) IPC.
namespace SwayMessage {
constexpr quint32 RunCommand = 0;
constexpr quint32 GetWorkspaces = 1;
constexpr quint32 Subscribe = 2;
constexpr quint32 GetOutputs = 3;
constexpr quint32 GetTree = 4;
constexpr quint32 GetMarks = 5;
constexpr quint32 GetBarConfig = 6;
constexpr quint32 GetVersion = 7;
constexpr quint32 GetBindingModes = 8;
constexpr quint32 GetConfig = 9;
constexpr quint32 SendTick = 10;
constexpr quint32 Sync = 11;
constexpr quint32 GetBindingState = 12;
constexpr quint32 GetInputs = 100;
constexpr quint32 GetSeats = 101;
} // namespace SwayMessage

/// Event types: the high bit tells an event from a reply.
namespace SwayEvent {
constexpr quint32 Flag = 0x80000000u;
constexpr quint32 Workspace = Flag | 0;
constexpr quint32 Output = Flag | 1;
constexpr quint32 Mode = Flag | 2;
constexpr quint32 Window = Flag | 3;
constexpr quint32 BarconfigUpdate = Flag | 4;
constexpr quint32 Binding = Flag | 5;
constexpr quint32 Shutdown = Flag | 6;
constexpr quint32 Tick = Flag | 7;
constexpr quint32 BarStateUpdate = Flag | 0x14;
constexpr quint32 Input = Flag | 0x15;
} // namespace SwayEvent

/// One message of the IPC stream: "i3-ipc", the payload's length and the type (both 32 bits, native byte order),
/// then the payload.
struct SwayFrame {
    quint32 type = 0;
    QByteArray payload;
    friend bool operator==(const SwayFrame&, const SwayFrame&) = default;
};

QByteArray encodeSwayFrame(quint32 type, const QByteArray& payload);

/// Cuts a byte stream into frames, whatever sizes the reads come in. A stream that does not start a frame with the
/// magic, or announces a payload over `kMaxPayload`, is broken for good: there is no way to find the next frame.
class SwayFrameDecoder {
public:
    /// Far above any real tree (a few hundred KiB with hundreds of windows), far below what would hurt to buffer.
    static constexpr quint32 kMaxPayload = 64u << 20;

    void feed(const QByteArray& bytes);
    /// The next complete frame; nothing while one is incomplete or once the stream is broken.
    std::optional<SwayFrame> next();
    bool broken() const { return broken_; }

private:
    QByteArray buffer_;
    qsizetype start_ = 0;
    bool broken_ = false;
};

/// What a RUN_COMMAND reply says of each command, in order; empty for a reply that is no list.
std::vector<bool> swayCommandOutcomes(const QJsonDocument& reply);

/// Callbacks that end with their subscription; safe against a callback ending its own or another one.
template <typename Arg> class ObserverSet {
public:
    SubscriptionPtr add(std::function<void(const Arg&)> callback) {
        class Ending final : public Subscription {
        public:
            Ending(std::weak_ptr<Map> map, int id) : map_(std::move(map)), id_(id) {}
            ~Ending() override {
                if (const auto map = map_.lock()) {
                    map->erase(id_);
                }
            }

        private:
            std::weak_ptr<Map> map_;
            int id_;
        };
        const int id = next_++;
        callbacks_->emplace(id, std::move(callback));
        return std::make_unique<Ending>(callbacks_, id);
    }
    bool empty() const { return callbacks_->empty(); }
    void notify(const Arg& value) {
        std::vector<int> ids;
        for (const auto& entry : *callbacks_) {
            ids.push_back(entry.first);
        }
        const std::weak_ptr<Map> alive = callbacks_;
        for (const int id : ids) {
            const auto map = alive.lock();
            if (!map) {
                return;
            }
            if (const auto found = map->find(id); found != map->end()) {
                const auto callback = found->second;
                callback(value);
            }
        }
    }

private:
    using Map = std::map<int, std::function<void(const Arg&)>>;
    std::shared_ptr<Map> callbacks_ = std::make_shared<Map>();
    int next_ = 0;
};

/// A client of sway's IPC socket: requests answered synchronously on one connection, events delivered as a signal
/// (`eventReceived`) from a second one. Both connect at construction; there is no reconnecting. Garbled input (a wrong
/// magic, an absurd length) drops the connection it came on; a reply that is no JSON fails only its request. Main
/// thread only.
class SwayIpc final : public QObject {
    Q_OBJECT
public:
    /// sway answers in a few milliseconds; a second means it is stuck.
    static constexpr int kDefaultTimeoutMs = 1000;

    /// `socketPath` empty: $SWAYSOCK.
    explicit SwayIpc(const QString& socketPath = {}, QObject* parent = nullptr);
    ~SwayIpc() override;
    SwayIpc(const SwayIpc&) = delete;
    SwayIpc& operator=(const SwayIpc&) = delete;

    /// The request connection is up.
    bool isConnected() const;

    /// Sends one message and waits (blocking, at most `timeoutMs`) for its reply. Nothing when not connected, on a
    /// timeout, or when the reply is no JSON. A reply that comes after its request gave up is skipped later.
    std::optional<QJsonDocument> request(quint32 type, const QByteArray& payload = {},
                                         int timeoutMs = kDefaultTimeoutMs);
    /// RUN_COMMAND: one outcome per command of the line (commands are separated by "," and ";"); empty when sway
    /// did not answer.
    std::vector<bool> runCommand(const QString& command);
    /// True when sway ran every command of the line.
    bool runCommands(const QString& command);
    /// GET_TREE; an empty object when sway did not answer.
    QJsonObject tree();

    /// Adds event names ("window", "workspace", "binding", ...) to those `eventReceived` reports. Waits for sway to
    /// confirm, so that anything happening after the return is reported. True when sway took them all (also when
    /// all were already subscribed).
    bool subscribe(const QStringList& events);

Q_SIGNALS:
    /// One event (type with SwayEvent::Flag set) and its payload; delivered from the event loop. (Not named
    /// "event": that would hide QObject::event.)
    void eventReceived(quint32 type, const QJsonObject& payload);

private:
    bool send(QLocalSocket& socket, quint32 type, const QByteArray& payload, int timeoutMs);
    std::optional<SwayFrame> awaitFrame(QLocalSocket& socket, SwayFrameDecoder& decoder, int timeoutMs);
    void readEvents();
    void queueEventFrame(const SwayFrame& frame);
    void deliver();
    void drop(QLocalSocket& socket, const char* why);

    std::unique_ptr<QLocalSocket> requests_;
    std::unique_ptr<QLocalSocket> events_;
    SwayFrameDecoder requestDecoder_;
    SwayFrameDecoder eventDecoder_;
    /// Replies still owed to requests that gave up waiting; they come first, in order.
    int staleReplies_ = 0;
    /// The same for subscriptions on the event connection.
    int staleConfirmations_ = 0;
    QSet<QString> subscribed_;
    std::deque<std::pair<quint32, QJsonObject>> pending_;
    bool delivering_ = false;
    bool awaitingConfirmation_ = false;
};

} // namespace tillory::platform::nix
