// The shortcuts and what's-new windows as a user sees them, rendered offscreen from their controllers.
#include "core/settings.h"
#include "shell/info_windows.h"
#include "shell/view/quick_shell_windows.h"
#include "ui/view/color_scheme.h"
#include "ui/view/tests/view_test_support.h"

#include <QGuiApplication>
#include <QQuickView>
#include <QScreen>
#include <QTest>

#include <functional>

namespace tillory::shell {
namespace {

using namespace ui::testing;

const auto* environment =
    ::testing::AddGlobalTestEnvironment(new OffscreenApp("offscreen:configfile=" TILLORY_SHELL_VIEW_SCREEN));

QQuickItem* named(QQuickItem* root, const QString& name) {
    if (root->objectName() == name) {
        return root;
    }
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = named(child, name)) {
            return found;
        }
    }
    return nullptr;
}

void click(QQuickWindow* window, const QString& button) {
    // The button is last: scrolled to the end where the screen is too short for the whole window.
    QQuickItem* scroller = named(window->contentItem(), QStringLiteral("scroller"));
    ASSERT_NE(scroller, nullptr);
    pump(50);
    scroller->setProperty("contentY", scroller->property("contentHeight").toReal() - scroller->height());
    pump(20);
    QQuickItem* item = named(window->contentItem(), button);
    ASSERT_NE(item, nullptr) << button.toStdString();
    QTest::mouseClick(window, Qt::LeftButton, {}, item->mapToScene({item->width() / 2, item->height() / 2}).toPoint());
    pump(20);
}

TEST(ShellWindowsView, ShortcutsListEveryRowUnderItsGroupAndDoneCloses) {
    QuickShellWindowFactory windows;
    ShortcutsController shortcuts(&windows, platform::KeyNames::pc());
    shortcuts.show();
    shortcuts.show();
    ASSERT_EQ(quickWindows().size(), 1u);
    QQuickWindow* window = quickWindows().back();
    EXPECT_EQ(window->width(), 430);
    EXPECT_LE(window->height(), window->screen()->availableGeometry().height()); // taller content scrolls
    EXPECT_TRUE(window->flags() & Qt::FramelessWindowHint);
    const QImage image = snapshot(window, QStringLiteral("shortcuts"));
    EXPECT_GT(drawnPixels(image), 1000);
    qobject_cast<QQuickView*>(window)->rootObject()->setProperty("dark", true);
    EXPECT_GT(drawnPixels(snapshot(window, QStringLiteral("shortcuts-dark"))), 1000);
    const QStringList shown = texts(window->contentItem());
    for (const char* text :
         {"Shortcuts & Gestures", "Window Switcher", "Super ⇥", "Open the switcher", "Snap Layouts", "Ctrl Alt Z",
          "Clipboard", "Super V  (hold)", "Notch Player", "File Manager", "⌫", "Move to Trash", "Done"}) {
        EXPECT_EQ(shown.count(QString::fromUtf8(text)), 1) << text;
    }
    // Rows in table order.
    EXPECT_LT(shown.indexOf(QStringLiteral("Open the switcher")), shown.indexOf(QStringLiteral("Cancel")));
    EXPECT_LT(shown.indexOf(QStringLiteral("Cancel")), shown.indexOf(QStringLiteral("Snap Layouts bar")));
    click(window, QStringLiteral("done"));
    EXPECT_FALSE(shortcuts.isOpen());
    EXPECT_TRUE(quickWindows().empty());
}

TEST(ShellWindowsView, WhatsNewShowsTheVersionAndHighlightsAndContinueRemembersIt) {
    QuickShellWindowFactory windows;
    core::MemorySettings settings;
    WhatsNewController whatsNew(&windows, settings, QStringLiteral("1.5"), platform::KeyNames::pc());
    whatsNew.showIfNeeded();
    ASSERT_EQ(quickWindows().size(), 1u);
    QQuickWindow* window = quickWindows().back();
    EXPECT_EQ(window->width(), 420);
    const QImage image = snapshot(window, QStringLiteral("whats-new"));
    EXPECT_GT(drawnPixels(image), 1000);
    qobject_cast<QQuickView*>(window)->rootObject()->setProperty("dark", true);
    EXPECT_GT(drawnPixels(snapshot(window, QStringLiteral("whats-new-dark"))), 1000);
    const QStringList shown = texts(window->contentItem());
    for (const char* text : {"What's New in Tillory", "Version 1.5", "Snap Layouts", "Hold Super+V for the Palette",
                             "Smarter Super+⇥", "Continue"}) {
        EXPECT_EQ(shown.count(QString::fromUtf8(text)), 1) << text;
    }
    window->close(); // by the desktop: not remembered
    pump(20);
    EXPECT_FALSE(whatsNew.isOpen());
    EXPECT_FALSE(settings.contains(QStringLiteral("lastSeenWhatsNewVersion")));
    whatsNew.show();
    ASSERT_EQ(quickWindows().size(), 1u);
    click(quickWindows().back(), QStringLiteral("continue"));
    EXPECT_FALSE(whatsNew.isOpen());
    EXPECT_EQ(settings.stringValue(QStringLiteral("lastSeenWhatsNewVersion")), QStringLiteral("1.5"));
}

