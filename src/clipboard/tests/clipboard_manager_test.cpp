#include "clipboard/clipboard_manager.h"
#include "clipboard/history_codec.h"
#include "clipboard/history_store.h"
#include "core/manual_scheduler.h"
#include "core/serial_queue.h"
#include "core/settings.h"
#include "core/uuid.h"
#include "platform/api/pasteboard.h"
#include "platform/sim/sim_desktop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace tillory::clipboard {
namespace {

const QString kLegacyKey = QStringLiteral("clipboardHistory");

/// Collects the history's warnings while alive.
class WarningLog {
public:
    WarningLog() {
        messages_ = &lines;
        previous_ = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (type == QtWarningMsg && qstrcmp(context.category, "tillory.clipboard") == 0) {
                messages_->append(text);
            }
        });
    }
    ~WarningLog() {
        qInstallMessageHandler(previous_);
        messages_ = nullptr;
    }
    QStringList lines;

private:
    static inline QStringList* messages_ = nullptr;
    QtMessageHandler previous_ = nullptr;
};

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

class ClipboardManagerTest : public ::testing::Test {
protected:
    ClipboardManager& launch() {
        manager = std::make_unique<ClipboardManager>(*sim.platform().pasteboard, settings, scheduler, queue, store);
        manager->start();
        return *manager;
    }

    /// Another application copies; the next poll sees it.
    void copy(const std::optional<QString>& text, const QStringList& types = {},
              const std::optional<QByteArray>& rtf = std::nullopt) {
        sim.copy(text, types, rtf);
        scheduler.advance(0.7);
    }

    QStringList texts() const {
        QStringList list;
        for (const auto& entry : manager->entries()) {
            list.append(entry.text);
        }
        return list;
    }

    const ClipboardEntry* find(const QString& text) const {
        for (const auto& entry : manager->entries()) {
            if (entry.text == text) {
                return &entry;
            }
        }
        return nullptr;
    }

    std::optional<ClipboardEntries> savedEntries() const { return decodeHistory(readFile(store->path())); }

    QTemporaryDir dir;
    core::ManualScheduler scheduler;
    core::ManualSerialQueue queue{scheduler};
    platform::sim::SimDesktop sim{scheduler};
    core::MemorySettings settings;
    std::shared_ptr<HistoryStore> store = std::make_shared<HistoryStore>(dir.filePath(QStringLiteral("Tillory")));
    std::unique_ptr<ClipboardManager> manager;
};

// Where the platform announces copies, the history follows them with no timer running between copies; switched
// off, it stops listening; where nothing is announced it polls every 0.7 s.
TEST_F(ClipboardManagerTest, AnnouncedCopiesAreRecordedWithoutPolling) {
    sim.setPasteboardAnnounces(true);
    ClipboardManager& m = launch();
    EXPECT_EQ(sim.pasteboardObserverCount(), 1);
    EXPECT_EQ(scheduler.timerCount(), 0u) << "nothing runs while nobody copies";
    sim.copy(QStringLiteral("announced"));
    scheduler.runPosted();
    EXPECT_EQ(texts(), QStringList{QStringLiteral("announced")}) << "recorded at once, without time passing";
    m.setEnabled(false);
    EXPECT_EQ(sim.pasteboardObserverCount(), 0);
    sim.copy(QStringLiteral("while off"));
    scheduler.runPosted();
    scheduler.advance(5);
    EXPECT_EQ(texts(), QStringList{QStringLiteral("announced")});
    m.setEnabled(true);
    sim.copy(QStringLiteral("back on"));
    scheduler.runPosted();
    EXPECT_EQ(texts().value(0), QStringLiteral("back on"));

    // The same without announcements: a copy waits for the next look, 0.7 s on.
    sim.setPasteboardAnnounces(false);
    manager.reset();
    launch();
    EXPECT_EQ(scheduler.timerCount(), 1u);
    sim.copy(QStringLiteral("polled"));
    scheduler.runPosted();
    scheduler.advance(0.69);
    EXPECT_NE(texts().value(0), QStringLiteral("polled"));
    scheduler.advance(0.01);
    EXPECT_EQ(texts().value(0), QStringLiteral("polled"));
}

