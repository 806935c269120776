#pragma once

#include "core/scheduler.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>

namespace tillory::platform {
class UrlFetcher;
class Workspace;
} // namespace tillory::platform

namespace tillory::shell {

/// One entry of the update feed.
struct UpdateInfo {
    /// Dot-separated decimal numbers.
    QString version;
    /// Always an https address with a host and without user information.
    QUrl url;
    std::optional<QString> notes;

    friend bool operator==(const UpdateInfo&, const UpdateInfo&) = default;

    /// The feed's JSON object: "version" and "url" strings are required, "notes" may be absent or null, other
    /// keys are ignored. Nothing when anything required is missing, of the wrong type, the version is not plain
    /// dot-separated numbers, or the address is not one a browser should be handed (any scheme but https, no
    /// host, or user information).
    static std::optional<UpdateInfo> decode(const QByteArray& json);
};

/// Whether `version` is newer than `than`, comparing dot-separated numbers piece by piece: empty pieces are
/// dropped, a missing one counts as 0 ("2.0" is not newer than "2"). Whatever follows the numbers ("1.0.0-rc1",
/// "1.2.beta") makes a pre-release of them, older than the plain release; two pre-releases of the same numbers
/// are not newer than each other.
bool isNewer(const QString& version, const QString& than);

/// Asks the update feed at start and once a day whether a newer version exists, and publishes it. It never
/// downloads the update itself. Main thread.
class UpdateChecker : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasUpdate READ hasUpdate NOTIFY availableChanged)
    Q_PROPERTY(QString updateVersion READ updateVersion NOTIFY availableChanged)

public:
    static inline const QString kFeedUrl = QStringLiteral("https://updates.tillory.app/tillory/appcast.json");
    static constexpr double kCheckInterval = 86400;
    /// A total deadline: a server that drips its answer must not hold the check past it.
    static constexpr double kTimeout = 15;
    static constexpr qint64 kMaxFeedBytes = 64 * 1024;

    /// `runningVersion` is this build's version; when empty nothing is ever offered, since anything would look
    /// newer than an unknown version.
    UpdateChecker(platform::UrlFetcher* fetcher, platform::Workspace* workspace, core::Scheduler& scheduler,
                  QString runningVersion, QObject* parent = nullptr);
    ~UpdateChecker() override;

    /// Checks now and then every day; a second call does nothing.
    void start();
    /// One check, unless one is already running.
    void check();
    bool isChecking() const { return checking_ != 0; }

    const std::optional<UpdateInfo>& available() const { return available_; }
    bool hasUpdate() const { return available_.has_value(); }
    QString updateVersion() const { return available_ ? available_->version : QString(); }

    /// Opens the offered version's address with the desktop's handler; nothing while none is offered.
    Q_INVOKABLE void openDownload();

Q_SIGNALS:
    void availableChanged();

private:
    void finish(std::uint64_t check, const std::optional<QByteArray>& body);

    platform::UrlFetcher* fetcher_;
    platform::Workspace* workspace_;
    core::Scheduler& scheduler_;
    QString runningVersion_;
    std::optional<UpdateInfo> available_;
    core::TimerPtr timer_;
    /// The running check's number, 0 when idle; a reply for any other number is stale and dropped.
    std::uint64_t checking_ = 0;
    std::uint64_t lastCheck_ = 0;
    core::TimerPtr deadline_;
};

} // namespace tillory::shell
