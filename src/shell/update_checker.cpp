#include "shell/update_checker.h"

#include "platform/api/network.h"
#include "platform/api/workspace.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

#include <algorithm>
#include <utility>
#include <vector>

namespace tillory::shell {
namespace {

bool isWebAddress(const QUrl& url) {
    return url.isValid() && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")) &&
           !url.host().isEmpty();
}

std::vector<qint64> versionPieces(const QString& version) {
    std::vector<qint64> pieces;
    for (const QString& piece : version.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        bool ok = false;
        const qint64 value = piece.toLongLong(&ok, 10);
        pieces.push_back(ok ? value : 0);
    }
    return pieces;
}

} // namespace

std::optional<UpdateInfo> UpdateInfo::decode(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const QJsonValue version = object.value(QLatin1String("version"));
    const QJsonValue url = object.value(QLatin1String("url"));
    const QJsonValue notes = object.value(QLatin1String("notes"));
    if (!version.isString() || !url.isString() || !(notes.isUndefined() || notes.isNull() || notes.isString())) {
        return std::nullopt;
    }
    UpdateInfo info;
    info.version = version.toString();
    info.url = QUrl(url.toString(), QUrl::StrictMode);
    if (notes.isString()) {
        info.notes = notes.toString();
    }
    // The address goes to the desktop's opener, which would also run a desktop entry or a local file.
    if (!isWebAddress(info.url)) {
        return std::nullopt;
    }
    return info;
}

bool isNewer(const QString& version, const QString& than) {
    const std::vector<qint64> a = versionPieces(version);
    const std::vector<qint64> b = versionPieces(than);
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const qint64 x = i < a.size() ? a[i] : 0;
        const qint64 y = i < b.size() ? b[i] : 0;
        if (x != y) {
            return x > y;
        }
    }
    return false;
}

UpdateChecker::UpdateChecker(platform::UrlFetcher* fetcher, platform::Workspace* workspace, core::Scheduler& scheduler,
                             QString runningVersion, QObject* parent)
    : QObject(parent), fetcher_(fetcher), workspace_(workspace), scheduler_(scheduler),
      runningVersion_(std::move(runningVersion)) {}

UpdateChecker::~UpdateChecker() = default;

void UpdateChecker::start() {
    if (timer_) {
        return;
    }
    check();
    timer_ = scheduler_.every(kCheckInterval, [this] { check(); });
}

void UpdateChecker::check() {
    if (checking_ != 0 || fetcher_ == nullptr || runningVersion_.isEmpty()) {
        return;
    }
    const std::uint64_t number = ++lastCheck_;
    checking_ = number;
    // The fetcher keeps the same deadline; this one also holds when a reply never comes.
    deadline_ = scheduler_.after(kTimeout, [this, number] { finish(number, std::nullopt); });
    QPointer<UpdateChecker> self(this);
    fetcher_->fetchHttps(QUrl(kFeedUrl), kMaxFeedBytes, kTimeout,
                         [self, number](const std::optional<QByteArray>& body) {
                             if (self) {
                                 self->finish(number, body);
                             }
                         });
}

void UpdateChecker::finish(std::uint64_t check, const std::optional<QByteArray>& body) {
    if (check != checking_) {
        return;
    }
    checking_ = 0;
    deadline_.reset();
    const std::optional<UpdateInfo> info = body ? UpdateInfo::decode(*body) : std::nullopt;
    if (!info) {
        return;
    }
    std::optional<UpdateInfo> offered = isNewer(info->version, runningVersion_) ? info : std::nullopt;
    if (offered != available_) {
        available_ = std::move(offered);
        Q_EMIT availableChanged();
    }
}

void UpdateChecker::openDownload() {
    if (available_ && workspace_ != nullptr && isWebAddress(available_->url)) {
        workspace_->openUrl(available_->url);
    }
}

} // namespace tillory::shell
