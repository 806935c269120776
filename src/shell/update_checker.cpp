#include "shell/update_checker.h"

#include "platform/api/network.h"
#include "platform/api/workspace.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QStringList>

#include <algorithm>
#include <utility>
#include <vector>

namespace tillory::shell {
namespace {

/// An address the desktop's opener may be handed: https with a host, and no user information, which would let
/// "https://updates.tillory.app@elsewhere.example/" pass for our own host at a glance.
bool isDownloadAddress(const QUrl& url) {
    return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty() &&
           url.userName().isEmpty() && url.password().isEmpty() &&
           !url.authority(QUrl::FullyEncoded).contains(QLatin1Char('@'));
}

/// One or more pieces of ASCII digits separated by single dots, each small enough to compare.
bool isPlainVersion(const QString& version) {
    const QStringList pieces = version.split(QLatin1Char('.'));
    return std::all_of(pieces.begin(), pieces.end(), [](const QString& piece) {
        bool fits = false;
        piece.toLongLong(&fits, 10);
        return fits && !piece.isEmpty() && std::all_of(piece.begin(), piece.end(), [](QChar c) {
                   return c >= QLatin1Char('0') && c <= QLatin1Char('9');
               });
    });
}

/// A version's numbers, and whether something else follows them ("1.0.0-rc1", "1.2.beta"): a pre-release of
/// those numbers.
struct Version {
    std::vector<qint64> numbers;
    bool preRelease = false;
};

Version parseVersion(const QString& text) {
    Version version;
    for (const QString& piece : text.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        qsizetype digits = 0;
        while (digits < piece.size() && piece[digits] >= QLatin1Char('0') && piece[digits] <= QLatin1Char('9')) {
            ++digits;
        }
        bool ok = false;
        const qint64 value = piece.left(digits).toLongLong(&ok, 10);
        version.numbers.push_back(ok ? value : 0);
        if (digits < piece.size()) {
            version.preRelease = true;
            break;
        }
    }
    return version;
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
    // The address goes to the desktop's opener, which would also run a desktop entry or a local file. A version
    // that is not plain numbers cannot be ordered against ours with any confidence.
    if (!isDownloadAddress(info.url) || !isPlainVersion(info.version)) {
        return std::nullopt;
    }
    return info;
}

bool isNewer(const QString& version, const QString& than) {
    const Version a = parseVersion(version);
    const Version b = parseVersion(than);
    for (std::size_t i = 0; i < std::max(a.numbers.size(), b.numbers.size()); ++i) {
        const qint64 x = i < a.numbers.size() ? a.numbers[i] : 0;
        const qint64 y = i < b.numbers.size() ? b.numbers[i] : 0;
        if (x != y) {
            return x > y;
        }
    }
    // The same numbers: only the release is newer than its pre-release; two pre-releases are not told apart.
    return b.preRelease && !a.preRelease;
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
    if (available_ && workspace_ != nullptr && isDownloadAddress(available_->url)) {
        workspace_->openUrl(available_->url);
    }
}

} // namespace tillory::shell