TEST_F(ClipboardManagerTest, PasteboardContentAtLaunchIsNotRecorded) {
    sim.copy(QStringLiteral("there before launch"));
    launch();
    scheduler.advance(5);
    EXPECT_TRUE(manager->entries().empty());

    copy(QStringLiteral("after launch"));
    EXPECT_EQ(texts(), QStringList{QStringLiteral("after launch")});
}

TEST_F(ClipboardManagerTest, CopyIsSeenAtTheNextPollTick) {
    launch();
    sim.copy(QStringLiteral("a"));
    scheduler.advance(0.69);
    EXPECT_TRUE(manager->entries().empty());
    scheduler.advance(0.01);
    ASSERT_EQ(texts(), QStringList{QStringLiteral("a")});
    EXPECT_DOUBLE_EQ(manager->entries()[0].date, scheduler.currentDate());
    EXPECT_FALSE(manager->entries()[0].pinned);
}

TEST_F(ClipboardManagerTest, TrimsWhitespaceAndIgnoresBlankOrTextlessCopies) {
    launch();
    copy(QStringLiteral(" \t\r\n\u00a0hello\n world\u3000\n "));
    EXPECT_EQ(texts(), QStringList{QStringLiteral("hello\n world")});

    copy(QStringLiteral(" \n\t\u2028 "));
    copy(std::nullopt);
    copy(QString());
    EXPECT_EQ(manager->count(), 1);
    // An ignored change is still consumed, so it is not looked at again.
    EXPECT_EQ(manager->lastChangeCount(), sim.pasteboardChangeCount());
}

TEST_F(ClipboardManagerTest, LengthLimitCountsUserPerceivedCharacters) {
    const int limit = 20000;
    const QString combiningE = QStringLiteral("e\u0301");
    const QString flag = QStringLiteral("\U0001F1EB\U0001F1F7");
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    launch();
    for (const QString& unit : {QStringLiteral("x"), combiningE, flag, family}) {
        SCOPED_TRACE(unit.toStdString());
        const int before = manager->count();
        copy(unit.repeated(limit + 1));
        EXPECT_EQ(manager->count(), before) << "one character over the limit is ignored";
        copy(unit.repeated(limit));
        ASSERT_EQ(manager->count(), before + 1) << "exactly the limit is recorded";
        EXPECT_EQ(manager->entries()[0].text, unit.repeated(limit));
    }
    // Trimmed whitespace does not count.
    copy(QStringLiteral("\n") + QStringLiteral("y").repeated(limit) + QStringLiteral("  \n"));
    EXPECT_EQ(manager->entries()[0].text, QStringLiteral("y").repeated(limit));
}

TEST_F(ClipboardManagerTest, CopiesMarkedTransientConcealedOrAutoGeneratedAreIgnored) {
    launch();
    for (const char* type :
         {"org.nspasteboard.TransientType", "org.nspasteboard.ConcealedType", "org.nspasteboard.AutoGeneratedType"}) {
        copy(QStringLiteral("secret"), {QString::fromLatin1(type)});
    }
    EXPECT_TRUE(manager->entries().empty());
    EXPECT_EQ(manager->lastChangeCount(), sim.pasteboardChangeCount());

    copy(QStringLiteral("plain"), {QStringLiteral("com.example.other")});
    EXPECT_EQ(texts(), QStringList{QStringLiteral("plain")});
}

