#include "switcher/view/switcher_tile_model.h"

#include "switcher/view/switcher_images.h"
#include "switcher/window_switcher_engine.h"

#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tillory::switcher {
namespace {

// Springs of the card's entrance and of the highlight: response in seconds, damping fraction.
constexpr double kAppearResponse = 0.16;
constexpr double kHighlightResponse = 0.12;
constexpr double kDamping = 0.85;

QString source(const char* kind, int index, int serial) {
    return QStringLiteral("image://%1/%2/%3/%4")
        .arg(QLatin1String(SwitcherImageProvider::kName), QLatin1String(kind))
        .arg(index)
        .arg(serial);
}

} // namespace

SwitcherTileModel::Place SwitcherTileModel::place(int index, int count, const SwitcherLayout& layout) {
    if (index < 0 || index >= count || layout.columns < 1) {
        return {};
    }
    using L = SwitcherLayout;
    const int row = index / layout.columns;
    const int column = index % layout.columns;
    const int inRow = std::min(layout.columns, count - row * layout.columns);
    const auto span = [](int n) { return n * L::kTileWidth + (n - 1) * L::kGridSpacing; };
    const double x =
        L::kCardPadding + (span(layout.columns) - span(inRow)) / 2 + column * (L::kTileWidth + L::kGridSpacing);
    const double y = L::kCardPadding + (row - layout.firstVisibleRow) * (L::kTileHeight + L::kGridSpacing);
    return {QPointF(x, y), row >= layout.firstVisibleRow && row < layout.firstVisibleRow + layout.visibleRows};
}

double SwitcherTileModel::settleSeconds(double response, double dampingFraction) {
    // The envelope exp(-ζωt) of a spring with ω = 2π/response falls under 2 % after about 4/(ζω).
    return 4 * response / (2 * std::numbers::pi * dampingFraction);
}

SwitcherTileModel::SwitcherTileModel(WindowSwitcherEngine* engine, QObject* parent)
    : QAbstractListModel(parent), engine_(engine) {
    connect(engine, &WindowSwitcherEngine::windowsChanged, this, &SwitcherTileModel::reload);
    connect(engine, &WindowSwitcherEngine::thumbnailChanged, this, &SwitcherTileModel::thumbnailChanged);
    connect(engine, &WindowSwitcherEngine::selectedIndexChanged, this, &SwitcherTileModel::selectionChanged);
    connect(engine, &WindowSwitcherEngine::layoutChanged, this, &SwitcherTileModel::layoutChanged);
    reload();
}

int SwitcherTileModel::appearMs() const {
    return static_cast<int>(std::lround(settleSeconds(kAppearResponse, kDamping) * 1000));
}

int SwitcherTileModel::highlightMs() const {
    return static_cast<int>(std::lround(settleSeconds(kHighlightResponse, kDamping) * 1000));
}

int SwitcherTileModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(tiles_.size());
}

QVariant SwitcherTileModel::data(const QModelIndex& index, int role) const {
    const int row = index.row();
    if (!engine_ || !index.isValid() || row < 0 || row >= static_cast<int>(tiles_.size()) ||
        row >= static_cast<int>(engine_->windows().size())) {
        return {};
    }
    const SwitcherWindow& window = engine_->windows()[static_cast<std::size_t>(row)];
    const Tile& tile = tiles_[static_cast<std::size_t>(row)];
    switch (role) {
    case TitleRole:
        return window.title;
    case SelectedRole:
        return row == engine_->selectedIndex();
    case HasThumbnailRole:
        return window.thumbnail.has_value();
    case HasIconRole:
        return window.icon.has_value();
    case ThumbnailSourceRole:
        return window.thumbnail ? source("thumbnail", row, tile.thumbnailSerial) : QString();
    case IconSourceRole:
        return window.icon ? source("icon", row, tile.iconKey) : QString();
    case BadgeSourceRole:
        return window.icon ? source("badge", row, tile.iconKey) : QString();
    case TileXRole:
        return place(row, rowCount(), engine_->layout()).origin.x();
    case TileYRole:
        return place(row, rowCount(), engine_->layout()).origin.y();
    case ShownRole:
        return place(row, rowCount(), engine_->layout()).shown;
    default:
        return {};
    }
}

