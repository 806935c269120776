#include "core/atomic_file.h"
#include "core/dates.h"
#include "core/uuid.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tillory::core {
namespace {

mode_t permissions(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return 0;
    }
    return info.st_mode & 07777;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

class Files : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString path(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
};

TEST_F(Files, WriteCreatesAnOwnerOnlyFile) {
    const QString file = path(QStringLiteral("history.json"));
    ASSERT_TRUE(writeFileAtomically(file, QByteArray("first")));
    EXPECT_EQ(contents(file), QByteArray("first"));
    EXPECT_EQ(permissions(file), mode_t{0600});
}

TEST_F(Files, WriteAppliesTheRequestedModeWhateverTheUmask) {
    const QString file = path(QStringLiteral("shared"));
    const mode_t previous = ::umask(0077);
    const bool written = writeFileAtomically(file, QByteArray("x"), 0644);
    ::umask(previous);
    ASSERT_TRUE(written);
    EXPECT_EQ(permissions(file), mode_t{0644});
}

TEST_F(Files, ReplacingLeavesOnlyTheNewFileBehind) {
    const QString file = path(QStringLiteral("history.json"));
    ASSERT_TRUE(writeFileAtomically(file, QByteArray("first, and longer than the second")));
    ASSERT_TRUE(writeFileAtomically(file, QByteArray("second")));
    EXPECT_EQ(contents(file), QByteArray("second"));
    EXPECT_EQ(permissions(file), mode_t{0600});
    EXPECT_EQ(entries(dir_.path()), QStringList{QStringLiteral("history.json")});
}

TEST_F(Files, WriteIntoAMissingFolderFails) {
    const QString file = path(QStringLiteral("missing/history.json"));
    EXPECT_FALSE(writeFileAtomically(file, QByteArray("data")));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(entries(dir_.path()).isEmpty());
}

TEST_F(Files, FailedWriteLeavesTheOldFileUntouched) {
    // A name that fits, but whose temporary sibling does not: the write fails even for root.
    const QString file = path(QString(250, QLatin1Char('h')));
    {
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    EXPECT_FALSE(writeFileAtomically(file, QByteArray("new")));
    EXPECT_EQ(contents(file), QByteArray("old contents"));
    EXPECT_EQ(entries(dir_.path()).size(), 1);
}

TEST_F(Files, FailedRenameRemovesTheTemporaryFile) {
    const QString target = path(QStringLiteral("taken"));
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("taken")));
    EXPECT_FALSE(writeFileAtomically(target, QByteArray("data")));
    EXPECT_EQ(entries(dir_.path()), QStringList{QStringLiteral("taken")});
}

TEST_F(Files, MakeFolderCreatesParentsAndOwnerOnlyFolder) {
    const QString folder = path(QStringLiteral("a/b/c"));
    ASSERT_TRUE(makeFolder(folder));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(permissions(folder), mode_t{0700});
    EXPECT_TRUE(makeFolder(folder)); // existing is fine
}

TEST_F(Files, MakeFolderTightensAnExistingFolder) {
    const QString folder = path(QStringLiteral("open"));
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("open")));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    EXPECT_TRUE(makeFolder(folder));
    EXPECT_EQ(permissions(folder), mode_t{0700});
}

TEST_F(Files, MakeFolderFailsWhereAFileIs) {
    const QString file = path(QStringLiteral("plain"));
    ASSERT_TRUE(writeFileAtomically(file, QByteArray("x")));
    EXPECT_FALSE(makeFolder(file));
    EXPECT_EQ(contents(file), QByteArray("x"));
}

