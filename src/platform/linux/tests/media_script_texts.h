#pragma once

// The state queries the media controller sends, copied here so that a change on either side shows.
inline constexpr const char* kMusicStateScript = R"(tell application "Music"
    set theState to (player state as string)
    if theState is in {"playing", "paused"} then
        return theState & "|~|" & (name of current track) & "|~|" & (artist of current track) & "|~|" & (player position as string) & "|~|" & ((duration of current track) as string) & "|~|" & (sound volume as string)
    end if
    return theState
end tell)";
inline constexpr const char* kSpotifyStateScript = R"(tell application "Spotify"
    set theState to (player state as string)
    if theState is in {"playing", "paused"} then
        return theState & "|~|" & (name of current track) & "|~|" & (artist of current track) & "|~|" & (player position as string) & "|~|" & (((duration of current track) / 1000) as string) & "|~|" & (sound volume as string)
    end if
    return theState
end tell)";