QHash<int, QByteArray> SwitcherTileModel::roleNames() const {
    return {{TitleRole, "title"},
            {SelectedRole, "selected"},
            {HasThumbnailRole, "hasThumbnail"},
            {HasIconRole, "hasIcon"},
            {ThumbnailSourceRole, "thumbnailSource"},
            {IconSourceRole, "iconSource"},
            {BadgeSourceRole, "badgeSource"},
            {TileXRole, "tileX"},
            {TileYRole, "tileY"},
            {ShownRole, "shown"}};
}

void SwitcherTileModel::reload() {
    if (!engine_) {
        return;
    }
    const std::vector<SwitcherWindow>& windows = engine_->windows();
    if (windows.empty()) {
        // The session is over and the panel hidden: its tiles stay, so that the next session fills them in
        // rather than making every one of them again.
        stale_ = true;
        return;
    }
    const bool same = std::equal(windows.begin(), windows.end(), tiles_.begin(), tiles_.end(),
                                 [](const SwitcherWindow& w, const Tile& t) { return w.id == t.id; });
    if (same && !stale_) {
        // A thumbnail landed: thumbnailChanged has already updated its tile.
        return;
    }
    stale_ = false;
    const int before = rowCount();
    const int now = static_cast<int>(windows.size());
    if (now < before) {
        beginRemoveRows({}, now, before - 1);
        tiles_.resize(static_cast<std::size_t>(now));
        endRemoveRows();
    }
    // An icon's address names its process, so the image cache keeps it from one session to the next.
    const auto tile = [this](const SwitcherWindow& w) { return Tile{w.id, ++serial_, static_cast<int>(w.pid)}; };
    for (std::size_t i = 0; i < tiles_.size(); ++i) {
        tiles_[i] = tile(windows[i]);
    }
    const int kept = rowCount();
    if (now > kept) {
        beginInsertRows({}, kept, now - 1);
        for (std::size_t i = tiles_.size(); i < windows.size(); ++i) {
            tiles_.push_back(tile(windows[i]));
        }
        endInsertRows();
    }
    selected_ = engine_->selectedIndex();
    if (kept > 0) {
        Q_EMIT dataChanged(index(0), index(kept - 1));
    }
}

void SwitcherTileModel::thumbnailChanged(int index) {
    if (index < 0 || index >= static_cast<int>(tiles_.size())) {
        return;
    }
    tiles_[static_cast<std::size_t>(index)].thumbnailSerial = ++serial_;
    changed(index, {HasThumbnailRole, ThumbnailSourceRole});
}

void SwitcherTileModel::selectionChanged() {
    const int previous = selected_;
    selected_ = engine_ ? engine_->selectedIndex() : -1;
    changed(previous, {SelectedRole});
    changed(selected_, {SelectedRole});
}

void SwitcherTileModel::layoutChanged() {
    if (!stale_ && !tiles_.empty()) {
        Q_EMIT dataChanged(index(0), index(rowCount() - 1), {TileXRole, TileYRole, ShownRole});
    }
}

void SwitcherTileModel::changed(int row, const QList<int>& roles) {
    // Tiles kept between sessions have nothing to show until the next session fills them in.
    if (!stale_ && row >= 0 && row < rowCount()) {
        Q_EMIT dataChanged(index(row), index(row), roles);
    }
}

void SwitcherTileModel::activate(int index) {
    if (!engine_ || index < 0 || index >= static_cast<int>(tiles_.size())) {
        return;
    }
    const std::uint32_t id = tiles_[static_cast<std::size_t>(index)].id;
    QPointer<WindowSwitcherEngine> engine = engine_;
    QMetaObject::invokeMethod(
        this,
        [engine, index, id] {
            if (!engine || !engine->isActive() || index >= static_cast<int>(engine->windows().size()) ||
                engine->windows()[static_cast<std::size_t>(index)].id != id) {
                return;
            }
            engine->select(index);
        },
        Qt::QueuedConnection);
}

} // namespace tillory::switcher
