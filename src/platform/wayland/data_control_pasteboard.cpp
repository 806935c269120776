#include "platform/wayland/data_control_pasteboard.h"

#include "platform/linux/clipboard_formats.h"
#include "platform/wayland/pipe_transfer.h"
#include "platform/wayland/wayland_connection.h"

#include "ext-data-control-v1-client.h"
#include "wlr-data-control-unstable-v1-client.h"

#include <QLoggingCategory>
#include <QPointer>

#include <cstring>

#include <fcntl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcDataControl, "tillory.clipboard.wayland", QtInfoMsg)

namespace tillory::platform::nix {
namespace {

// Copies above this are not the kind of text the history keeps; reading stops there.
constexpr qsizetype kMaxReadBytes = 8 * 1024 * 1024;
// An offer's formats as far as any real program goes; a hostile one may announce millions, each costing memory
// and a look through the list.
constexpr qsizetype kMaxFormats = 256;
constexpr std::size_t kMaxFormatBytes = 255;
// A program that has not sent anything for this long is not going to.
constexpr int kSilenceMs = 2000;
constexpr int kWriteSilenceMs = 5000;
// Offered beside our own text, so the copy the compositor echoes back is recognised as ours and answered from
// memory (reading it through the compositor would wait on our own main thread).
const QString kOwnMarker = QStringLiteral("application/x-tillory-own-copy");

} // namespace

/// The two data-control protocols have the same messages in the same order; this hides which one is bound.
class DataControlPasteboard::Protocol {
public:
    virtual ~Protocol() = default;
    virtual QByteArray name() const = 0;
    virtual void receive(void* offer, const QString& mime, int fd) = 0;
    virtual void destroyOffer(void* offer) = 0;
    virtual void* createSource(const QStringList& mimes) = 0;
    virtual void setSelection(void* source) = 0;
    virtual void destroySource(void* source) = 0;
    virtual void destroyDevice() = 0;
};

namespace {

#define TILLORY_DATA_CONTROL_PROTOCOL(Name, p, maxVersion)                                                             \
    struct Name {                                                                                                      \
        using Manager = p##_manager_v1;                                                                                \
        using Device = p##_device_v1;                                                                                  \
        using Source = p##_source_v1;                                                                                  \
        using Offer = p##_offer_v1;                                                                                    \
        using DeviceListener = p##_device_v1_listener;                                                                 \
        using SourceListener = p##_source_v1_listener;                                                                 \
        using OfferListener = p##_offer_v1_listener;                                                                   \
        static constexpr std::uint32_t kMaxVersion = maxVersion;                                                       \
        static const wl_interface* managerInterface() { return &p##_manager_v1_interface; }                            \
        static Device* getDevice(Manager* m, wl_seat* seat) { return p##_manager_v1_get_data_device(m, seat); }        \
        static Source* createSource(Manager* m) { return p##_manager_v1_create_data_source(m); }                       \
        static void destroyManager(Manager* m) { p##_manager_v1_destroy(m); }                                          \
        static void addListener(Device* d, const DeviceListener* l, void* data) {                                      \
            p##_device_v1_add_listener(d, l, data);                                                                    \
        }                                                                                                              \
        static void addListener(Source* s, const SourceListener* l, void* data) {                                      \
            p##_source_v1_add_listener(s, l, data);                                                                    \
        }                                                                                                              \
        static void addListener(Offer* o, const OfferListener* l, void* data) {                                        \
            p##_offer_v1_add_listener(o, l, data);                                                                     \
        }                                                                                                              \
        static void setSelection(Device* d, Source* s) { p##_device_v1_set_selection(d, s); }                          \
        static void destroy(Device* d) { p##_device_v1_destroy(d); }                                                   \
        static void destroy(Source* s) { p##_source_v1_destroy(s); }                                                   \
        static void destroy(Offer* o) { p##_offer_v1_destroy(o); }                                                     \
        static void offer(Source* s, const char* mime) { p##_source_v1_offer(s, mime); }                               \
        static void receive(Offer* o, const char* mime, int fd) { p##_offer_v1_receive(o, mime, fd); }                 \
    };

TILLORY_DATA_CONTROL_PROTOCOL(ExtDataControl, ext_data_control, 1)
TILLORY_DATA_CONTROL_PROTOCOL(WlrDataControl, zwlr_data_control, 2)
#undef TILLORY_DATA_CONTROL_PROTOCOL

template <class P> class ProtocolImpl final : public DataControlPasteboard::Protocol {
public:
    ProtocolImpl(typename P::Manager* manager, wl_seat* seat, DataControlPasteboard* owner)
        : manager_(manager), seat_(seat), owner_(owner) {
        device_ = P::getDevice(manager_, seat_);
        P::addListener(device_, &kDeviceListener, owner_);
    }
    ~ProtocolImpl() override {
        destroyDevice();
        P::destroyManager(manager_);
        wl_seat_destroy(seat_);
    }

    QByteArray name() const override { return P::managerInterface()->name; }
    void receive(void* offer, const QString& mime, int fd) override {
        P::receive(static_cast<typename P::Offer*>(offer), mime.toUtf8().constData(), fd);
    }
    void destroyOffer(void* offer) override { P::destroy(static_cast<typename P::Offer*>(offer)); }
    void* createSource(const QStringList& mimes) override {
        typename P::Source* source = P::createSource(manager_);
        P::addListener(source, &kSourceListener, owner_);
        for (const QString& mime : mimes) {
            P::offer(source, mime.toUtf8().constData());
        }
        return source;
    }
    void setSelection(void* source) override {
        if (device_) {
            P::setSelection(device_, static_cast<typename P::Source*>(source));
        }
    }
    void destroySource(void* source) override { P::destroy(static_cast<typename P::Source*>(source)); }
    void destroyDevice() override {
        if (device_) {
            P::destroy(device_);
            device_ = nullptr;
        }
    }

private:
    static DataControlPasteboard* self(void* data) { return static_cast<DataControlPasteboard*>(data); }

    static void dataOffer(void* data, typename P::Device*, typename P::Offer* offer) {
        P::addListener(offer, &kOfferListener, data);
        self(data)->offerIntroduced(offer);
    }
    static void selection(void* data, typename P::Device*, typename P::Offer* offer) {
        self(data)->selectionChanged(offer);
    }
    static void finished(void* data, typename P::Device*) { self(data)->deviceFinished(); }
    static void primarySelection(void* data, typename P::Device*, typename P::Offer* offer) {
        self(data)->primarySelectionChanged(offer);
    }
    static void offerFormat(void* data, typename P::Offer* offer, const char* mime) {
        self(data)->offerFormat(offer, mime);
    }
    static void send(void* data, typename P::Source* source, const char* mime, int fd) {
        self(data)->sendRequested(source, mime, fd);
    }
    static void cancelled(void* data, typename P::Source* source) { self(data)->sourceCancelled(source); }

    static constexpr typename P::DeviceListener kDeviceListener{&dataOffer, &selection, &finished, &primarySelection};
    static constexpr typename P::OfferListener kOfferListener{&offerFormat};
    static constexpr typename P::SourceListener kSourceListener{&send, &cancelled};

    typename P::Manager* manager_;
    wl_seat* seat_;
    DataControlPasteboard* owner_;
    typename P::Device* device_ = nullptr;
};

template <class P>
std::unique_ptr<DataControlPasteboard::Protocol> bindProtocol(WaylandConnection& connection,
                                                              DataControlPasteboard* owner) {
    auto* manager = static_cast<typename P::Manager*>(connection.bind(P::managerInterface(), P::kMaxVersion));
    if (!manager) {
        return nullptr;
    }
    auto* seat = static_cast<wl_seat*>(connection.bind(&wl_seat_interface, 1));
    if (!seat) {
        P::destroyManager(manager);
        return nullptr;
    }
    return std::make_unique<ProtocolImpl<P>>(manager, seat, owner);
}

QString firstOf(const QStringList& wanted, const QStringList& offered) {
    for (const QString& format : wanted) {
        if (offered.contains(format)) {
            return format;
        }
    }
    return {};
}

} // namespace

class PipeReader;

std::unique_ptr<DataControlPasteboard> DataControlPasteboard::create(WaylandConnection& connection) {
    if (!connection.offers("wl_seat") || (!connection.offers(ExtDataControl::managerInterface()->name) &&
                                          !connection.offers(WlrDataControl::managerInterface()->name))) {
        return nullptr;
    }
    ignoreBrokenPipes();
    std::unique_ptr<DataControlPasteboard> pasteboard(new DataControlPasteboard(connection, nullptr));
    // The ext protocol is the standard one; compositors that have it may drop the wlroots one.
    pasteboard->protocol_ = bindProtocol<ExtDataControl>(connection, pasteboard.get());
    if (!pasteboard->protocol_) {
        pasteboard->protocol_ = bindProtocol<WlrDataControl>(connection, pasteboard.get());
    }
    if (!pasteboard->protocol_) {
        return nullptr;
    }
    // The current clipboard arrives as the device's first selection event.
    connection.roundtrip();
    pasteboard->watching_ = true;
    qCInfo(lcDataControl, "watching the clipboard through %s", pasteboard->protocol_->name().constData());
    return pasteboard;
}

DataControlPasteboard::DataControlPasteboard(WaylandConnection& connection, std::unique_ptr<Protocol> protocol)
    : connection_(connection), protocol_(std::move(protocol)) {}

DataControlPasteboard::~DataControlPasteboard() {
    *alive_ = false;
    readers_.clear();
    if (protocol_) {
        for (auto& [offer, formats] : introduced_) {
            protocol_->destroyOffer(offer);
        }
        if (selection_) {
            protocol_->destroyOffer(selection_);
        }
        if (ownSource_) {
            protocol_->destroySource(ownSource_);
        }
        protocol_.reset();
    }
    connection_.flush();
}

QByteArray DataControlPasteboard::protocolName() const {
    return protocol_ ? protocol_->name() : QByteArray();
}

void DataControlPasteboard::offerIntroduced(void* offer) {
    introduced_[offer];
}

void DataControlPasteboard::offerFormat(void* offer, const char* mime) {
    auto it = introduced_.find(offer);
    if (it == introduced_.end() || it->second.size() >= kMaxFormats || !mime ||
        std::strlen(mime) > kMaxFormatBytes) {
        return;
    }
    const QString format = QString::fromUtf8(mime);
    if (!it->second.contains(format)) {
        it->second.append(format);
    }
}

void DataControlPasteboard::selectionChanged(void* offer) {
    qCDebug(lcDataControl) << "selection changed";
    if (selection_) {
        protocol_->destroyOffer(selection_);
        selection_ = nullptr;
    }
    ++generation_;
    readers_.clear();
    QStringList formats;
    if (offer) {
        auto it = introduced_.find(offer);
        if (it != introduced_.end()) {
            formats = std::move(it->second);
            introduced_.erase(it);
        }
        selection_ = offer;
    }
    if (ownSource_ && formats.contains(kOwnMarker)) {
        current_ = own_; // our own write: counted when it was made
        return;
    }
    readSelection(formats);
}

void DataControlPasteboard::primarySelectionChanged(void* offer) {
    // Only the clipboard is kept; the primary selection's offers are let go at once.
    if (offer) {
        introduced_.erase(offer);
        protocol_->destroyOffer(offer);
    }
}

void DataControlPasteboard::deviceFinished() {
    qCWarning(lcDataControl, "the compositor stopped reporting the clipboard");
    protocol_->destroyDevice();
}

void DataControlPasteboard::readSelection(const QStringList& formats) {
    reading_ = Content{formats, std::nullopt, std::nullopt, watching_};
    const QString textFormat = firstOf(clipboard_formats::kText, formats);
    const QString rtfFormat = firstOf(clipboard_formats::kRtf, formats);
    const std::uint64_t generation = generation_;
    for (const QString& format : {textFormat, rtfFormat}) {
        if (format.isEmpty()) {
            continue;
        }
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            continue;
        }
        protocol_->receive(selection_, format, fds[1]);
        ::close(fds[1]);
        const bool isText = format == textFormat;
        readers_.push_back(std::make_unique<PipeReader>(
            fds[0], kMaxReadBytes, kSilenceMs, [this, generation, isText, format](std::optional<QByteArray> bytes) {
                if (!bytes) {
                    qCDebug(lcDataControl) << "no answer for" << format;
                }
                (isText ? reading_.text : reading_.rtf) = std::move(bytes);
                readFinished(generation);
            }));
    }
    connection_.flush();
    if (readers_.empty()) {
        publish(std::move(reading_));
    }
}

void DataControlPasteboard::readFinished(std::uint64_t generation) {
    if (generation != generation_) {
        return;
    }
    for (const auto& reader : readers_) {
        if (!reader->isDone()) {
            return;
        }
    }
    // Not from inside the last reader's callback: publishing clears the readers.
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == generation_) {
                readers_.clear();
                publish(std::move(reading_));
            }
        },
        Qt::QueuedConnection);
}

void DataControlPasteboard::publish(Content content) {
    const bool counts = content.counts;
    current_ = std::move(content);
    if (!counts) {
        return; // what was on the clipboard at start is not a copy made while watching
    }
    ++changeCount_;
    notifyLater();
}

void DataControlPasteboard::notifyLater() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            // Copied: an observer may unsubscribe while being told.
            const auto observers = observers_;
            for (const auto& [id, changed] : observers) {
                if (observers_.count(id)) {
                    changed();
                }
            }
        },
        Qt::QueuedConnection);
}

QStringList DataControlPasteboard::types() {
    QStringList result;
    for (const QString& format : current_.formats) {
        if (format == kOwnMarker) {
            continue;
        }
        const QString type = clipboard_formats::typeForFormat(format);
        if (!result.contains(type)) {
            result.append(type);
        }
    }
    return result;
}

std::optional<QString> DataControlPasteboard::string() {
    if (!current_.text) {
        return std::nullopt;
    }
    return QString::fromUtf8(*current_.text);
}

std::optional<QByteArray> DataControlPasteboard::data(const QString& type) {
    if (type == PasteboardType::String) {
        return current_.text;
    }
    if (type == PasteboardType::RTF) {
        return current_.rtf;
    }
    // Other formats are not read ahead: their bytes are not kept by anything that asks today.
    return std::nullopt;
}

std::int64_t DataControlPasteboard::write(const QString& text, const std::optional<QByteArray>& rtf) {
    // A previous source of ours is let go when the compositor cancels it: destroying it first would empty the
    // clipboard for a moment, which reads as a copy of nothing.
    QStringList formats = clipboard_formats::kText;
    if (rtf) {
        formats.append(clipboard_formats::kRtf.first());
    }
    formats.append(kOwnMarker);
    own_ = Content{formats, text.toUtf8(), rtf, true};
    ownSource_ = protocol_->createSource(formats);
    protocol_->setSelection(ownSource_);
    connection_.flush();
    ++generation_;
    readers_.clear();
    current_ = own_;
    ++changeCount_;
    notifyLater();
    return changeCount_;
}

void DataControlPasteboard::sendRequested(void* source, const char* mime, int fd) {
    const QString format = QString::fromUtf8(mime);
    if (source != ownSource_) {
        ::close(fd);
        return;
    }
    QByteArray bytes;
    if (clipboard_formats::kText.contains(format) && own_.text) {
        bytes = *own_.text;
    } else if (clipboard_formats::kRtf.contains(format) && own_.rtf) {
        bytes = *own_.rtf;
    }
    PipeWriter::start(fd, std::move(bytes), kWriteSilenceMs);
}

void DataControlPasteboard::sourceCancelled(void* source) {
    protocol_->destroySource(source);
    if (source == ownSource_) {
        ownSource_ = nullptr;
    }
}

namespace {

class ObserverSubscription final : public Subscription {
public:
    ObserverSubscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    ~ObserverSubscription() override { cancel_(); }

private:
    std::function<void()> cancel_;
};

} // namespace

SubscriptionPtr DataControlPasteboard::observeChanges(std::function<void()> changed) {
    if (!changed) {
        return nullptr;
    }
    const std::uint64_t id = nextObserver_++;
    observers_[id] = std::move(changed);
    return std::make_unique<ObserverSubscription>([this, id, alive = alive_] {
        if (*alive) {
            observers_.erase(id);
        }
    });
}

} // namespace tillory::platform::nix
