#pragma once

#include "core/scheduler.h"
#include "notch/now_playing.h"
#include "platform/api/bitmap.h"
#include "platform/api/script_runner.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace tillory::core {
class Settings;
}
namespace tillory::platform {
struct Platform;
class UrlFetcher;
class ImageDecoder;
} // namespace tillory::platform

namespace tillory::notch {

/// What plays in the running players of the two supported kinds: polls each through the script runner, keeps the
/// shown player's state, its cover art and that art's average colour, remembers each player's volume, and carries out
/// the transport buttons on the shown player. Main thread.
class MediaController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasNowPlaying READ hasNowPlaying NOTIFY nowPlayingChanged)
    Q_PROPERTY(QString appBundleId READ appBundleId NOTIFY nowPlayingChanged)
    Q_PROPERTY(QString title READ title NOTIFY nowPlayingChanged)
    Q_PROPERTY(QString artist READ artist NOTIFY nowPlayingChanged)
    Q_PROPERTY(QString shownTitle READ shownTitle NOTIFY nowPlayingChanged)
    Q_PROPERTY(QString shownArtist READ shownArtist NOTIFY nowPlayingChanged)
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY nowPlayingChanged)
    Q_PROPERTY(double position READ position NOTIFY nowPlayingChanged)
    Q_PROPERTY(double duration READ duration NOTIFY nowPlayingChanged)
    Q_PROPERTY(int volume READ volume NOTIFY nowPlayingChanged)
    Q_PROPERTY(double positionTimestamp READ positionTimestamp NOTIFY nowPlayingChanged)
    Q_PROPERTY(bool canSeek READ canSeek NOTIFY nowPlayingChanged)
    Q_PROPERTY(bool hasArtwork READ hasArtwork NOTIFY artworkChanged)
    Q_PROPERTY(QString artworkImageId READ artworkImageId NOTIFY artworkChanged)
    Q_PROPERTY(QString artworkColor READ artworkColor NOTIFY artworkChanged)

public:
    /// Seconds a player may take to answer one query before the poll counts it as not answering.
    static constexpr double kQueryDeadline = 3.0;
    /// Longest side of decoded cover art, in pixels.
    static constexpr int kArtworkMaxSide = 600;

    MediaController(const platform::Platform& platform, core::Settings& settings, core::Scheduler& scheduler,
                    QObject* parent = nullptr);
    ~MediaController() override;

    const std::optional<NowPlaying>& nowPlaying() const { return nowPlaying_; }
    const std::optional<platform::Bitmap>& artwork() const { return artwork_; }
    /// The art's mean colour as red, green and blue 0–255; nothing without art.
    struct Rgb {
        int red = 0;
        int green = 0;
        int blue = 0;
        friend bool operator==(const Rgb&, const Rgb&) = default;
    };
    const std::optional<Rgb>& artworkRgb() const { return artworkRgb_; }
    double pollInterval() const { return pollInterval_; }
    bool hasTimer() const { return static_cast<bool>(timer_); }
    bool isPollRunning() const { return pollRunning_; }

    bool hasNowPlaying() const { return nowPlaying_.has_value(); }
    QString appBundleId() const { return nowPlaying_ ? bundleId(nowPlaying_->app) : QString(); }
    QString title() const { return nowPlaying_ ? nowPlaying_->title : QString(); }
    QString artist() const { return nowPlaying_ ? nowPlaying_->artist : QString(); }
    /// Title and artist as the views show them: bidirectional controls in one steer nothing beyond it.
    QString shownTitle() const;
    QString shownArtist() const;
    bool isPlaying() const { return nowPlaying_ && nowPlaying_->isPlaying; }
    double position() const { return nowPlaying_ ? nowPlaying_->position : 0.0; }
    double duration() const { return nowPlaying_ ? nowPlaying_->duration : 0.0; }
    int volume() const { return nowPlaying_ ? nowPlaying_->volume : 0; }
    /// Scheduler seconds when `position` was last set.
    double positionTimestamp() const { return positionTimestamp_; }
    /// Only a track of known length can be sought.
    bool canSeek() const { return nowPlaying_ && nowPlaying_->duration > 0; }
    bool hasArtwork() const { return artwork_.has_value(); }
    /// Changes whenever new art is set, for an image provider; empty without art.
    QString artworkImageId() const;
    /// "#rrggbb", or empty without art.
    QString artworkColor() const;

    /// The position at scheduler time `now`: moving on while playing, still while paused; 0 with nothing shown.
    Q_INVOKABLE double livePosition(double now) const;
    /// livePosition over the duration, within 0…1; 0 when the duration is unknown.
    Q_INVOKABLE double progress(double now) const;
    Q_INVOKABLE double currentPosition() const;
    Q_INVOKABLE double currentProgress() const;
    /// A position or length as the scrubber shows it.
    Q_INVOKABLE QString clock(double seconds) const;

    /// Polls the players now; a request while a poll runs makes one more poll after it.
    Q_INVOKABLE void poll();
    /// Polls every `pollInterval` seconds; a tick while a poll runs is absorbed.
    Q_INVOKABLE void scheduleTimer();
    /// Stops the timer and abandons the poll in progress, whose replies are then ignored.
    Q_INVOKABLE void stopPolling();
    /// 1.5 s while the notch is expanded, 4.0 s while collapsed.
    Q_INVOKABLE void setPollingCadence(bool fast);

    /// Sends `command` to the shown player (or the first running one) and polls; false when nothing was sent.
    Q_INVOKABLE bool transport(const QString& command);
    /// Toggles playback and publishes the notice for the new state, when a command was sent.
    Q_INVOKABLE void playPause();
    Q_INVOKABLE void previousTrack();
    Q_INVOKABLE void nextTrack();
    /// Moves the shown track to `seconds` (within 0…duration); nothing for a track of unknown length.
    Q_INVOKABLE void seek(double seconds);

