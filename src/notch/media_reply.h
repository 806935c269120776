#pragma once

#include "notch/now_playing.h"

#include <QString>

#include <optional>

namespace tillory::notch {

/// The script asking a player for its state; its reply is "state|~|title|~|artist|~|position|~|duration|~|volume",
/// or the state alone when the player is stopped.
QString stateScript(MediaApp app);

/// `tell application "N" to <command>`.
QString commandScript(MediaApp app, const QString& command);

/// The script answering the current track's cover: its URL for Spotify, its bytes for Music.
QString artworkScript(MediaApp app);

/// Reads a state reply. The state comes from the front and the three numbers from the back, so a title holding the
/// separator still reads (the artist is then the last field before the numbers). Numbers may use a decimal comma;
/// position and duration that do not read, or read negative or not finite, are 0; a volume that does not read is
/// 70 and unknown, one out of range is clamped to 0–100; a duration above a week is unknown (0). Nothing for a
/// stopped player or fewer than six fields.
std::optional<NowPlaying> parseStateReply(const QString& reply, MediaApp app);

/// "m:ss" below 100 minutes, "h:mm:ss" from there; negative or not finite as "0:00".
QString clockText(double seconds);

/// A field that holds bidirectional controls, wrapped so that they steer only itself (first-strong isolate);
/// other text as it is.
QString isolated(const QString& field);

} // namespace tillory::notch