TEST_F(Files, MoveAsideNeverReplacesAnExistingFile) {
    const QString file = path(QStringLiteral("history.json"));
    const QString suffix = QStringLiteral(".corrupt");

    ASSERT_TRUE(writeFileAtomically(file, QByteArray("one")));
    EXPECT_EQ(moveAside(file, suffix), file + suffix);
    EXPECT_FALSE(QFile::exists(file));

    ASSERT_TRUE(writeFileAtomically(file, QByteArray("two")));
    EXPECT_EQ(moveAside(file, suffix), file + suffix + QStringLiteral("-2"));

    ASSERT_TRUE(writeFileAtomically(file, QByteArray("three")));
    EXPECT_EQ(moveAside(file, suffix), file + suffix + QStringLiteral("-3"));

    EXPECT_EQ(contents(file + suffix), QByteArray("one"));
    EXPECT_EQ(contents(file + suffix + QStringLiteral("-2")), QByteArray("two"));
    EXPECT_EQ(contents(file + suffix + QStringLiteral("-3")), QByteArray("three"));
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(Files, MoveAsideOfAMissingFileFails) {
    EXPECT_TRUE(moveAside(path(QStringLiteral("nothing")), QStringLiteral(".corrupt")).isEmpty());
    EXPECT_TRUE(entries(dir_.path()).isEmpty());
}

TEST(Uuid, StringIsTheUpperCaseHyphenatedFormAndParsesBack) {
    const QUuid uuid = makeUuid();
    EXPECT_EQ(uuid.version(), QUuid::Random);
    const QString text = uuidString(uuid);
    ASSERT_EQ(text.size(), 36);
    EXPECT_EQ(text, text.toUpper());
    EXPECT_FALSE(text.startsWith(QLatin1Char('{')));
    EXPECT_EQ(parseUuid(text), uuid);

    const QUuid known = QUuid::fromString(QStringLiteral("0e1f2a3b-4c5d-4e6f-8a9b-0c1d2e3f4a5b"));
    EXPECT_EQ(uuidString(known), QStringLiteral("0E1F2A3B-4C5D-4E6F-8A9B-0C1D2E3F4A5B"));
}

TEST(Uuid, ParseAcceptsEitherCase) {
    const auto upper = parseUuid(QStringLiteral("0E1F2A3B-4C5D-4E6F-8A9B-0C1D2E3F4A5B"));
    const auto lower = parseUuid(QStringLiteral("0e1f2a3b-4c5d-4e6f-8a9b-0c1d2e3f4a5b"));
    ASSERT_TRUE(upper.has_value());
    EXPECT_EQ(upper, lower);
}

TEST(Uuid, ParseRejectsAnythingButTheExactForm) {
    const QStringList rejected{
        QStringLiteral("{0E1F2A3B-4C5D-4E6F-8A9B-0C1D2E3F4A5B}"),
        QStringLiteral("0E1F2A3B-4C5D-4E6F-8A9B-0C1D2E3F4A5"),
        QStringLiteral("0E1F2A3B-4C5D-4E6F-8A9B-0C1D2E3F4A5BC"),
        QStringLiteral("0E1F2A3B4C5D4E6F8A9B0C1D2E3F4A5B"),
        QStringLiteral("0E1F2A3B-4C5D-4E6F-8A9B-0C1D2E3F4A5G"),
        QStringLiteral("0E1F2A3B-4C5D-4E6F-8A9B-0C1D2E3F4A5 "),
        QStringLiteral("0E1F2A3-B4C5D-4E6F-8A9B-0C1D2E3F4A5B"),
        QStringLiteral("0E1F2A3B-4C5D-4E6F-8A9B0-C1D2E3F4A5B"),
        QStringLiteral("0E1F2A3B-4C5D-4E6F-8A9B-0C1D2E3F4A-B"),
        QString(),
    };
    for (const QString& text : rejected) {
        EXPECT_FALSE(parseUuid(text).has_value()) << text.toStdString();
    }
}

TEST(Dates, ReferenceDateIsTheStartOf2001InUtc) {
    const qint64 ms = QDateTime(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc()).toMSecsSinceEpoch();
    EXPECT_DOUBLE_EQ(dateFromUnixMilliseconds(ms), 0.0);
    EXPECT_DOUBLE_EQ(unixSecondsFromDate(0.0), static_cast<double>(ms) / 1000.0);
}

TEST(Dates, ConversionsRoundTripWithMillisecondPrecision) {
    const qint64 ms = QDateTime(QDate(2024, 2, 29), QTime(13, 45, 10, 250), QTimeZone::utc()).toMSecsSinceEpoch();
    const double date = dateFromUnixMilliseconds(ms);
    EXPECT_DOUBLE_EQ(date, 730907110.25);
    EXPECT_DOUBLE_EQ(unixSecondsFromDate(date) * 1000.0, static_cast<double>(ms));
    EXPECT_DOUBLE_EQ(dateFromUnixMilliseconds(ms - 86400000), date - 86400.0); // before and after 2001 alike
    EXPECT_LT(dateFromUnixMilliseconds(0), 0.0);
}

} // namespace
} // namespace tillory::core
