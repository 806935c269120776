#pragma once

#include "platform/api/pasteboard.h"

#include <QObject>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tillory::platform::nix {

class WaylandConnection;
class PipeReader;

/// The clipboard on a Wayland compositor through its data-control protocol (the ext protocol where offered, the
/// wlroots one otherwise): every copy is seen without focus, and writing takes the clipboard for every program.
///
/// A new copy's text and RTF are read through pipes as they arrive, on the main thread without blocking it; only
/// then does the change count move and are observers told, so readers answer at once from what was read. A
/// program that never answers costs a copy, not the main thread.
class DataControlPasteboard final : public QObject, public Pasteboard {
    Q_OBJECT
public:
    /// Nothing when the compositor offers neither protocol or no seat.
    static std::unique_ptr<DataControlPasteboard> create(WaylandConnection& connection);
    ~DataControlPasteboard() override;

    std::int64_t changeCount() override { return changeCount_; }
    QStringList types() override;
    std::optional<QString> string() override;
    std::optional<QByteArray> data(const QString& type) override;
    std::int64_t write(const QString& text, const std::optional<QByteArray>& rtf) override;
    SubscriptionPtr observeChanges(std::function<void()> changed) override;

    /// The manager interface in use.
    QByteArray protocolName() const;

    // What the protocol glue reports; not for other callers.
    void offerIntroduced(void* offer);
    void offerFormat(void* offer, const char* mime);
    void selectionChanged(void* offer);
    void primarySelectionChanged(void* offer);
    void deviceFinished();
    void sendRequested(void* source, const char* mime, int fd);
    void sourceCancelled(void* source);

    class Protocol;

private:
    DataControlPasteboard(WaylandConnection& connection, std::unique_ptr<Protocol> protocol);

    struct Content {
        QStringList formats;
        std::optional<QByteArray> text;
        std::optional<QByteArray> rtf;
        bool counts = true; ///< a change while watching, not the content found at start
    };
    void readSelection(const QStringList& formats);
    void readFinished(std::uint64_t generation);
    void publish(Content content);
    void notifyLater();

    WaylandConnection& connection_;
    std::unique_ptr<Protocol> protocol_;
    std::int64_t changeCount_ = 0;
    bool watching_ = false; ///< past the clipboard found at start
    std::uint64_t generation_ = 0;
    std::map<void*, QStringList> introduced_; ///< offers whose role is not yet known, with their formats
    void* selection_ = nullptr;               ///< the clipboard's current offer, owned
    Content current_;
    Content reading_;
    std::vector<std::unique_ptr<PipeReader>> readers_;
    void* ownSource_ = nullptr;
    Content own_;
    std::map<std::uint64_t, std::function<void()>> observers_;
    std::uint64_t nextObserver_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace tillory::platform::nix
