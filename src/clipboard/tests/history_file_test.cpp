#include "clipboard/history_codec.h"
#include "clipboard/history_store.h"
#include "core/atomic_file.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

namespace tillory::clipboard {
namespace {

const QString kIdA = QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF");
const QString kIdB = QStringLiteral("0B1E4F2A-93C7-4D6E-A5F0-1C2D3E4F5A6B");
const QString kIdC = QStringLiteral("00000000-0000-4000-8000-000000000000");

QByteArray everyByte() {
    QByteArray bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.append(static_cast<char>(i));
    }
    return bytes;
}

ClipboardEntries sampleEntries() {
    return {
        {QUuid::fromString(kIdA), QStringLiteral("Grüße \"quoted\" \\ 😀\n\tend\u0000!"), 734567890.123456789,
         everyByte(), true},
        {QUuid::fromString(kIdB), QStringLiteral("plain"), -12.5, std::nullopt, false},
        {QUuid::fromString(kIdC), QStringLiteral("empty rtf"), 0, QByteArray(), false},
    };
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(HistoryCodec, EncodedHistoryDecodesBackFieldForField) {
    const ClipboardEntries entries = sampleEntries();
    const auto decoded = decodeHistory(encodeHistory(entries));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, entries);
    EXPECT_EQ(decodeHistory(encodeHistory({})), ClipboardEntries{});
}

TEST(HistoryCodec, WritesCompactArrayWithUpperCaseIdsStandardBase64AndPinnedAlways) {
    const QUuid id = QUuid::fromString(kIdA.toLower());
    const QByteArray json = encodeHistory({
        {id, QStringLiteral("x"), 5.25, QByteArray("\xfb\xff\xbf"), true},
        {id, QStringLiteral("y"), 1, std::nullopt, false},
    });
    EXPECT_FALSE(json.contains(' '));
    EXPECT_FALSE(json.contains('\n'));

    const QJsonArray array = QJsonDocument::fromJson(json).array();
    ASSERT_EQ(array.size(), 2);
    const QJsonObject first = array[0].toObject();
    EXPECT_EQ(first.value(QStringLiteral("id")).toString(), kIdA);
    EXPECT_EQ(first.value(QStringLiteral("text")).toString(), QStringLiteral("x"));
    EXPECT_EQ(first.value(QStringLiteral("date")).toDouble(), 5.25);
    EXPECT_EQ(first.value(QStringLiteral("rtf")).toString(), QStringLiteral("+/+/"));
    EXPECT_EQ(first.value(QStringLiteral("pinned")), QJsonValue(true));

    const QJsonObject second = array[1].toObject();
    EXPECT_FALSE(second.contains(QStringLiteral("rtf")));
    EXPECT_EQ(second.value(QStringLiteral("pinned")), QJsonValue(false));
}

TEST(HistoryCodec, HandWrittenHistoryWithOptionalMembersLeftOutLoads) {
    const QByteArray json = R"([
        {"id": "6f9619ff-8b86-d011-b42d-00c04fc964ff", "text": "first", "date": 700000000.5,
         "rtf": "e1xydGYxfQ==", "pinned": true},
        {"text": "second", "date": 12, "id": "0B1E4F2A-93C7-4D6E-A5F0-1C2D3E4F5A6B"}
    ])";
    const auto entries = decodeHistory(json);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2U);
    EXPECT_EQ((*entries)[0].id, QUuid::fromString(kIdA));
    EXPECT_EQ((*entries)[0].text, QStringLiteral("first"));
    EXPECT_EQ((*entries)[0].date, 700000000.5);
    EXPECT_EQ((*entries)[0].rtf, QByteArray("{\\rtf1}"));
    EXPECT_TRUE((*entries)[0].pinned);
    EXPECT_EQ((*entries)[1].id, QUuid::fromString(kIdB));
    EXPECT_EQ((*entries)[1].date, 12.0);
    EXPECT_EQ((*entries)[1].rtf, std::nullopt);
    EXPECT_FALSE((*entries)[1].pinned);
}

