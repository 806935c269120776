#pragma once

#include <QObject>
#include <QString>

namespace tillory::keys {

/// The state behind the lock's unlock slider: where the knob is, whether it went far enough, and what the label
/// and knob show. The view feeds it the drag and animates toward `offset`. Points; main thread.
class SlideToUnlock : public QObject {
    Q_OBJECT
    Q_PROPERTY(double trackW READ trackW CONSTANT)
    Q_PROPERTY(double trackH READ trackH CONSTANT)
    Q_PROPERTY(double knobDiameter READ knobDiameter CONSTANT)
    Q_PROPERTY(double travel READ travel CONSTANT)
    Q_PROPERTY(double offset READ offset NOTIFY offsetChanged)
    Q_PROPERTY(bool unlocked READ unlocked NOTIFY unlockedChanged)
    Q_PROPERTY(double labelOpacity READ labelOpacity NOTIFY labelOpacityChanged)
    Q_PROPERTY(QString knobSymbol READ knobSymbol NOTIFY knobSymbolChanged)

public:
    static constexpr double kTrackW = 300;
    static constexpr double kTrackH = 60;
    static constexpr double kKnobDiameter = kTrackH - 8;
    static constexpr double kTravel = kTrackW - kTrackH;
    static constexpr double kThreshold = 0.9 * kTravel;
    static constexpr double kMinimumDragDistance = 10;
    static constexpr double kLabelMaxOpacity = 0.7;
    static constexpr double kLabelMinOpacity = 0.15;
    static inline const QString kKnobSymbolLocked = QStringLiteral("chevron.right.2");
    static inline const QString kKnobSymbolUnlocked = QStringLiteral("checkmark");

    explicit SlideToUnlock(QObject* parent = nullptr);

    double trackW() const { return kTrackW; }
    double trackH() const { return kTrackH; }
    double knobDiameter() const { return kKnobDiameter; }
    double travel() const { return kTravel; }

    /// Points the knob has been dragged from the track's start, 0 to `travel`.
    double offset() const { return offset_; }
    bool unlocked() const { return unlocked_; }
    /// Fades from 0.7 at rest toward 0.15 as the knob moves.
    double labelOpacity() const;
    QString knobSymbol() const { return unlocked_ ? kKnobSymbolUnlocked : kKnobSymbolLocked; }

    /// The pointer moved while pressed; the translation is from the press, in points. Nothing happens until the
    /// pointer is 10 points away from the press. Ignored once unlocked.
    Q_INVOKABLE void dragChanged(double translationX, double translationY);
    /// The pointer was let go: past the threshold the slider unlocks and asks for the unlock, otherwise the knob
    /// goes back to the start. A press that never became a drag changes nothing.
    Q_INVOKABLE void released();

Q_SIGNALS:
    void offsetChanged();
    void unlockedChanged();
    void labelOpacityChanged();
    void knobSymbolChanged();
    /// Sent once, when the knob is released past the threshold.
    void unlockRequested();

private:
    void setOffset(double offset);

    double offset_ = 0;
    bool unlocked_ = false;
    bool dragging_ = false;
};

} // namespace tillory::keys
