#pragma once

#include "notch/media_app.h"

#include <QMetaType>
#include <QString>

namespace tillory::notch {

/// One player's state as its last reply told it.
struct NowPlaying {
    /// The kind of player: which scripts it understands.
    MediaApp app = MediaApp::Music;
    /// The player itself, as the script runner addresses it while it runs; empty before a runner named it.
    QString player;
    /// The player as it is remembered across runs (its volume).
    QString playerName;
    QString title;
    QString artist;
    bool isPlaying = false;
    /// Seconds, at the time of the reply; never negative or NaN.
    double position = 0;
    /// Seconds; 0 when the player does not know it (streams).
    double duration = 0;
    /// 0–100; 70 when the reply did not tell it.
    int volume = 70;
    /// False when `volume` is only the stand-in: such a volume is shown but never remembered.
    bool volumeKnown = true;
    friend bool operator==(const NowPlaying&, const NowPlaying&) = default;
};

/// A short notice flashed below the notch: a symbol name and a label.
struct TransportHUD {
    QString symbol;
    QString label;
    friend bool operator==(const TransportHUD&, const TransportHUD&) = default;
};

} // namespace tillory::notch

Q_DECLARE_METATYPE(tillory::notch::TransportHUD)
