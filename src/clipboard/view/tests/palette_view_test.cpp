// The palette as a user sees it: rendered offscreen from a real controller over the simulated desktop.
#include "clipboard/clipboard_manager.h"
#include "clipboard/clipboard_palette_controller.h"
#include "clipboard/history_store.h"
#include "clipboard/view/quick_palette_panel.h"
#include "core/manual_scheduler.h"
#include "core/serial_queue.h"
#include "core/settings.h"
#include "keyhub/key_event_hub.h"
#include "platform/sim/sim_desktop.h"
#include "ui/view/tests/view_test_support.h"

#include <QTemporaryDir>

namespace tillory::clipboard {
namespace {

using namespace ui::testing;
using platform::EventFlags::Command;
namespace KeyCode = platform::KeyCode;

const auto* environment = ::testing::AddGlobalTestEnvironment(new OffscreenApp);

class PaletteViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.grantAccessibility();
        app = sim.launchApp(QStringLiteral("org.example.editor"), QStringLiteral("Editor"));
        sim.activate(app);
        const platform::Platform p = sim.platform();
        manager = std::make_unique<ClipboardManager>(*p.pasteboard, settings, scheduler, queue, store);
        manager->start();
        hub = std::make_unique<keyhub::KeyEventHub>(*p.eventTaps, *p.accessibility, scheduler);
        palette = std::make_unique<ClipboardPaletteController>(*manager, *hub, *p.accessibility, *p.eventTaps,
                                                               *p.pasteboard, *p.screens, scheduler, panels);
        panels.setController(palette.get());
        palette->start();
        for (const char* text : {"first copy", "a line\nwith a break",
                                 "https://example.org/a/very/long/"
                                 "address/that/does/not/fit/on/one/row/of/the/palette",
                                 "last copy"}) {
            sim.copy(QString::fromUtf8(text));
            scheduler.advance(0.7);
        }
        manager->togglePin(manager->entries().back()); // "first copy" pinned: listed first
    }
    void TearDown() override {
        palette.reset();
        pump(50);
    }

    QQuickWindow* open() {
        sim.changeFlags(Command);
        sim.pressKey(KeyCode::V, Command);
        sim.pressKey(KeyCode::V, Command, true);
        const auto windows = quickWindows();
        return windows.empty() ? nullptr : windows.back();
    }

    core::ManualScheduler scheduler;
    core::ManualSerialQueue queue{scheduler};
    platform::sim::SimDesktop sim{scheduler};
    core::MemorySettings settings;
    QTemporaryDir dir;
    std::shared_ptr<HistoryStore> store = std::make_shared<HistoryStore>(dir.filePath(QStringLiteral("Tillory")));
    std::unique_ptr<ClipboardManager> manager;
    std::unique_ptr<keyhub::KeyEventHub> hub;
    QuickPalettePanelFactory panels;
    std::unique_ptr<ClipboardPaletteController> palette;
    std::int32_t app = 0;
};

TEST_F(PaletteViewTest, ShowsHeaderRowsBadgesAndPin) {
    QQuickWindow* window = open();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(palette->isVisible());
    // The window is the card: 44 points of header and padding and 30 per row.
    EXPECT_EQ(window->width(), 360);
    EXPECT_EQ(window->height(), 44 + 30 * 4);

    const QImage image = snapshot(window, QStringLiteral("palette"));
    EXPECT_GT(drawnPixels(image), 500);
    const QStringList shown = texts(window->contentItem());
    EXPECT_TRUE(shown.contains(QStringLiteral("Clipboard")));
    EXPECT_TRUE(shown.contains(QStringLiteral("↩ paste · 1–8 quick · ⌥ plain · ⌘click stack")));
    EXPECT_TRUE(shown.contains(QStringLiteral("first copy")));
    EXPECT_TRUE(shown.contains(QStringLiteral("a line with a break")));
    for (const char* number : {"1", "2", "3", "4"}) {
        EXPECT_TRUE(shown.contains(QString::fromLatin1(number))) << number;
    }
    // The selected first row is highlighted: its middle is neither the card's colour nor the text's.
    const QRgb selected = image.pixel(200, 32 + 15);
    const QRgb unselected = image.pixel(200, 32 + 30 + 15);
    EXPECT_GT(qBlue(selected), qRed(selected) + 40);
    EXPECT_LT(std::abs(qBlue(unselected) - qRed(unselected)), 30);
}

TEST_F(PaletteViewTest, CopiesThatLookLikeMarkupAreShownAsTheyAreAndLoadNothing) {
    CountingServer server;
    const QStringList copies = markupTexts(server);
    for (const QString& text : copies) {
        sim.copy(text);
        scheduler.advance(0.7);
    }
    QQuickWindow* window = open();
    ASSERT_NE(window, nullptr);
    pump(300);
    snapshot(window, QStringLiteral("palette-markup"));
    for (const QString& text : copies) {
        EXPECT_EQ(shownLiterally(window->contentItem(), text), 1) << text.toStdString();
    }
    EXPECT_EQ(server.connections, 0);
}