TEST(HistoryCodec, RepeatedIdKeepsOnlyItsFirstEntry) {
    const QByteArray json = R"([
        {"id": "6F9619FF-8B86-D011-B42D-00C04FC964FF", "text": "newest", "date": 3},
        {"id": "0B1E4F2A-93C7-4D6E-A5F0-1C2D3E4F5A6B", "text": "other", "date": 2},
        {"id": "6f9619ff-8b86-d011-b42d-00c04fc964ff", "text": "older twin", "date": 1, "pinned": true}
    ])";
    const auto entries = decodeHistory(json);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2U);
    EXPECT_EQ((*entries)[0].text, QStringLiteral("newest"));
    EXPECT_EQ((*entries)[1].text, QStringLiteral("other"));
}

TEST(HistoryCodec, OneBadElementMakesTheWholeHistoryUnreadable) {
    const QByteArray good = R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","text":"ok","date":1})";
    ASSERT_TRUE(decodeHistory("[" + good + "]"));

    const std::vector<std::pair<const char*, QByteArray>> bad{
        {"date as string", R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","text":"a","date":"1"})"},
        {"pinned as string", R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","text":"a","date":1,"pinned":"true"})"},
        {"id as number", R"({"id":42,"text":"a","date":1})"},
        {"text as number", R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","text":1,"date":1})"},
        {"rtf as number", R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","text":"a","date":1,"rtf":3})"},
        {"id in braces", R"({"id":"{6F9619FF-8B86-D011-B42D-00C04FC964FF}","text":"a","date":1})"},
        {"id too short", R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964F","text":"a","date":1})"},
        {"id too long", R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF0","text":"a","date":1})"},
        {"id not hex", R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FG","text":"a","date":1})"},
        {"rtf bad character",
         R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","text":"a","date":1,"rtf":"e1x*dGYxfQ=="})"},
        {"rtf url alphabet", R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","text":"a","date":1,"rtf":"-_-_"})"},
        {"rtf short padding",
         R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","text":"a","date":1,"rtf":"e1xydGYxfQ="})"},
        {"rtf no padding", R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","text":"a","date":1,"rtf":"e1xydGYxfQ"})"},
        {"missing id", R"({"text":"a","date":1})"},
        {"missing text", R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","date":1})"},
        {"missing date", R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","text":"a"})"},
        {"date out of range", R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","text":"a","date":1e999})"},
    };
    for (const auto& [what, element] : bad) {
        EXPECT_EQ(decodeHistory("[" + good + "," + element + "]"), std::nullopt) << what;
    }

    const QByteArray whole = "[" + good + "]";
    for (const QByteArray& input :
         {QByteArray(), QByteArray("not json"), whole.left(whole.size() - 1), whole.left(whole.size() / 2),
          QByteArray("{\"entries\":[]}"), good, QByteArray("\"[]\""), QByteArray("null"), whole + " []"}) {
        EXPECT_EQ(decodeHistory(input), std::nullopt) << input.toStdString();
    }
}

TEST(HistoryCodec, InputLargerThanTheLimitIsUnreadable) {
    // Valid JSON padded with whitespace, so that only the size can be what rejects it.
    QByteArray json(kMaxHistoryFileBytes, ' ');
    json[0] = '[';
    json[json.size() - 1] = ']';
    EXPECT_EQ(decodeHistory(json), ClipboardEntries{});
    json.insert(1, ' ');
    EXPECT_EQ(decodeHistory(json), std::nullopt);
}

class HistoryStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("config/Tillory"));
};

TEST_F(HistoryStoreTest, SavedHistoryLoadsBack) {
    const HistoryStore store(folder);
    EXPECT_EQ(store.load().status, HistoryStore::LoadStatus::Missing);

    ASSERT_TRUE(store.save(sampleEntries()));
    const auto result = HistoryStore(folder).load();
    EXPECT_EQ(result.status, HistoryStore::LoadStatus::Loaded);
    EXPECT_EQ(result.entries, sampleEntries());
}