TEST(ShellWindowsView, OnAShortScreenButtonsStayInViewBelowTheIslandAndEscapeCloses) {
    // On this 1024 × 600 screen neither window fits whole.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_EQ(screen.height(), 600);
    QuickShellWindowFactory windows;
    core::MemorySettings settings;
    ShortcutsController shortcuts(&windows, platform::KeyNames::pc());
    WhatsNewController whatsNew(&windows, settings, QStringLiteral("1.5"), platform::KeyNames::pc());
    const struct {
        const char* name;
        std::function<void()> open;
        std::function<bool()> isOpen;
        const char* button;
    } cases[] = {
        {"shortcuts", [&] { shortcuts.show(); }, [&] { return shortcuts.isOpen(); }, "done"},
        {"whats-new", [&] { whatsNew.showIfNeeded(); }, [&] { return whatsNew.isOpen(); }, "continue"},
    };
    for (const auto& c : cases) {
        c.open();
        ASSERT_EQ(quickWindows().size(), 1u) << c.name;
        QQuickWindow* window = quickWindows().back();
        snapshot(window, QStringLiteral("%1-short-screen").arg(QLatin1String(c.name)));
        // Clear of the 32-point island at the top and of the screen's edges, 20 apart.
        EXPECT_GE(window->y(), 32 + 20) << c.name;
        EXPECT_LE(window->y() + window->height(), 600 - 20) << c.name;
        QQuickItem* button = named(window->contentItem(), QString::fromLatin1(c.button));
        ASSERT_NE(button, nullptr) << c.name;
        const QRectF place = button->mapRectToScene(QRectF(0, 0, button->width(), button->height()));
        EXPECT_TRUE(QRectF(0, 0, window->width(), window->height()).contains(place)) << c.name;
        EXPECT_TRUE(named(window->contentItem(), QStringLiteral("moreBelow"))->isVisible()) << c.name;
        QTest::keyClick(window, Qt::Key_Escape);
        pump(20);
        EXPECT_FALSE(c.isOpen()) << c.name;
        EXPECT_TRUE(quickWindows().empty()) << c.name;
    }
    EXPECT_FALSE(settings.contains(QStringLiteral("lastSeenWhatsNewVersion"))) << "Escape is not Continue";
}

TEST(ShellWindowsView, OneRuleDecidesDarkForEveryViewAndTheWindowsFollowIt) {
    using Scheme = platform::Appearance::ColorScheme;
    const auto palette = [](QColor window, QColor text) {
        QPalette p;
        p.setColor(QPalette::Window, window);
        p.setColor(QPalette::WindowText, text);
        return p;
    };
    const QPalette qtOwn = palette(QColor(0xef, 0xef, 0xef), Qt::black); // no desktop theme installed
    const QPalette lightTheme = palette(QColor(0xf6, 0xf5, 0xf4), QColor(0x2e, 0x34, 0x36));
    const QPalette darkTheme = palette(QColor(0x35, 0x35, 0x35), Qt::white);
    const struct {
        Scheme stated;
        QPalette palette;
        bool dark;
    } cases[] = {
        {Scheme::dark, lightTheme, true},    {Scheme::light, darkTheme, false}, {Scheme::unstated, lightTheme, false},
        {Scheme::unstated, darkTheme, true}, {Scheme::unstated, qtOwn, true},   {Scheme::light, qtOwn, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ui::darkViews(c.stated, c.palette), c.dark)
            << int(c.stated) << " " << c.palette.color(QPalette::Window).name().toStdString();
    }
    for (const bool dark : {false, true}) {
        QuickShellWindowFactory windows;
        windows.setDark([dark] { return dark; });
        ShortcutsController shortcuts(&windows, platform::KeyNames::pc());
        shortcuts.show();
        ASSERT_EQ(quickWindows().size(), 1u);
        EXPECT_EQ(qobject_cast<QQuickView*>(quickWindows().back())->rootObject()->property("dark").toBool(), dark);
        shortcuts.done();
        pump(20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the closed window goes now
        EXPECT_TRUE(quickWindows().empty());
    }
}

} // namespace
} // namespace tillory::shell
