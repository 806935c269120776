#include "clipboard/clipboard_page_model.h"

#include "clipboard/clipboard_manager.h"
#include "clipboard/history_store.h"
#include "core/manual_scheduler.h"
#include "core/serial_queue.h"
#include "core/settings.h"
#include "platform/sim/sim_desktop.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace tillory::clipboard {
namespace {

class ClipboardPageModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager = std::make_unique<ClipboardManager>(*sim.platform().pasteboard, settings, scheduler, queue, store);
        manager->start();
    }
    void copy(const QString& text, const std::optional<QByteArray>& rtf = std::nullopt) {
        sim.copy(text, {}, rtf);
        scheduler.advance(0.7);
    }
    QStringList texts(const ClipboardPageModel& page) const {
        QStringList list;
        for (const QVariant& row : page.rows()) {
            list << row.toMap().value(QStringLiteral("text")).toString();
        }
        return list;
    }
    QString idOf(const QString& text) const {
        for (const ClipboardEntry& e : manager->entries()) {
            if (e.text == text) {
                return e.id.toString(QUuid::WithoutBraces);
            }
        }
        return {};
    }

    core::ManualScheduler scheduler;
    core::ManualSerialQueue queue{scheduler};
    platform::sim::SimDesktop sim{scheduler};
    core::MemorySettings settings;
    QTemporaryDir dir;
    std::shared_ptr<HistoryStore> store = std::make_shared<HistoryStore>(dir.filePath(QStringLiteral("Tillory")));
    std::unique_ptr<ClipboardManager> manager;
};

TEST(RelativeAge, LargestWholeUnitWithNumbersAndFullNames) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0, "0 seconds ago"},         {1, "1 second ago"},          {59, "59 seconds ago"}, {60, "1 minute ago"},
        {300, "5 minutes ago"},       {7200, "2 hours ago"},        {86400, "1 day ago"},   {8 * 86400, "1 week ago"},
        {61 * 86400, "2 months ago"}, {800 * 86400, "2 years ago"}, {-7200, "in 2 hours"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(relativeAge(1000, 1000 + c.seconds), QString::fromUtf8(c.text)) << c.seconds;
    }
}

TEST_F(ClipboardPageModelTest, ListsPinnedFirstThenTheNewestUpToTwelve) {
    for (int i = 1; i <= 20; ++i) {
        copy(QStringLiteral("copy %1").arg(i));
    }
    for (int i : {3, 5, 7}) {
        manager->togglePin(manager->entries()[static_cast<std::size_t>(20 - i)]);
    }
    ClipboardPageModel page(*manager, *sim.platform().pasteboard);
    EXPECT_EQ(texts(page), QStringList({"copy 7", "copy 5", "copy 3", "copy 20", "copy 19", "copy 18", "copy 17",
                                        "copy 16", "copy 15", "copy 14", "copy 13", "copy 12"}));
    EXPECT_TRUE(page.rows()[0].toMap().value(QStringLiteral("pinned")).toBool());
    EXPECT_EQ(page.rows()[3].toMap().value(QStringLiteral("age")).toString(), QStringLiteral("0 seconds ago"));
    EXPECT_EQ(page.rows()[11].toMap().value(QStringLiteral("age")).toString(), QStringLiteral("5 seconds ago"));

    page.clear();
    EXPECT_EQ(texts(page), QStringList({"copy 7", "copy 5", "copy 3"}));
    EXPECT_FALSE(page.isEmpty()); // the trash stays enabled while pinned entries exist
    for (const QString& text : texts(page)) {
        page.togglePin(idOf(text));
    }
    page.clear();
    EXPECT_TRUE(page.isEmpty());
}

TEST_F(ClipboardPageModelTest, CopyWritesBothFlavoursPromotesAndIsNotRecordedAgain) {
    copy(QStringLiteral("two\nlines"), QByteArray("{\\rtf1 two}"));
    copy(QStringLiteral("newer"));
    ClipboardPageModel page(*manager, *sim.platform().pasteboard);
    EXPECT_EQ(texts(page), QStringList({"newer", "two lines"}));
    int closing = 0;
    QObject::connect(&page, &ClipboardPageModel::closeRequested, [&closing] { ++closing; });
    const QString id = idOf(QStringLiteral("two\nlines"));
    page.copy(id);
    EXPECT_EQ(closing, 1);
    EXPECT_EQ(sim.pasteboardText(), QStringLiteral("two\nlines"));
    EXPECT_EQ(sim.pasteboardRtf(), QByteArray("{\\rtf1 two}"));
    scheduler.advance(0.7);
    EXPECT_EQ(manager->count(), 2);
    EXPECT_EQ(texts(page), QStringList({"two lines", "newer"}));
    EXPECT_EQ(manager->entries().front().id, QUuid(id));
}

TEST_F(ClipboardPageModelTest, ActionsOnAnEntryThatIsGoneDoNothing) {
    copy(QStringLiteral("a"));
    ClipboardPageModel page(*manager, *sim.platform().pasteboard);
    const QString id = idOf(QStringLiteral("a"));
    const std::int64_t count = sim.pasteboardChangeCount();
    page.remove(id);
    EXPECT_TRUE(page.isEmpty());
    int closing = 0;
    QObject::connect(&page, &ClipboardPageModel::closeRequested, [&closing] { ++closing; });
    for (auto action : {&ClipboardPageModel::copy, &ClipboardPageModel::togglePin, &ClipboardPageModel::remove}) {
        (page.*action)(id);
    }
    EXPECT_TRUE(page.isEmpty()); // a deleted entry never comes back
    EXPECT_EQ(sim.pasteboardChangeCount(), count);
    EXPECT_EQ(closing, 0);
}

/// The simulated pasteboard, running `duringWrite` inside each write as a nested event loop may.
class BusyPasteboard final : public platform::Pasteboard {
public:
    explicit BusyPasteboard(platform::Pasteboard& inner) : inner_(inner) {}
    std::int64_t changeCount() override { return inner_.changeCount(); }
    QStringList types() override { return inner_.types(); }
    std::optional<QString> string() override { return inner_.string(); }
    std::optional<QByteArray> data(const QString& type) override { return inner_.data(type); }
    std::int64_t write(const QString& text, const std::optional<QByteArray>& rtf) override {
        const std::int64_t count = inner_.write(text, rtf);
        if (duringWrite) {
            duringWrite();
        }
        return count;
    }
    std::function<void()> duringWrite;

private:
    platform::Pasteboard& inner_;
};

TEST_F(ClipboardPageModelTest, AnEntryThatChangedWhileBeingCopiedIsPromotedAsItIsNow) {
    const struct {
        const char* name;
        std::function<void(const QString& id)> change;
        QStringList after;
        bool pinned;
    } cases[] = {
        {"pinned meanwhile",
         [this](const QString&) { manager->togglePin(manager->entries().back()); },
         {"b", "a"},
         true},
        {"deleted meanwhile", [this](const QString&) { manager->remove(manager->entries().back()); }, {"a"}, false},
    };
    for (const auto& c : cases) {
        manager->clear();
        copy(QStringLiteral("b"));
        copy(QStringLiteral("a"));
        BusyPasteboard pasteboard(*sim.platform().pasteboard);
        ClipboardPageModel page(*manager, pasteboard);
        const QString id = idOf(QStringLiteral("b"));
        pasteboard.duringWrite = [&] { c.change(id); };
        page.copy(id);
        EXPECT_EQ(texts(page), c.after) << c.name;
        EXPECT_EQ(!manager->entries().empty() && manager->entries().front().pinned, c.pinned) << c.name;
    }
}

} // namespace
} // namespace tillory::clipboard
