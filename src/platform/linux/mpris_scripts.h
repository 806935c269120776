#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

namespace tillory::platform::nix {

/// One of the fixed player scripts the media controller sends, as MPRIS can carry it out.
struct MprisScript {
    enum class Player { Music, Spotify };
    enum class Kind { State, PlayPause, Next, Previous, SetPosition, SetVolume, ArtworkUrl, ArtworkData };
    Player player = Player::Music;
    Kind kind = Kind::State;
    /// Seconds for SetPosition, 0–100 for SetVolume.
    qint64 argument = 0;
    friend bool operator==(const MprisScript&, const MprisScript&) = default;
};

/// The script `source` stands for, or nothing when it is not exactly one of the known forms (runs of white space
/// count as one space, so indentation and line endings may differ).
std::optional<MprisScript> parseMprisScript(const QString& source);

/// The state reply for the properties of org.mpris.MediaPlayer2.Player (as GetAll gives them):
/// "state|~|title|~|artist|~|position|~|duration|~|volume" with seconds written with '.', volume 0–100 or empty when
/// the player has none; the state alone when stopped. Nothing when there is no PlaybackStatus.
std::optional<QString> mprisStateReply(const QVariantMap& playerProperties);

/// `text` made safe as one field of a state reply: no separator, no line break or other control character, no
/// unpaired surrogate, at most a few thousand characters.
QString mprisReplyField(const QString& text);

} // namespace tillory::platform::nix
