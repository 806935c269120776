#pragma once

#include "switcher/switcher_layout.h"

#include <QAbstractListModel>
#include <QPointF>
#include <QPointer>

#include <cstdint>
#include <vector>

namespace tillory::switcher {

class WindowSwitcherEngine;

/// The switcher's tiles for the QML: one row per window of the session with its title, whether it is
/// highlighted, the addresses of its pictures and where it sits on the card. A thumbnail that lands or a move of
/// the highlight changes only the rows involved, so only those tiles are redrawn. Main thread.
class SwitcherTileModel final : public QAbstractListModel {
    Q_OBJECT
    /// How long the card takes to appear and the highlight to move, in milliseconds.
    Q_PROPERTY(int appearMs READ appearMs CONSTANT)
    Q_PROPERTY(int highlightMs READ highlightMs CONSTANT)

public:
    enum Role {
        TitleRole = Qt::UserRole + 1,
        SelectedRole,
        HasThumbnailRole,
        HasIconRole,
        ThumbnailSourceRole,
        IconSourceRole,
        BadgeSourceRole,
        TileXRole,
        TileYRole,
        ShownRole,
    };

    /// Where tile `index` of `count` sits on the card (points from the card's top left, padding included) and
    /// whether its row is among the rows shown. Rows are centred; the last one may be shorter.
    struct Place {
        QPointF origin;
        bool shown = false;
    };
    static Place place(int index, int count, const SwitcherLayout& layout);

    /// How long a spring of `response` seconds and `dampingFraction` takes to settle within 2 % of its target.
    static double settleSeconds(double response, double dampingFraction);

    explicit SwitcherTileModel(WindowSwitcherEngine* engine, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int appearMs() const;
    int highlightMs() const;

    /// A click on tile `index`: switches to it once the click has been handled (ending the session removes the
    /// tile that was clicked), provided the same window is still there.
    Q_INVOKABLE void activate(int index);

private:
    struct Tile {
        std::uint32_t id = 0;
        int thumbnailSerial = 0;
        int iconKey = 0; // the owning process: the icon is the application's
    };
    void reload();
    void thumbnailChanged(int index);
    void selectionChanged();
    void layoutChanged();
    void changed(int row, const QList<int>& roles);

    QPointer<WindowSwitcherEngine> engine_;
    std::vector<Tile> tiles_;
    int selected_ = -1;
    int serial_ = 0;
    /// The session of these tiles is over; the next one fills them in.
    bool stale_ = false;
};

} // namespace tillory::switcher