Q_SIGNALS:
    void nowPlayingChanged();
    void artworkChanged();
    /// A notice for the notch, for a command that was sent.
    void transportEvent(const tillory::notch::TransportHUD& notice);

private:
    using Answer = std::optional<NowPlaying>;
    struct Running {
        MediaApp app;
        platform::PlayerRef player;
    };
    /// Every running player, the kinds in their order of preference.
    std::vector<Running> running() const;
    void startPoll();
    void queryAll(std::uint64_t generation, std::optional<std::pair<QString, Answer>> known);
    void query(const Running& target, std::uint64_t generation, std::function<void(Answer)> done);
    void finishPoll(std::uint64_t generation, const Answer& best);
    /// Makes the poll in progress (if any) stale; its replies are dropped from here on.
    void abandonPoll();
    void apply(const Answer& best);
    void rememberVolume(const Answer& answer);
    void updateArtworkIfNeeded();
    void setArtwork(std::optional<platform::Bitmap> art);
    /// Decodes off the main thread and sets the result while `key` is still the shown track's.
    void decodeArtwork(const std::optional<QByteArray>& bytes, const QString& key);

    platform::ScriptRunner* runner_;
    platform::UrlFetcher* fetcher_;
    platform::ImageDecoder* decoder_;
    core::Settings& settings_;
    core::Scheduler& scheduler_;

    std::optional<NowPlaying> nowPlaying_;
    std::optional<platform::Bitmap> artwork_;
    std::optional<Rgb> artworkRgb_;
    int artworkSerial_ = 0;
    double positionTimestamp_ = 0;
    core::TimerPtr timer_;
    std::optional<QString> artworkKey_;
    double pollInterval_ = 4.0;
    /// The player whose volume was last seen, by id.
    std::optional<QString> lastVolumePlayer_;

    std::uint64_t generation_ = 0;
    bool pollRunning_ = false;
    bool repollWanted_ = false;
    std::uint64_t nextQuery_ = 1;
    std::map<std::uint64_t, core::TimerPtr> deadlines_;
};

/// The mean of red, green and blue over every pixel of a premultiplied bitmap (so transparent parts count as
/// black); nothing for an invalid bitmap.
std::optional<MediaController::Rgb> averageColor(const platform::Bitmap& bitmap);

} // namespace tillory::notch
