#include "notch/media_controller.h"

#include "core/settings.h"
#include "notch/media_reply.h"
#include "platform/api/platform.h"

#include <QPointer>
#include <QUrl>
#include <QVariantMap>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tillory::notch {
namespace {

const QString kVolumeMemory = QStringLiteral("volumeMemory");
constexpr double kFastInterval = 1.5;
constexpr double kSlowInterval = 4.0;
// Music answers a few bytes of nothing when a track has no art.
constexpr qsizetype kMinArtworkBytes = 17;
// As much as a cover read from a file may be: real covers are a fraction of it.
constexpr qint64 kMaxArtworkDownload = 4 * 1024 * 1024;
constexpr double kArtworkDownloadDeadline = 10.0;

/// Identity of a track for its art; lengths keep "a|b" + "c" apart from "a" + "b|c".
QString trackKey(const NowPlaying& playing) {
    return QStringLiteral("%1|%2:%3|%4")
        .arg(playing.player)
        .arg(playing.title.size())
        .arg(playing.title, playing.artist);
}

std::optional<int> storedVolume(const QVariant& value) {
    bool ok = false;
    const double number = value.toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        return std::nullopt;
    }
    return static_cast<int>(std::clamp(std::trunc(number), 0.0, 100.0));
}

/// The stored volumes that read; a foreign entry costs only itself.
QMap<QString, qint64> readVolumeMemory(const core::Settings& settings) {
    QMap<QString, qint64> result;
    const QVariantMap map = settings.object(kVolumeMemory).toMap();
    for (auto it = map.begin(); it != map.end(); ++it) {
        if (auto volume = storedVolume(it.value())) {
            result.insert(it.key(), *volume);
        }
    }
    return result;
}

} // namespace

MediaController::MediaController(const platform::Platform& platform, core::Settings& settings,
                                 core::Scheduler& scheduler, QObject* parent)
    : QObject(parent), runner_(platform.scriptRunner), fetcher_(platform.urlFetcher), decoder_(platform.imageDecoder),
      settings_(settings), scheduler_(scheduler), positionTimestamp_(scheduler.now()) {}

MediaController::~MediaController() = default;

QString MediaController::artworkImageId() const {
    return artwork_ ? QString::number(artworkSerial_) : QString();
}

QString MediaController::artworkColor() const {
    if (!artworkRgb_) {
        return {};
    }
    return QStringLiteral("#%1%2%3")
        .arg(artworkRgb_->red, 2, 16, QLatin1Char('0'))
        .arg(artworkRgb_->green, 2, 16, QLatin1Char('0'))
        .arg(artworkRgb_->blue, 2, 16, QLatin1Char('0'));
}

QString MediaController::shownTitle() const {
    return isolated(title());
}

QString MediaController::shownArtist() const {
    return isolated(artist());
}

QString MediaController::clock(double seconds) const {
    return clockText(seconds);
}

double MediaController::livePosition(double now) const {
    if (!nowPlaying_) {
        return 0;
    }
    const double elapsed = nowPlaying_->isPlaying ? std::max(0.0, now - positionTimestamp_) : 0.0;
    return nowPlaying_->position + elapsed;
}

double MediaController::progress(double now) const {
    if (!canSeek()) {
        return 0;
    }
    return std::clamp(livePosition(now) / nowPlaying_->duration, 0.0, 1.0);
}

double MediaController::currentPosition() const {
    return livePosition(scheduler_.now());
}

double MediaController::currentProgress() const {
    return progress(scheduler_.now());
}

// Polling -------------------------------------------------------------------------------------------------------

void MediaController::poll() {
    if (pollRunning_) {
        repollWanted_ = true;
        return;
    }
    startPoll();
}

void MediaController::scheduleTimer() {
    QPointer<MediaController> self(this);
    timer_ = scheduler_.every(pollInterval_, [self] {
        if (self && !self->pollRunning_) {
            self->startPoll();
        }
    });
}

void MediaController::stopPolling() {
    timer_.reset();
    abandonPoll();
    repollWanted_ = false;
}

void MediaController::setPollingCadence(bool fast) {
    const double wanted = fast ? kFastInterval : kSlowInterval;
    if (pollInterval_ == wanted) {
        return;
    }
    pollInterval_ = wanted;
    if (!timer_) {
        return;
    }
    timer_.reset();
    if (fast) {
        poll();
    }
    scheduleTimer();
}

void MediaController::abandonPoll() {
    ++generation_;
    pollRunning_ = false;
    deadlines_.clear();
}

std::vector<MediaController::Running> MediaController::running() const {
    std::vector<Running> found;
    for (MediaApp app : kMediaApps) {
        for (platform::PlayerRef& player : runner_->players(bundleId(app))) {
            found.push_back({app, std::move(player)});
        }
    }
    return found;
}

