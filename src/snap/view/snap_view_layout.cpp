#include "snap/view/snap_view_layout.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tillory::snap {
namespace {

/// SpringAnimation steps its spring once every 16 ms.
constexpr double kSpringStep = 0.016;

QRegion roundedRegion(const QRectF& rect, double radius) {
    if (rect.width() <= 0 || rect.height() <= 0) {
        return {};
    }
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return QRegion(path.toFillPolygon().toPolygon());
}

QRectF toQRect(const Rect& r) {
    return {r.x, r.y, r.width, r.height};
}

} // namespace

SnapViewLayout::SnapViewLayout(SnapController* controller, QObject* parent) : QObject(parent), controller_(controller) {
    if (!controller) {
        return;
    }
    const auto cardMoved = [this] {
        Q_EMIT cardRectChanged();
        Q_EMIT maskChanged();
    };
    connect(controller, &SnapController::isActiveChanged, this, cardMoved);
    connect(controller, &SnapController::modeChanged, this, cardMoved);
    connect(controller, &SnapController::candidatesChanged, this, cardMoved);
    connect(controller, &SnapController::dragChanged, this, &SnapViewLayout::maskChanged);
    connect(controller, &SnapController::barGeometryChanged, this, &SnapViewLayout::maskChanged);
}

void SnapViewLayout::setTranslucent(bool translucent) {
    if (translucent_ != translucent) {
        translucent_ = translucent;
        Q_EMIT translucentChanged();
        Q_EMIT maskChanged();
    }
}

void SnapViewLayout::setWindowSize(QSize size) {
    if (window_ != size) {
        window_ = size;
        Q_EMIT cardRectChanged();
        Q_EMIT maskChanged();
    }
}

QSizeF SnapViewLayout::cardSize(SnapController::Mode mode, int layoutCount, int candidateCount, int tileColumns) {
    const double frame = 2 * kCardMargin + kTitleHeight + kHintHeight + 2 * kSpacing;
    if (mode == SnapController::Mode::Layouts) {
        const double n = std::max(layoutCount, 1);
        return {n * kLayoutCardWidth + (n - 1) * kLayoutCardGap + 2 * kCardMargin, frame + kLayoutCardHeight};
    }
    const int columns = std::max(tileColumns, 1);
    const double c = std::min(candidateCount, columns);
    const double rows = candidateCount > 0 ? (candidateCount + columns - 1) / columns : 0;
    const double row = c > 0 ? c * kTileWidth + (c - 1) * kTileGap : 0;
    const double width = std::max({row, kAssistCardWidth, kAssistMinContentWidth});
    const double tiles = rows > 0 ? rows * kTileHeight + (rows - 1) * kTileGap : kEmptyRowHeight;
    return {width + 2 * kCardMargin, frame + kAssistCardHeight + kSpacing + tiles};
}

int SnapViewLayout::tileColumnsFor(double displayWidth) {
    // The card keeps its margin inside and as much again outside, on both sides.
    const double room = displayWidth - 4 * kCardMargin;
    return std::max(static_cast<int>(std::floor((room + kTileGap) / (kTileWidth + kTileGap))), 1);
}

QRectF SnapViewLayout::cardRect() const {
    if (!controller_) {
        return {};
    }
    const QSizeF size = cardSize(controller_->mode(), static_cast<int>(controller_->layouts().size()),
                                 static_cast<int>(controller_->candidates().size()), tileColumns());
    return {std::floor((window_.width() - size.width()) / 2), std::floor((window_.height() - size.height()) / 2),
            size.width(), size.height()};
}

QRegion SnapViewLayout::opaqueMask() const {
    QRegion region;
    if (!controller_) {
        return region;
    }
    if (controller_->dragVisible()) {
        const QRectF preview = toQRect(controller_->dragPreview());
        region +=
            roundedRegion(preview, kPreviewRadius)
                .subtracted(roundedRegion(preview.adjusted(kPreviewRing, kPreviewRing, -kPreviewRing, -kPreviewRing),
                                          kPreviewRadius - kPreviewRing));
        if (controller_->dragBarVisible() && controller_->barGeometry()) {
            region += roundedRegion(toQRect(controller_->barGeometry()->barRect()), kBarRadius);
        }
    }
    if (controller_->isActive()) {
        region += roundedRegion(cardRect(), kCardRadius);
    }
    return region;
}

QRectF SnapViewLayout::zoneRect(QRectF unit, double width, double height) const {
    const double w = width - 2 * kZoneInset;
    const double h = height - 2 * kZoneInset;
    return {kZoneInset + unit.x() * w + kZoneGap, kZoneInset + unit.y() * h + kZoneGap, unit.width() * w - 2 * kZoneGap,
            unit.height() * h - 2 * kZoneGap};
}

SnapViewLayout::Spring SnapViewLayout::spring(double response, double dampingFraction) {
    const double omega = 2 * std::numbers::pi / response;
    return {omega * omega * kSpringStep, 2 * dampingFraction * omega * kSpringStep};
}

} // namespace tillory::snap