TEST_F(ClipboardManagerTest, CopyOfExistingTextPromotesItKeepingIdPinAndRtf) {
    launch();
    copy(QStringLiteral("a"), {}, QByteArray("{\\rtf1 first}"));
    copy(QStringLiteral("b"));
    const ClipboardEntry original = *find(QStringLiteral("a"));
    manager->togglePin(original);
    scheduler.advance(10 * 0.7); // keeps the next copy's poll at the end of `copy`

    copy(QStringLiteral("  a\n"), {}, QByteArray("{\\rtf1 second}"));
    ASSERT_EQ(texts(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    const ClipboardEntry& promoted = manager->entries()[0];
    EXPECT_EQ(promoted.id, original.id);
    EXPECT_TRUE(promoted.pinned);
    EXPECT_EQ(promoted.rtf, QByteArray("{\\rtf1 first}"));
    EXPECT_DOUBLE_EQ(promoted.date, scheduler.currentDate());
    EXPECT_GT(promoted.date, original.date);
}

TEST_F(ClipboardManagerTest, CanonicallyEquivalentTextIsTheSameCopy) {
    struct Case {
        const char* what;
        QString first;
        QString second;
        bool same;
    };
    const Case cases[] = {
        {"composed, then decomposed", QStringLiteral("caf\u00e9"), QStringLiteral("cafe\u0301"), true},
        {"decomposed, then composed", QStringLiteral("Ble\u0301"), QStringLiteral("Bl\u00e9"), true},
        {"two marks in either order", QStringLiteral("a\u0323\u0307"), QStringLiteral("a\u0307\u0323"), true},
        {"a ligature is another text", QStringLiteral("\ufb01le"), QStringLiteral("file"), false},
        {"another accent is another text", QStringLiteral("r\u00f4le"), QStringLiteral("ro\u0300le"), false},
    };
    launch();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = manager->count();
        copy(c.first);
        const QUuid id = manager->entries()[0].id;
        copy(c.second);
        ASSERT_EQ(manager->count(), before + (c.same ? 1 : 2));
        if (c.same) {
            EXPECT_EQ(manager->entries()[0].id, id);
            EXPECT_EQ(manager->entries()[0].text, c.first) << "the entry keeps its own text";
        }
    }
}

TEST_F(ClipboardManagerTest, RtfOverTheLimitIsDroppedButTheTextIsRecorded) {
    const QByteArray atLimit(262144, 'r');
    launch();
    copy(QStringLiteral("at limit"), {}, atLimit);
    copy(QStringLiteral("over limit"), {}, atLimit + 'r');
    copy(QStringLiteral("no rtf"));

    ASSERT_EQ(manager->count(), 3);
    EXPECT_EQ(find(QStringLiteral("at limit"))->rtf, atLimit);
    EXPECT_EQ(find(QStringLiteral("over limit"))->rtf, std::nullopt);
    EXPECT_EQ(find(QStringLiteral("no rtf"))->rtf, std::nullopt);
}

TEST_F(ClipboardManagerTest, OldestUnpinnedEntryIsEvictedPastForty) {
    launch();
    copy(QStringLiteral("pinned oldest"));
    manager->togglePin(manager->entries()[0]);
    for (int i = 0; i < 40; ++i) {
        copy(QString::number(i));
    }
    // 41 copies: the pinned one stays, "0" (the oldest unpinned) goes.
    ASSERT_EQ(manager->count(), 40);
    EXPECT_EQ(manager->entries().back().text, QStringLiteral("pinned oldest"));
    EXPECT_EQ(find(QStringLiteral("0")), nullptr);
    EXPECT_NE(find(QStringLiteral("1")), nullptr);
    EXPECT_EQ(manager->entries()[0].text, QStringLiteral("39"));
}

TEST_F(ClipboardManagerTest, WithFortyPinnedEntriesANewCopyIsDroppedAtOnce) {
    launch();
    for (int i = 0; i < 40; ++i) {
        copy(QString::number(i));
        manager->togglePin(manager->entries()[0]);
    }
    copy(QStringLiteral("new"));
    EXPECT_EQ(manager->count(), 40);
    EXPECT_EQ(find(QStringLiteral("new")), nullptr);
    EXPECT_EQ(manager->entries()[0].text, QStringLiteral("39"));
}

TEST_F(ClipboardManagerTest, PinnedEntriesShowFirstAndSurviveClear) {
    launch();
    for (const char* text : {"a", "b", "c", "d"}) {
        copy(QString::fromLatin1(text));
    }
    manager->togglePin(*find(QStringLiteral("b")));
    manager->togglePin(*find(QStringLiteral("d")));
    manager->togglePin(*find(QStringLiteral("c")));
    manager->togglePin(*find(QStringLiteral("c")));

    QStringList shown;
    for (const auto& entry : manager->displayEntries()) {
        shown.append(entry.text);
    }
    EXPECT_EQ(shown, (QStringList{"d", "b", "c", "a"}));
    EXPECT_EQ(texts(), (QStringList{"d", "c", "b", "a"})) << "pinning does not reorder the history";

    manager->clear();
    EXPECT_EQ(texts(), (QStringList{"d", "b"}));
}

TEST_F(ClipboardManagerTest, RemoveAndPromoteFindEntriesById) {
    launch();
    for (const char* text : {"a", "b", "c"}) {
        copy(QString::fromLatin1(text));
    }
    const ClipboardEntry b = *find(QStringLiteral("b"));
    scheduler.advance(3);
    manager->promote(b);
    EXPECT_EQ(texts(), (QStringList{"b", "c", "a"}));
    EXPECT_EQ(manager->entries()[0].id, b.id);
    EXPECT_DOUBLE_EQ(manager->entries()[0].date, scheduler.currentDate());

    ClipboardEntry staleCopyOfA = *find(QStringLiteral("a"));
    staleCopyOfA.text = QStringLiteral("edited elsewhere");
    manager->remove(staleCopyOfA);
    EXPECT_EQ(texts(), (QStringList{"b", "c"}));

    queue.runAll();
    int changes = 0;
    QObject::connect(manager.get(), &ClipboardManager::entriesChanged, [&] { ++changes; });
    manager->togglePin({core::makeUuid(), QStringLiteral("b"), 0, std::nullopt, false});
    EXPECT_EQ(manager->displayEntries(), manager->entries()) << "pinning an unknown id pins nothing";
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(queue.pendingCount(), 0) << "and saves nothing";
}

TEST_F(ClipboardManagerTest, RepeatedIdsInTheFileLoadOnce) {
    const QUuid x = core::makeUuid();
    const QUuid y = core::makeUuid();
    ASSERT_TRUE(store->save({{x, QStringLiteral("x"), 3, std::nullopt, false},
                             {y, QStringLiteral("y"), 2, std::nullopt, false},
                             {x, QStringLiteral("x twin"), 1, std::nullopt, true}}));
    launch();
    EXPECT_EQ(texts(), (QStringList{"x", "y"}));
    copy(QStringLiteral("y"));
    EXPECT_EQ(texts(), (QStringList{"y", "x"}));
}

TEST_F(ClipboardManagerTest, BurstOfChangesIsSavedOnceWithTheLastStateHalfASecondLater) {
    launch();
    sim.copy(QStringLiteral("a"));
    scheduler.advance(0.7); // recorded at 0.7
    scheduler.advance(0.3);
    manager->togglePin(manager->entries()[0]); // at 1.0
    sim.copy(QStringLiteral("b"));
    scheduler.advance(0.3);
    EXPECT_EQ(queue.runDue(), 0) << "the first change's save was replaced";
    scheduler.advance(0.1); // the poll at 1.4 records "b"
    ASSERT_EQ(manager->count(), 2);
    EXPECT_EQ(queue.pendingCount(), 1);

    scheduler.advance(0.5 - 0.01);
    EXPECT_EQ(queue.runDue(), 0);
    EXPECT_FALSE(QFile::exists(store->path()));
    scheduler.advance(0.01);
    EXPECT_EQ(queue.runDue(), 1);
    EXPECT_EQ(savedEntries(), manager->entries());
    EXPECT_EQ(queue.pendingCount(), 0);
}

TEST_F(ClipboardManagerTest, FlushWritesOnlyAPendingSave) {
    launch();
    manager->flush();
    EXPECT_FALSE(QFile::exists(store->path())) << "nothing was pending";

    copy(QStringLiteral("a"));
    manager->flush();
    EXPECT_EQ(savedEntries(), manager->entries());
    EXPECT_EQ(queue.pendingCount(), 0) << "the delayed save is cancelled";

    ASSERT_TRUE(QFile::remove(store->path()));
    manager->flush();
    EXPECT_FALSE(QFile::exists(store->path())) << "a second flush has nothing to write";

    copy(QStringLiteral("b"));
    scheduler.advance(0.5);
    ASSERT_EQ(queue.runDue(), 1);
    ASSERT_TRUE(QFile::remove(store->path()));
    manager->flush();
    EXPECT_FALSE(QFile::exists(store->path())) << "the delayed save already ran";
}

TEST_F(ClipboardManagerTest, ALateOlderSaveNeverReplacesAFlushedNewerOne) {
    settings.setData(kLegacyKey,
                     encodeHistory({{core::makeUuid(), QStringLiteral("legacy"), 1.0, std::nullopt, false}}));
    launch();
    copy(QStringLiteral("newer"));
    manager->flush();
    EXPECT_EQ(queue.runAll(), 1) << "the migration's save comes after the flush";
    EXPECT_EQ(texts(), (QStringList{"newer", "legacy"}));
    EXPECT_EQ(savedEntries(), manager->entries());
    scheduler.runPosted();
    EXPECT_FALSE(settings.contains(kLegacyKey)) << "the file holds the migrated history";
}

TEST_F(ClipboardManagerTest, LegacyHistoryIsMigratedAndItsSettingRemovedAfterTheWrite) {
    const ClipboardEntries legacy{
        {core::makeUuid(), QStringLiteral("new"), 700.0, QByteArray("{\\rtf1}"), true},
        {core::makeUuid(), QStringLiteral("old"), 600.0, std::nullopt, false},
    };
    settings.setData(kLegacyKey, encodeHistory(legacy));
    launch();
    EXPECT_EQ(manager->entries(), legacy);
    EXPECT_FALSE(QFile::exists(store->path()));

    scheduler.runPosted();
    EXPECT_TRUE(settings.contains(kLegacyKey));
    EXPECT_EQ(queue.runDue(), 1);
    EXPECT_EQ(savedEntries(), legacy);
    EXPECT_TRUE(settings.contains(kLegacyKey)) << "removal belongs to the main thread";
    scheduler.runPosted();
    EXPECT_FALSE(settings.contains(kLegacyKey));
}

TEST_F(ClipboardManagerTest, LegacySettingStaysWhenTheMigratedFileCannotBeWritten) {
    // A plain file where the history folder should be makes every save fail.
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    writeFile(blocked, "not a folder");
    store = std::make_shared<HistoryStore>(blocked);
    const ClipboardEntries legacy{{core::makeUuid(), QStringLiteral("kept"), 1.0, std::nullopt, false}};
    settings.setData(kLegacyKey, encodeHistory(legacy));

    launch();
    EXPECT_EQ(manager->entries(), legacy);
    queue.runAll();
    scheduler.runPosted();
    EXPECT_TRUE(settings.contains(kLegacyKey));
}

TEST_F(ClipboardManagerTest, ReadableFileWinsOverLegacySetting) {
    const ClipboardEntries onFile{{core::makeUuid(), QStringLiteral("file"), 2.0, std::nullopt, true}};
    ASSERT_TRUE(store->save(onFile));
    settings.setData(kLegacyKey,
                     encodeHistory({{core::makeUuid(), QStringLiteral("legacy"), 1.0, std::nullopt, false}}));
    launch();
    EXPECT_EQ(manager->entries(), onFile);
    EXPECT_EQ(queue.pendingCount(), 0);
}

TEST_F(ClipboardManagerTest, UnreadableFileIsMovedAsideAndTheNextSaveStartsAFreshOne) {
    const QByteArray damaged = R"([{"id":"not a uuid","text":"lost?","date":1}])";
    writeFile(store->path(), damaged);
    launch();
    EXPECT_TRUE(manager->entries().empty());
    const QString aside = store->path() + QStringLiteral(".corrupt");
    EXPECT_EQ(readFile(aside), damaged);
    EXPECT_FALSE(QFile::exists(store->path()));

    copy(QStringLiteral("fresh"));
    scheduler.advance(0.5);
    queue.runDue();
    ASSERT_TRUE(savedEntries());
    EXPECT_EQ(savedEntries()->size(), 1U);
    EXPECT_EQ(readFile(aside), damaged);
}

TEST_F(ClipboardManagerTest, FailingSavesWarnOncePerStreakAndShowInSaveFailing) {
    // A plain file where the history folder should be makes every save fail until it is a folder again.
    const QString folder = dir.filePath(QStringLiteral("later"));
    writeFile(folder, "not a folder yet");
    store = std::make_shared<HistoryStore>(folder);
    WarningLog log;
    launch();
    EXPECT_FALSE(manager->isSaveFailing());
    int flips = 0;
    QObject::connect(manager.get(), &ClipboardManager::saveFailingChanged, [&] { ++flips; });
    const auto copyAndSave = [&](const char* text) {
        copy(QString::fromLatin1(text));
        scheduler.advance(0.5);
        queue.runDue();
        scheduler.runPosted();
    };

    copyAndSave("a");
    EXPECT_TRUE(manager->isSaveFailing());
    ASSERT_EQ(log.lines.size(), 1);
    EXPECT_TRUE(log.lines[0].contains(store->path()));
    copyAndSave("b");
    EXPECT_EQ(log.lines.size(), 1) << "one warning per streak";

    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().mkdir(folder));
    copyAndSave("c");
    EXPECT_FALSE(manager->isSaveFailing());
    EXPECT_EQ(savedEntries(), manager->entries()) << "the next change writes everything";

    ASSERT_TRUE(QDir(folder).removeRecursively());
    writeFile(folder, "in the way again");
    copyAndSave("d");
    EXPECT_TRUE(manager->isSaveFailing());
    EXPECT_EQ(log.lines.size(), 2);
    EXPECT_EQ(flips, 3);
}

