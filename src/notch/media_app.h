#pragma once

#include <QString>

#include <array>
#include <optional>

namespace tillory::notch {

/// The supported players, in order of preference when nothing plays.
enum class MediaApp { Music, Spotify };

inline constexpr std::array<MediaApp, 2> kMediaApps{MediaApp::Music, MediaApp::Spotify};

inline QString bundleId(MediaApp app) {
    return app == MediaApp::Music ? QStringLiteral("com.apple.Music") : QStringLiteral("com.spotify.client");
}

/// The name scripts address the player by.
inline QString scriptName(MediaApp app) {
    return app == MediaApp::Music ? QStringLiteral("Music") : QStringLiteral("Spotify");
}

inline std::optional<MediaApp> mediaAppFromBundleId(const QString& id) {
    for (MediaApp app : kMediaApps) {
        if (bundleId(app) == id) {
            return app;
        }
    }
    return std::nullopt;
}

} // namespace tillory::notch