TEST_F(PaletteViewTest, StackedEntriesShowTheirOrderAndTheHeaderCountsThem) {
    QQuickWindow* window = open();
    ASSERT_NE(window, nullptr);
    sim.setModifierFlags(Command);
    palette->pick(2);
    palette->pick(0);
    const QImage image = snapshot(window, QStringLiteral("palette-stacked"));
    EXPECT_GT(drawnPixels(image), 500);
    const QStringList shown = texts(window->contentItem());
    EXPECT_TRUE(shown.contains(QStringLiteral("↩ paste 2 stacked")));
    EXPECT_FALSE(shown.contains(QStringLiteral("↩ paste · 1–8 quick · ⌥ plain · ⌘click stack")));
    // Row 3 shows stack number 1, row 1 stack number 2; the other rows keep their row numbers.
    EXPECT_TRUE(shown.contains(QStringLiteral("2")));
    EXPECT_TRUE(shown.contains(QStringLiteral("4")));
    EXPECT_FALSE(shown.contains(QStringLiteral("3")));
}

TEST_F(PaletteViewTest, RowAddedWhileOpenGrowsTheWindowFromItsAnchoredEdge) {
    QQuickWindow* window = open();
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(palette->dropsDown()); // resting on its bottom edge
    const int bottom = window->y() + window->height();
    sim.copy(QStringLiteral("copied while open"));
    scheduler.advance(0.7);
    pump(20);
    EXPECT_EQ(window->height(), 44 + 30 * 5);
    EXPECT_EQ(window->y() + window->height(), bottom);
    EXPECT_EQ(window->mask().boundingRect().height(), 44 + 30 * 5);
    EXPECT_TRUE(texts(window->contentItem()).contains(QStringLiteral("copied while open")));
}

TEST_F(PaletteViewTest, HintNamesTheKeysAsThisKeyboardDoes) {
    panels.setKeyNames(platform::KeyNames::pc());
    QQuickWindow* window = open();
    ASSERT_NE(window, nullptr);
    snapshot(window, QStringLiteral("palette-pc-keys"));
    EXPECT_TRUE(
        texts(window->contentItem()).contains(QStringLiteral("↩ paste · 1–8 quick · Alt plain · Super+click stack")));
    const std::vector<std::pair<QString, QString>> cases = {
        {QStringLiteral("⌃⌥Z"), QStringLiteral("Ctrl+Alt+Z")},
        {QStringLiteral("⇧⌘ end"), QStringLiteral("Shift+Super end")},
        {QStringLiteral("no keys"), QStringLiteral("no keys")},
    };
    for (const auto& [text, label] : cases) {
        EXPECT_EQ(platform::KeyNames::pc().label(text), label);
        EXPECT_EQ(platform::KeyNames{}.label(text), text);
    }
}

TEST_F(PaletteViewTest, CardIsLightOrDarkAsTheDesktopSaysAtEachShowAndItsTextReads) {
    // One window shown light, then dark, then light again: the scheme is read at every show.
    const struct {
        bool dark;
        const char* name;
    } cases[] = {{false, "palette-light"}, {true, "palette-dark"}, {false, "palette-light-again"}};
    bool desktopDark = false;
    panels.setDark([&desktopDark] { return desktopDark; });
    QQuickWindow* first = nullptr;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        desktopDark = c.dark;
        QQuickWindow* window = open();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(first == nullptr || window == first);
        first = window;
        const QQuickItem* title = itemNamed(window->contentItem(), QStringLiteral("title"));
        const QQuickItem* hint = itemNamed(window->contentItem(), QStringLiteral("headerHint"));
        const QQuickItem* row = itemNamed(window->contentItem(), QStringLiteral("rowText"));
        ASSERT_TRUE(title && hint && row);
        // The card is translucent: it must read over a white desktop and over a black one.
        for (const QColor desktop : {QColor(Qt::white), QColor(Qt::black)}) {
            const QImage image = snapshotOver(window, desktop, QString::fromUtf8(c.name));
            const double glass = luminance(besideItem(image, title));
            EXPECT_TRUE(c.dark ? glass < 0.1 : glass > 0.6) << glass;
            EXPECT_GE(textContrast(image, title), 4.5);
            EXPECT_GE(textContrast(image, hint), 3.0);
        }
        // The chosen first row: its text over the highlight.
        const QImage image = snapshot(window, QString::fromUtf8(c.name) + QStringLiteral("-row"));
        EXPECT_GE(textContrast(image, row), 4.5);
        sim.pressKey(KeyCode::Escape, Command);
        window->setColor(Qt::transparent);
    }
}

TEST_F(PaletteViewTest, DismissHidesTheWindowAndTheNextShowReusesIt) {
    QQuickWindow* window = open();
    ASSERT_NE(window, nullptr);
    sim.pressKey(KeyCode::Escape, Command);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(open(), window);
}

} // namespace
} // namespace tillory::clipboard