TEST_F(ClipboardManagerTest, ReadOnlyFolderKeepsTheHistoryInMemoryOnly) {
    const ClipboardEntries onFile{{core::makeUuid(), QStringLiteral("file"), 2.0, std::nullopt, false}};
    ASSERT_TRUE(store->save(onFile));
    const QByteArray before = readFile(store->path());
    settings.setData(kLegacyKey, encodeHistory(onFile));
    store = std::make_shared<HistoryStore>(dir.filePath(QStringLiteral("Tillory")), HistoryStore::Access::ReadOnly);
    launch();
    EXPECT_EQ(manager->entries(), onFile);
    EXPECT_TRUE(manager->isSaveFailing());

    copy(QStringLiteral("kept in memory"));
    EXPECT_EQ(texts(), (QStringList{"kept in memory", "file"}));
    manager->flush();
    EXPECT_EQ(queue.runAll(), 0);
    EXPECT_EQ(readFile(store->path()), before);

    ASSERT_TRUE(QFile::remove(store->path()));
    launch(); // the legacy copy is adopted but stays
    EXPECT_EQ(manager->entries(), onFile);
    EXPECT_EQ(queue.runAll(), 0);
    scheduler.runPosted();
    EXPECT_TRUE(settings.contains(kLegacyKey));
}

TEST_F(ClipboardManagerTest, DisablingStopsThePollAndReEnablingRecordsACopyMadeMeanwhile) {
    launch();
    EXPECT_TRUE(manager->enabled());
    manager->setEnabled(false);
    EXPECT_FALSE(manager->isPolling());
    EXPECT_TRUE(settings.contains(QStringLiteral("clipboardEnabled")));
    EXPECT_FALSE(settings.boolValue(QStringLiteral("clipboardEnabled")));

    copy(QStringLiteral("while off"));
    scheduler.advance(5);
    EXPECT_TRUE(manager->entries().empty());

    manager->setEnabled(true);
    EXPECT_TRUE(manager->isPolling());
    scheduler.advance(0.7);
    EXPECT_EQ(texts(), QStringList{QStringLiteral("while off")});

    manager->setEnabled(false);
    launch(); // the next launch stays off
    EXPECT_FALSE(manager->enabled());
    EXPECT_FALSE(manager->isPolling());
}

} // namespace
} // namespace tillory::clipboard