void MediaController::startPoll() {
    if (!runner_) {
        return;
    }
    const std::uint64_t generation = ++generation_;
    pollRunning_ = true;
    // The shown player keeps the notch while it plays, even when another one plays too.
    if (nowPlaying_) {
        for (const Running& r : running()) {
            if (r.player.id != nowPlaying_->player) {
                continue;
            }
            query(r, generation, [this, generation, shown = r.player.id](Answer answer) {
                if (answer && answer->isPlaying) {
                    finishPoll(generation, answer);
                } else {
                    queryAll(generation, std::make_pair(shown, answer));
                }
            });
            return;
        }
    }
    queryAll(generation, std::nullopt);
}

void MediaController::queryAll(std::uint64_t generation, std::optional<std::pair<QString, Answer>> known) {
    const std::vector<Running> players = running();
    if (players.empty()) {
        finishPoll(generation, std::nullopt);
        return;
    }
    auto answers = std::make_shared<std::vector<Answer>>(players.size());
    auto left = std::make_shared<std::size_t>(players.size());
    const QString shown = nowPlaying_ ? nowPlaying_->player : QString();
    auto answered = [this, generation, answers, left, shown](std::size_t i, Answer answer) {
        (*answers)[i] = std::move(answer);
        if (--*left > 0) {
            return;
        }
        // The first player that plays; while none plays, the shown one stays; else the first that answered.
        Answer best;
        for (const Answer& a : *answers) {
            if (a && (!best || (a->isPlaying && !best->isPlaying) ||
                      (!a->isPlaying && !best->isPlaying && a->player == shown && best->player != shown))) {
                best = a;
            }
        }
        finishPoll(generation, best);
    };
    for (std::size_t i = 0; i < players.size(); ++i) {
        // The shown player has just answered this poll; its answer stands rather than asking it twice.
        if (known && known->first == players[i].player.id) {
            answered(i, known->second);
        } else {
            query(players[i], generation, [answered, i](Answer answer) { answered(i, std::move(answer)); });
        }
    }
}

void MediaController::query(const Running& target, std::uint64_t generation, std::function<void(Answer)> done) {
    const std::uint64_t id = nextQuery_++;
    QPointer<MediaController> self(this);
    // Whichever comes first, the reply or the deadline, answers; `done` runs only while the poll is current.
    auto finish =
        std::make_shared<std::function<void(Answer)>>([self, generation, id, done = std::move(done)](Answer answer) {
            if (!self || generation != self->generation_ || !self->deadlines_.count(id)) {
                return;
            }
            self->deadlines_.erase(id);
            done(std::move(answer));
        });
    deadlines_[id] = scheduler_.after(kQueryDeadline, [finish] { (*finish)(std::nullopt); });
    runner_->string(target.player.id, stateScript(target.app), [finish, target](std::optional<QString> reply) {
        Answer answer = reply ? parseStateReply(*reply, target.app) : std::nullopt;
        if (answer) {
            answer->player = target.player.id;
            answer->playerName = target.player.name;
        }
        (*finish)(std::move(answer));
    });
}

void MediaController::finishPoll(std::uint64_t generation, const Answer& best) {
    if (generation != generation_) {
        return;
    }
    pollRunning_ = false;
    deadlines_.clear();
    apply(best);
    if (repollWanted_ && !pollRunning_) {
        repollWanted_ = false;
        startPoll();
    }
}

void MediaController::apply(const Answer& best) {
    rememberVolume(best);
    if (best == nowPlaying_) {
        return;
    }
    positionTimestamp_ = scheduler_.now();
    nowPlaying_ = best;
    Q_EMIT nowPlayingChanged();
    updateArtworkIfNeeded();
}

void MediaController::rememberVolume(const Answer& answer) {
    if (!answer) {
        return;
    }
    QMap<QString, qint64> memory = readVolumeMemory(settings_);
    const QString key = answer->playerName;
    if (lastVolumePlayer_ && *lastVolumePlayer_ != answer->player) {
        // The shown player changed: hand it back the volume it had when it was last shown.
        if (memory.contains(key) && (!answer->volumeKnown || memory.value(key) != answer->volume)) {
            runner_->fire(answer->player,
                          commandScript(answer->app, QStringLiteral("set sound volume to %1").arg(memory.value(key))));
        }
    } else if (answer->volumeKnown && !key.isEmpty() &&
               (!memory.contains(key) || memory.value(key) != answer->volume)) {
        memory.insert(key, answer->volume);
        settings_.setIntDictionary(kVolumeMemory, memory);
    }
    lastVolumePlayer_ = answer->player;
}

// Commands ------------------------------------------------------------------------------------------------------

bool MediaController::transport(const QString& command) {
    if (!runner_) {
        return false;
    }
    std::optional<std::pair<MediaApp, QString>> target;
    if (nowPlaying_) {
        target = {nowPlaying_->app, nowPlaying_->player};
    } else if (const std::vector<Running> players = running(); !players.empty()) {
        target = {players.front().app, players.front().player.id};
    }
    if (!target) {
        return false;
    }
    runner_->fire(target->second, commandScript(target->first, command));
    // A reply already on its way predates the command; the fresh poll runs after it on the runner's queue.
    abandonPoll();
    repollWanted_ = false;
    startPoll();
    return true;
}

