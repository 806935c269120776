#include "shell/info_windows.h"

#include "core/settings.h"

#include <gtest/gtest.h>

namespace tillory::shell {
namespace {

class FakeWindows final : public ShellWindowFactory {
public:
    class Window final : public ShellWindow {
    public:
        explicit Window(FakeWindows& owner) : owner_(owner) { ++owner_.open; }
        ~Window() override { --owner_.open; }
        void bringForward() override { ++owner_.raises; }

    private:
        FakeWindows& owner_;
    };
    std::unique_ptr<ShellWindow> createShortcuts(ShortcutsController&) override {
        ++made;
        return std::make_unique<Window>(*this);
    }
    std::unique_ptr<ShellWindow> createWhatsNew(WhatsNewController&) override {
        ++made;
        return std::make_unique<Window>(*this);
    }
    int made = 0;
    int open = 0;
    int raises = 0;
};

QString text(const QVariant& row, const char* key) {
    return row.toMap().value(QString::fromLatin1(key)).toString();
}

TEST(ShortcutsController, OneWindowAtATimeAndEveryRowInOrderWithThisKeyboardsNames) {
    FakeWindows windows;
    ShortcutsController shortcuts(&windows, platform::KeyNames::pc());
    ShortcutsController::setShared(&shortcuts);
    EXPECT_EQ(ShortcutsController::shared(), &shortcuts);
    shortcuts.show();
    shortcuts.show();
    EXPECT_EQ(windows.made, 1);
    EXPECT_EQ(windows.raises, 1);
    shortcuts.done();
    EXPECT_EQ(windows.open, 0);
    shortcuts.show();
    EXPECT_EQ(windows.made, 2);
    shortcuts.windowClosed();
    EXPECT_FALSE(shortcuts.isOpen());

    const struct {
        const char* group;
        std::vector<const char*> keys;
    } table[] = {
        {"Window Switcher", {"Super ⇥", "⇥  ← →", "esc"}},
        {"Snap Layouts", {"drag to top", "double-click top", "drag to edge", "Ctrl Alt Z", "click"}},
        {"Clipboard", {"Super V  (hold)", "↩  /  click", "Super click"}},
        {"Notch Player", {"hover / click", "drag"}},
        {"File Manager", {"⌫"}},
    };
    const QVariantList groups = shortcuts.groups();
    ASSERT_EQ(groups.size(), static_cast<qsizetype>(std::size(table)));
    for (qsizetype g = 0; g < groups.size(); ++g) {
        EXPECT_EQ(text(groups[g], "name"), QString::fromUtf8(table[g].group));
        const QVariantList items = groups[g].toMap().value(QStringLiteral("items")).toList();
        ASSERT_EQ(items.size(), static_cast<qsizetype>(table[g].keys.size()));
        for (qsizetype i = 0; i < items.size(); ++i) {
            EXPECT_EQ(text(items[i], "keys"), QString::fromUtf8(table[g].keys[static_cast<std::size_t>(i)]));
        }
    }
    const QVariantList snap = groups[1].toMap().value(QStringLiteral("items")).toList();
    EXPECT_EQ(text(snap[3], "detail"),
              QStringLiteral("Same layouts without the mouse. Ctrl+Alt + arrows snap halves / max / center."));
    EXPECT_EQ(text(groups[2].toMap().value(QStringLiteral("items")).toList()[1], "detail"),
              QStringLiteral("Alt pastes as plain text."));
}

TEST(WhatsNewController, ShowsOncePerVersionUntilContinueIsPressed) {
    const struct {
        std::optional<QString> stored;
        QString running;
        bool opens;
        QString shown;
    } cases[] = {
        {std::nullopt, QStringLiteral("1.4"), true, QStringLiteral("1.4")},
        {QStringLiteral("1.4"), QStringLiteral("1.4"), false, QStringLiteral("1.4")},
        {QStringLiteral("1.4"), QStringLiteral("1.5"), true, QStringLiteral("1.5")},
        {std::nullopt, QString(), true, QStringLiteral("0")},
        {QStringLiteral("0"), QString(), false, QStringLiteral("0")},
    };
    for (const auto& c : cases) {
        FakeWindows windows;
        core::MemorySettings settings;
        if (c.stored) {
            settings.setString(QStringLiteral("lastSeenWhatsNewVersion"), *c.stored);
        }
        WhatsNewController whatsNew(&windows, settings, c.running, {});
        whatsNew.showIfNeeded();
        EXPECT_EQ(whatsNew.isOpen(), c.opens) << c.running.toStdString();
        EXPECT_EQ(whatsNew.version(), c.shown);
        whatsNew.show(); // the home page opens it whatever was seen
        whatsNew.show();
        EXPECT_EQ(windows.made, 1);
        whatsNew.windowClosed(); // closed by the desktop: not remembered
        EXPECT_EQ(settings.stringValue(QStringLiteral("lastSeenWhatsNewVersion")), c.stored.value_or(QString()));
        whatsNew.show();
        whatsNew.done();
        EXPECT_EQ(windows.open, 0);
        EXPECT_EQ(settings.stringValue(QStringLiteral("lastSeenWhatsNewVersion")), c.shown);
    }
}

TEST(WhatsNewController, HighlightsInOrderWithThisKeyboardsNames) {
    core::MemorySettings settings;
    WhatsNewController whatsNew(nullptr, settings, QStringLiteral("1.0"), platform::KeyNames::pc());
    whatsNew.show(); // no windows to make: nothing happens
    EXPECT_FALSE(whatsNew.isOpen());
    const QVariantList rows = whatsNew.highlightRows();
    QStringList titles;
    for (const QVariant& row : rows) {
        titles << text(row, "title");
    }
    EXPECT_EQ(titles, QStringList({"Snap Layouts", "Snap from the Keyboard", "Clipboard History",
                                   "Hold Super+V for the Palette", "Backspace Deletes in File Managers",
                                   "Per-Player Volume", "Battery Notices in the Island", "Smarter Super+⇥"}));
    EXPECT_EQ(text(rows[0], "symbol"), QStringLiteral("rectangle.split.2x2"));
    EXPECT_EQ(text(rows[3], "detail"),
              QStringLiteral("Hold Super+V and your history appears at the cursor — nothing pastes until you pick. "
                             "Alt pastes plain text, Super-click stacks entries. A quick tap pastes as usual."));
}

} // namespace
} // namespace tillory::shell
