// The clipboard page as the panel hosts it, rendered offscreen over a real history on the simulated desktop.
#include "clipboard/clipboard_manager.h"
#include "clipboard/clipboard_page_model.h"
#include "clipboard/history_store.h"
#include "core/manual_scheduler.h"
#include "core/serial_queue.h"
#include "core/settings.h"
#include "platform/sim/sim_desktop.h"
#include "ui/view/tests/view_test_support.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickView>
#include <QTemporaryDir>
#include <QTest>

namespace tillory::clipboard {
namespace {

using namespace ui::testing;

// The offscreen application is the one the palette's tests in this binary set up.

class ClipboardPageViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager = std::make_unique<ClipboardManager>(*sim.platform().pasteboard, settings, scheduler, queue, store);
        manager->start();
    }
    void TearDown() override {
        view.reset();
        pump(50);
    }
    void copy(const char* text) {
        sim.copy(QString::fromUtf8(text));
        scheduler.advance(0.7);
    }
    QQuickView& show(bool dark = true) {
        view.reset();
        model = std::make_unique<ClipboardPageModel>(*manager, *sim.platform().pasteboard);
        QObject::connect(model.get(), &ClipboardPageModel::closeRequested, [this] { ++closes; });
        view = std::make_unique<QQuickView>();
        view->setColor(dark ? QColor(0x1e, 0x1f, 0x22) : QColor(0xf4, 0xf4, 0xf6));
        view->setResizeMode(QQuickView::SizeViewToRootObject);
        QVariantMap initial{{QStringLiteral("model"), QVariant::fromValue<QObject*>(model.get())},
                            {QStringLiteral("width"), 300}};
        if (!dark) {
            QQmlComponent light(view->engine());
            light.setData("import QtQuick\nQtObject { property bool dark: false }", QUrl());
            theme.reset(light.create());
            initial.insert(QStringLiteral("theme"), QVariant::fromValue<QObject*>(theme.get()));
        }
        view->setInitialProperties(initial);
        view->setSource(QUrl(QStringLiteral("qrc:/tillory/clipboard/ClipboardPage.qml")));
        EXPECT_EQ(view->status(), QQuickView::Ready);
        view->show();
        pump(50);
        return *view;
    }
    /// The `index`th visible item named `name`, in the order the scene draws them.
    QQuickItem* find(const char* name, int index = 0) {
        std::vector<QQuickItem*> found;
        std::function<void(QQuickItem*)> walk = [&](QQuickItem* item) {
            if (item->objectName() == QLatin1String(name) && item->isVisible()) {
                found.push_back(item);
            }
            for (QQuickItem* child : item->childItems()) {
                walk(child);
            }
        };
        walk(view->contentItem());
        EXPECT_LT(static_cast<std::size_t>(index), found.size()) << name;
        return static_cast<std::size_t>(index) < found.size() ? found[static_cast<std::size_t>(index)]
                                                              : view->contentItem();
    }
    QPoint centre(QQuickItem* item) {
        return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
    }

    core::ManualScheduler scheduler;
    core::ManualSerialQueue queue{scheduler};
    platform::sim::SimDesktop sim{scheduler};
    core::MemorySettings settings;
    QTemporaryDir dir;
    std::shared_ptr<HistoryStore> store = std::make_shared<HistoryStore>(dir.filePath(QStringLiteral("Tillory")));
    std::unique_ptr<ClipboardManager> manager;
    std::unique_ptr<ClipboardPageModel> model;
    std::unique_ptr<QObject> theme;
    std::unique_ptr<QQuickView> view;
    int closes = 0;
};

TEST_F(ClipboardPageViewTest, ShowsPinnedAndPlainEntriesWithTheirAges) {
    copy("pinned note");
    scheduler.advance(300);
    copy("a line\nwith a break\nand a third line that is long enough to need wrapping on the page's row");
    copy("https://example.org/the/newest/copy");
    manager->togglePin(manager->entries().back());
    for (bool dark : {true, false}) {
        QQuickView& page = show(dark);
        EXPECT_EQ(page.width(), 300);
        const QImage image =
            snapshot(&page, dark ? QStringLiteral("clipboard-page") : QStringLiteral("clipboard-page-light"));
        EXPECT_GT(drawnPixels(image), 300);
        const QStringList shown = texts(page.contentItem());
        for (const char* text :
             {"Clipboard", "pinned note", "5 minutes ago", "0 seconds ago", "https://example.org/the/newest/copy"}) {
            EXPECT_TRUE(shown.contains(QString::fromUtf8(text))) << text;
        }
        EXPECT_TRUE(shown.filter(QStringLiteral("a line with a break and a third")).size() == 1);
        EXPECT_FALSE(shown.contains(QStringLiteral("Copy something and it will appear here.")));
        // The long entry is cut at two lines: its row is no taller than two lines of text and the age.
        EXPECT_LE(find("row", 1)->height(), 12 + 2 * 16 + 2 + 13);
    }
}

TEST_F(ClipboardPageViewTest, RowButtonsActOnTheirEntryOnlyAndAClickCopiesBack) {
    copy("older");
    copy("newer");
    show();
    const std::int64_t written = sim.pasteboardChangeCount();
    QTest::mouseMove(view.get(), centre(find("row", 0)));
    pump(50);
    ASSERT_TRUE(find("pin")->isVisible());
    QTest::mouseMove(view.get(), centre(find("pin")));
    pump(50);
    snapshot(view.get(), QStringLiteral("clipboard-page-hover"));
    EXPECT_TRUE(texts(view->contentItem()).contains(QStringLiteral("Keep in history forever")));

    QTest::mouseClick(view.get(), Qt::LeftButton, {}, centre(find("pin")));
    EXPECT_TRUE(manager->entries().front().pinned);
    pump(50); // the row keeps its hover, and its buttons, after the pin
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, centre(find("delete")));
    pump(20);
    ASSERT_EQ(manager->count(), 1);
    EXPECT_EQ(manager->entries().front().text, QStringLiteral("older"));
    EXPECT_EQ(sim.pasteboardChangeCount(), written); // no button copied its row
    EXPECT_EQ(closes, 0);

    QTest::mouseClick(view.get(), Qt::LeftButton, {}, centre(find("row", 0)) - QPoint(60, 0));
    EXPECT_EQ(sim.pasteboardText(), QStringLiteral("older"));
    EXPECT_EQ(closes, 1);
}

TEST_F(ClipboardPageViewTest, EmptyHistoryShowsTheInvitationAndADisabledTrash) {
    QQuickView& page = show();
    snapshot(&page, QStringLiteral("clipboard-page-empty"));
    EXPECT_TRUE(texts(page.contentItem()).contains(QStringLiteral("Copy something and it will appear here.")));
    EXPECT_FALSE(find("trash")->isEnabled());
    copy("first");
    pump(20);
    EXPECT_TRUE(find("trash")->isEnabled());
}

TEST_F(ClipboardPageViewTest, CopiesThatLookLikeMarkupAreShownAsTheyAreAndLoadNothing) {
    CountingServer server;
    const QStringList copies = markupTexts(server);
    for (const QString& text : copies) {
        copy(text.toUtf8().constData());
    }
    QQuickView& page = show();
    pump(300);
    snapshot(&page, QStringLiteral("clipboard-page-markup"));
    for (const QString& text : copies) {
        EXPECT_EQ(shownLiterally(page.contentItem(), text), 1) << text.toStdString();
    }
    EXPECT_EQ(server.connections, 0);
}

} // namespace
} // namespace tillory::clipboard
