#include "switcher/switcher_layout.h"
#include "switcher/window_catalogue.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace tillory::switcher {
namespace {

using platform::Rect;
using platform::WindowInfo;

struct FilterCase {
    const char* name;
    QString owner;
    QString title;
    Rect bounds;
    bool onscreen = true;
    int layer = 0;
    double alpha = 1.0;
    std::optional<QString> listedAs; // nothing: dropped
};

TEST(WindowCatalogue, PhantomFilterKeepsRealWindowsOnly) {
    // One 1512 × 982 display: 982 − 60 = 922 is the smallest full-screen height.
    const std::vector<platform::ScreenInfo> screens{{Rect{0, 0, 1512, 982}, Rect{0, 0, 1512, 950}}};
    const QString app = QStringLiteral("Editor");
    const QString doc = QStringLiteral("notes.txt");
    const FilterCase cases[] = {
        {"81 x 61 is listed", app, doc, {0, 0, 81, 61}, true, 0, 1.0, doc},
        {"80 x 61 is not", app, doc, {0, 0, 80, 61}, true, 0, 1.0, {}},
        {"81 x 60 is not", app, doc, {0, 0, 81, 60}, true, 0, 1.0, {}},
        {"alpha 0 is not", app, doc, {0, 0, 400, 300}, true, 0, 0.0, {}},
        {"another layer is not", app, doc, {0, 0, 400, 300}, true, 25, 1.0, {}},
        {"the dock is not", QStringLiteral("Dock"), doc, {0, 0, 1512, 982}, true, 0, 1.0, {}},
        {"this program is not", QStringLiteral("Tillory"), doc, {0, 0, 800, 600}, true, 0, 1.0, {}},
        {"an excluded title is not", app, QStringLiteral("iCloud Mail Cleanup"), {0, 0, 800, 600}, true, 0, 1.0, {}},
        {"untitled on screen takes the app's name", app, {}, {0, 0, 400, 300}, true, 0, 1.0, app},
        {"titled off screen is listed however small", app, doc, {0, 0, 100, 100}, false, 0, 1.0, doc},
        {"untitled off screen 1512 x 922 is listed", app, {}, {0, 0, 1512, 922}, false, 0, 1.0, app},
        {"untitled off screen 1512 x 921 is not", app, {}, {0, 0, 1512, 921}, false, 0, 1.0, {}},
        {"untitled off screen 1510.5 wide is listed", app, {}, {0, 0, 1510.5, 982}, false, 0, 1.0, app},
        {"untitled off screen 1509 wide is not", app, {}, {0, 0, 1509, 982}, false, 0, 1.0, {}},
    };
    for (const FilterCase& c : cases) {
        WindowInfo info{7, 42, c.owner, c.title, c.layer, c.alpha, c.bounds, c.onscreen};
        const std::optional<SwitcherWindow> entry = catalogueEntry(info, screens);
        ASSERT_EQ(entry.has_value(), c.listedAs.has_value()) << c.name;
        if (entry) {
            EXPECT_EQ(entry->title, *c.listedAs) << c.name;
            EXPECT_EQ(entry->appName, c.owner) << c.name;
            EXPECT_EQ(entry->id, 7u) << c.name;
            EXPECT_EQ(entry->pid, 42) << c.name;
        }
    }
}

TEST(WindowCatalogue, EveryExcludedOwnerIsDropped) {
    const char* owners[] = {
        "Dock",       "Window Server", "Control Center", "Notification Center",         "Spotlight",        "Tillory",
        "Screenshot", "loginwindow",   "Siri",           "Open and Save Panel Service", "Universal Control"};
    for (const char* owner : owners) {
        WindowInfo info{7, 42, QString::fromUtf8(owner), QStringLiteral("T"), 0, 1.0, {0, 0, 800, 600}, true};
        EXPECT_FALSE(catalogueEntry(info, {})) << owner;
    }
}

struct LayoutCase {
    const char* name;
    int count;
    int selected;
    platform::Size display;
    bool hint;
    int previousFirst;
    int columns;
    int rows;
    int firstVisible;
    int visibleRows;
    QString more; // rows cut off: "above", "below"
};

TEST(SwitcherLayout, GridFitsTheDisplayAndKeepsTheSelectionInView) {
    const platform::Size wide{1512, 982};
    const LayoutCase cases[] = {
        {"one window, one column", 1, 0, wide, false, 0, 1, 1, 0, 1, ""},
        {"9 windows: rows of 7 and 2", 9, 1, wide, false, 0, 7, 2, 0, 2, ""},
        {"14 windows: 2 rows of 7", 14, 1, wide, false, 0, 7, 2, 0, 2, ""},
        {"15 windows: rows of 7, 7, 1", 15, 1, wide, false, 0, 7, 3, 0, 3, ""},
        {"1440 still takes 7", 7, 1, {1440, 900}, false, 0, 7, 1, 0, 1, ""},
        {"1366 takes 6", 7, 1, {1366, 768}, false, 0, 6, 2, 0, 2, ""},
        {"1280 takes 6", 7, 1, {1280, 800}, false, 0, 6, 2, 0, 2, ""},
        {"800 takes 3", 7, 1, {800, 600}, false, 0, 3, 3, 0, 3, ""},
        {"last of 50 on 1280 x 800 scrolls to it", 50, 49, {1280, 800}, true, 0, 6, 9, 5, 4, "above"},
        {"back to the first scrolls up", 50, 0, {1280, 800}, true, 5, 6, 9, 0, 4, "below"},
        {"a move inside the shown rows does not scroll", 50, 40, {1280, 800}, true, 5, 6, 9, 5, 4, "above"},
        {"the middle rows of 50", 50, 20, {1280, 800}, true, 0, 6, 9, 0, 4, "below"},
        {"row 5 of 9 shown from row 2", 50, 30, {1280, 800}, true, 2, 6, 9, 2, 4, "above below"},
    };
    for (const LayoutCase& c : cases) {
        const SwitcherLayout l = SwitcherLayout::make(c.count, c.selected, c.display, c.hint, c.previousFirst);
        EXPECT_EQ(l.columns, c.columns) << c.name;
        EXPECT_EQ(l.rows, c.rows) << c.name;
        EXPECT_EQ(l.firstVisibleRow, c.firstVisible) << c.name;
        EXPECT_EQ(l.visibleRows, c.visibleRows) << c.name;
        EXPECT_EQ(QStringList({l.moreAbove() ? "above" : "", l.moreBelow() ? "below" : ""})
                      .filter(QRegularExpression("."))
                      .join(QLatin1Char(' ')),
                  c.more)
            << c.name;
        EXPECT_LE(l.cardWidth, c.display.width) << c.name;
        EXPECT_LE(l.cardHeight, c.display.height) << c.name;
    }
}

TEST(SwitcherLayout, CardMeasuresTilesSpacingAndPadding) {
    // Tiles are 178 + 2 × 6 wide, 6 apart, inside 12 of padding.
    EXPECT_DOUBLE_EQ(SwitcherLayout::make(7, 0, {1512, 982}, false, 0).cardWidth, 1390);
    EXPECT_DOUBLE_EQ(SwitcherLayout::make(2, 0, {1512, 982}, false, 0).cardWidth, 2 * 190 + 6 + 24);
    // 111 preview + 5 + title line + 2 × 6, and the hint adds 8 + its line.
    const double oneRow = SwitcherLayout::make(1, 0, {1512, 982}, false, 0).cardHeight;
    EXPECT_DOUBLE_EQ(SwitcherLayout::make(1, 0, {1512, 982}, true, 0).cardHeight - oneRow, 8 + 16);
    EXPECT_DOUBLE_EQ(SwitcherLayout::make(8, 0, {1512, 982}, false, 0).cardHeight - oneRow, 6 + 111 + 5 + 16 + 12);
}

} // namespace
} // namespace tillory::switcher