void MediaController::playPause() {
    const bool wasPlaying = isPlaying();
    if (!transport(QStringLiteral("playpause"))) {
        return;
    }
    Q_EMIT transportEvent(wasPlaying ? TransportHUD{QStringLiteral("pause.fill"), QStringLiteral("Paused")}
                                     : TransportHUD{QStringLiteral("play.fill"), QStringLiteral("Playing")});
}

void MediaController::previousTrack() {
    if (transport(QStringLiteral("previous track"))) {
        Q_EMIT transportEvent({QStringLiteral("backward.fill"), QStringLiteral("Previous")});
    }
}

void MediaController::nextTrack() {
    if (transport(QStringLiteral("next track"))) {
        Q_EMIT transportEvent({QStringLiteral("forward.fill"), QStringLiteral("Next")});
    }
}

void MediaController::seek(double seconds) {
    if (!runner_ || !canSeek() || !std::isfinite(seconds)) {
        return;
    }
    const double target = std::clamp(seconds, 0.0, nowPlaying_->duration);
    runner_->fire(
        nowPlaying_->player,
        commandScript(nowPlaying_->app,
                      QStringLiteral("set player position to %1").arg(static_cast<qint64>(std::trunc(target)))));
    // A poll in flight would bring back the old position; ask again behind the seek instead.
    const bool wasPolling = pollRunning_ || repollWanted_;
    abandonPoll();
    repollWanted_ = false;
    positionTimestamp_ = scheduler_.now();
    nowPlaying_->position = target;
    Q_EMIT nowPlayingChanged();
    if (wasPolling) {
        startPoll();
    }
}

// Artwork -------------------------------------------------------------------------------------------------------

void MediaController::decodeArtwork(const std::optional<QByteArray>& bytes, const QString& key) {
    if (!bytes || bytes->size() < kMinArtworkBytes || !decoder_) {
        setArtwork(std::nullopt);
        return;
    }
    QPointer<MediaController> self(this);
    decoder_->decode(*bytes, kArtworkMaxSide, [self, key](std::optional<platform::Bitmap> bitmap) {
        if (self && self->artworkKey_ == key) {
            self->setArtwork(bitmap && bitmap->isValid() ? std::move(bitmap) : std::nullopt);
        }
    });
}

void MediaController::updateArtworkIfNeeded() {
    if (!nowPlaying_) {
        artworkKey_.reset();
        setArtwork(std::nullopt);
        return;
    }
    const QString key = trackKey(*nowPlaying_);
    if (key == artworkKey_) {
        return;
    }
    artworkKey_ = key;
    QPointer<MediaController> self(this);
    auto current = [self, key] { return self && self->artworkKey_ == key; };
    const MediaApp app = nowPlaying_->app;
    if (app == MediaApp::Music) {
        runner_->data(nowPlaying_->player, artworkScript(app), [self, current, key](std::optional<QByteArray> bytes) {
            if (current()) {
                self->decodeArtwork(bytes, key);
            }
        });
        return;
    }
    runner_->string(nowPlaying_->player, artworkScript(app), [self, current, key](std::optional<QString> reply) {
        if (!current()) {
            return;
        }
        const QUrl url(reply ? reply->trimmed() : QString(), QUrl::StrictMode);
        if (!reply || !url.isValid() || url.scheme().isEmpty() || !self->fetcher_) {
            self->setArtwork(std::nullopt);
            return;
        }
        self->fetcher_->fetch(url, kMaxArtworkDownload, kArtworkDownloadDeadline,
                              [self, current, key](std::optional<QByteArray> bytes) {
                                  if (current()) {
                                      self->decodeArtwork(bytes, key);
                                  }
                              });
    });
}

void MediaController::setArtwork(std::optional<platform::Bitmap> art) {
    if (!art && !artwork_) {
        return;
    }
    artwork_ = std::move(art);
    artworkRgb_ = artwork_ ? averageColor(*artwork_) : std::nullopt;
    ++artworkSerial_;
    Q_EMIT artworkChanged();
}

std::optional<MediaController::Rgb> averageColor(const platform::Bitmap& bitmap) {
    if (!bitmap.isValid()) {
        return std::nullopt;
    }
    std::uint64_t red = 0;
    std::uint64_t green = 0;
    std::uint64_t blue = 0;
    const char* data = bitmap.pixels.constData();
    for (int y = 0; y < bitmap.height; ++y) {
        const char* row = data + static_cast<std::ptrdiff_t>(y) * bitmap.stride;
        for (int x = 0; x < bitmap.width; ++x) {
            std::uint32_t pixel = 0;
            std::memcpy(&pixel, row + 4 * static_cast<std::ptrdiff_t>(x), 4);
            red += (pixel >> 16) & 0xff;
            green += (pixel >> 8) & 0xff;
            blue += pixel & 0xff;
        }
    }
    const std::uint64_t count = static_cast<std::uint64_t>(bitmap.width) * static_cast<std::uint64_t>(bitmap.height);
    auto mean = [count](std::uint64_t sum) { return static_cast<int>((sum + count / 2) / count); };
    return MediaController::Rgb{mean(red), mean(green), mean(blue)};
}

} // namespace tillory::notch