TEST_F(HistoryStoreTest, FolderIsPrivateAndFileIsOwnerOnly) {
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    const HistoryStore store(folder);
    EXPECT_EQ(modeOf(folder), 0700U) << "an existing folder is tightened";

    ASSERT_TRUE(store.save(sampleEntries()));
    EXPECT_EQ(store.path(), QDir(folder).filePath(QStringLiteral("clipboard-history.json")));
    EXPECT_EQ(modeOf(store.path()), 0600U);

    ASSERT_EQ(::chmod(QFile::encodeName(store.path()).constData(), 0644), 0);
    ASSERT_TRUE(store.save({}));
    EXPECT_EQ(modeOf(store.path()), 0600U) << "a replaced file does not inherit loose permissions";
}

TEST_F(HistoryStoreTest, UnreadableFilesAreMovedAsideWithoutReplacingEarlierOnes) {
    const HistoryStore store(folder);
    writeFile(store.path(), "[{\"id\":");
    const auto first = store.load();
    EXPECT_EQ(first.status, HistoryStore::LoadStatus::Unreadable);
    EXPECT_TRUE(first.entries.empty());
    EXPECT_EQ(first.movedTo, store.path() + QStringLiteral(".corrupt"));
    EXPECT_FALSE(QFile::exists(store.path()));

    writeFile(store.path(), "{}");
    const auto second = store.load();
    EXPECT_EQ(second.status, HistoryStore::LoadStatus::Unreadable);
    EXPECT_NE(second.movedTo, first.movedTo);
    EXPECT_EQ(readFile(first.movedTo), "[{\"id\":");
    EXPECT_EQ(readFile(second.movedTo), "{}");

    ASSERT_TRUE(store.save({}));
    EXPECT_EQ(store.load().status, HistoryStore::LoadStatus::Loaded);
}

TEST_F(HistoryStoreTest, OnFatThroughFuseTheCorruptFileIsMovedAsideAndTheHistorySaved) {
    // FAT through FUSE has neither modes nor hard links: chmod answers ENOSYS, link EPERM.
    const core::FileSystemCalls system = core::fileSystemCalls();
    core::fileSystemCalls().fchmod = [](int, mode_t) {
        errno = ENOSYS;
        return -1;
    };
    core::fileSystemCalls().link = [](const char*, const char*) {
        errno = EPERM;
        return -1;
    };
    const HistoryStore store(folder);
    writeFile(store.path(), "[{\"id\":");
    const auto loaded = store.load();
    const bool saved = store.save(sampleEntries());
    core::fileSystemCalls() = system;

    EXPECT_EQ(loaded.status, HistoryStore::LoadStatus::Unreadable);
    EXPECT_EQ(loaded.movedTo, store.path() + QStringLiteral(".corrupt"));
    EXPECT_EQ(readFile(loaded.movedTo), "[{\"id\":");
    EXPECT_TRUE(saved);
    EXPECT_EQ(store.load().entries, sampleEntries());
    EXPECT_EQ(modeOf(store.path()), 0600U);
}

TEST_F(HistoryStoreTest, ReadOnlyStoreReadsButNeverWritesOrMovesAnything) {
    const QByteArray readable = encodeHistory(sampleEntries());
    for (const QByteArray& content : {readable, QByteArray("[{\"id\":")}) {
        writeFile(HistoryStore(folder).path(), content);
        const HistoryStore store(folder, HistoryStore::Access::ReadOnly);
        EXPECT_FALSE(store.canSave());
        const auto result = store.load();
        EXPECT_EQ(result.status,
                  content == readable ? HistoryStore::LoadStatus::Loaded : HistoryStore::LoadStatus::Unreadable);
        EXPECT_TRUE(result.movedTo.isEmpty());
        EXPECT_FALSE(store.save({}));
        EXPECT_EQ(readFile(store.path()), content);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 1);
    }
}

} // namespace
} // namespace tillory::clipboard
