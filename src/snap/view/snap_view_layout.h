#pragma once

#include "snap/snap_controller.h"

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QRegion>
#include <QSize>

namespace tillory::snap {

/// Where the snap views put their parts, and what a window without compositing must show: the rules the QML
/// binds to, kept here where a test reaches them. The window is one display, in that display's top-left points.
/// Main thread.
class SnapViewLayout : public QObject {
    Q_OBJECT
    /// False without a compositing manager: nothing see-through, no dimming, no fades.
    Q_PROPERTY(bool translucent READ translucent NOTIFY translucentChanged)
    /// The floating card of the picker or Snap Assist, centred on the window, in whole points.
    Q_PROPERTY(QRectF cardRect READ cardRect NOTIFY cardRectChanged)
    /// Snap Assist's tiles per row: as many as the display's width leaves room for.
    Q_PROPERTY(int tileColumns READ tileColumns NOTIFY cardRectChanged)
    /// The preview's spring as Qt Quick's SpringAnimation takes it.
    Q_PROPERTY(double springStrength READ springStrength CONSTANT)
    Q_PROPERTY(double springDamping READ springDamping CONSTANT)

public:
    static constexpr double kCardMargin = 22;
    static constexpr double kTitleHeight = 20;
    static constexpr double kSpacing = 14;
    static constexpr double kHintHeight = 14;
    static constexpr double kCardRadius = 20;
    static constexpr double kLayoutCardWidth = 150;
    static constexpr double kLayoutCardHeight = 94;
    static constexpr double kLayoutCardGap = 16;
    static constexpr double kAssistCardWidth = 220;
    static constexpr double kAssistCardHeight = 138;
    static constexpr double kTileWidth = 132;
    static constexpr double kTileHeight = 84 + 6 + 16;
    static constexpr double kTileGap = 12;
    static constexpr double kEmptyRowHeight = 110;
    /// Wide enough for the assist hint when only a few tiles show.
    static constexpr double kAssistMinContentWidth = 360;
    static constexpr double kPreviewRadius = 10;
    /// The opaque preview's ring: a 3-point white outline and a 1-point accent line.
    static constexpr double kPreviewRing = 4;
    static constexpr double kBarRadius = 18;
    static constexpr double kZoneInset = 6;
    static constexpr double kZoneGap = 3;
    static constexpr double kSpringResponse = 0.28;
    static constexpr double kSpringDampingFraction = 0.82;

    explicit SnapViewLayout(SnapController* controller, QObject* parent = nullptr);

    bool translucent() const { return translucent_; }
    void setTranslucent(bool translucent);
    /// The window's size, in points.
    void setWindowSize(QSize size);
    QRectF cardRect() const;
    double springStrength() const { return spring(kSpringResponse, kSpringDampingFraction).strength; }
    double springDamping() const { return spring(kSpringResponse, kSpringDampingFraction).damping; }

    /// What a window without compositing shows of itself: the preview's ring and the bar while the drag overlay
    /// is up, the card while the picker or Snap Assist is open; empty when nothing is drawn.
    QRegion opaqueMask() const;

    /// Zone `unit` of a layout card `width` × `height`: inside a 6-point margin, 3 points in from its share.
    Q_INVOKABLE QRectF zoneRect(QRectF unit, double width, double height) const;

    /// The floating card's size for `mode`: the layouts face with `layoutCount` cards, or the assist face with
    /// `candidateCount` tiles.
    /// `candidateCount` tiles, wrapped into rows of `tileColumns`.
    static QSizeF cardSize(SnapController::Mode mode, int layoutCount, int candidateCount, int tileColumns = 8);
    /// The tiles that fit side by side on a card within a display `displayWidth` wide (at least one).
    static int tileColumnsFor(double displayWidth);
    int tileColumns() const { return tileColumnsFor(window_.width()); }

    struct Spring {
        double strength = 0;
        double damping = 0;
    };
    /// A spring given by its response (seconds per oscillation) and damping fraction, as SpringAnimation's
    /// `spring` and `damping`, which act once every 16 ms on a unit mass.
    static Spring spring(double response, double dampingFraction);

Q_SIGNALS:
    void translucentChanged();
    void cardRectChanged();
    /// The opaque mask may have changed.
    void maskChanged();

private:
    QPointer<SnapController> controller_;
    bool translucent_ = true;
    QSize window_;
};

} // namespace tillory::snap
