#include "core/atomic_file.h"
#include "core/dates.h"
#include "core/uuid.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

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

TEST_F(Files, WriteCreatesOrReplacesAnOwnerOnlyFileWithoutLeftovers) {
    const QString file = path(QStringLiteral("history.json"));
    ASSERT_TRUE(writeFileAtomically(file, QByteArray("first, and longer than the second")));
    EXPECT_EQ(permissions(file), mode_t{0600});
    ASSERT_TRUE(writeFileAtomically(file, QByteArray("second")));
    EXPECT_EQ(contents(file), QByteArray("second"));
    EXPECT_EQ(permissions(file), mode_t{0600});
    EXPECT_EQ(entries(dir_.path()), QStringList{QStringLiteral("history.json")});
}

TEST_F(Files, WriteIntoAMissingFolderFails) {
    const QString file = path(QStringLiteral("missing/history.json"));
    EXPECT_FALSE(writeFileAtomically(file, QByteArray("data")));
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
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("taken")));
    EXPECT_FALSE(writeFileAtomically(path(QStringLiteral("taken")), QByteArray("data")));
    EXPECT_EQ(entries(dir_.path()), QStringList{QStringLiteral("taken")});
}

/// Plays a file system that lacks some calls while it lives: each swapped call fails with its errno (0: the
/// system's own call), fsync only after `fsyncPasses` calls went through.
class LackingFileSystem {
public:
    struct Errors {
        int fchmod = 0, fsync = 0, rename = 0, link = 0;
        int fsyncPasses = 0;
    };
    explicit LackingFileSystem(Errors errors) : saved_(fileSystemCalls()) {
        current() = errors;
        auto& calls = fileSystemCalls();
        if (errors.fchmod) {
            calls.fchmod = [](int, mode_t) { return fail(current().fchmod); };
        }
        if (errors.fsync) {
            calls.fsync = [](int fd) { return current().fsyncPasses-- > 0 ? ::fsync(fd) : fail(current().fsync); };
        }
        if (errors.rename) {
            calls.rename = [](const char*, const char*) { return fail(current().rename); };
        }
        if (errors.link) {
            calls.link = [](const char*, const char*) { return fail(current().link); };
        }
    }
    ~LackingFileSystem() { fileSystemCalls() = saved_; }

private:
    static Errors& current() {
        static Errors errors;
        return errors;
    }
    static int fail(int error) {
        errno = error;
        return -1;
    }
    FileSystemCalls saved_;
};

TEST_F(Files, ReplacingWorksWhereTheFileSystemLacksModesFlushingOrRenaming) {
    const struct {
        const char* what;
        LackingFileSystem::Errors lacks;
        bool saved;
        mode_t mode;
    } cases[] = {
        {"every call", {}, true, 0600},
        {"no chmod (FAT through FUSE)", {.fchmod = ENOSYS}, true, 0600},
        {"chmod refused (FAT in the kernel)", {.fchmod = EPERM}, true, 0600},
        {"chmod not supported", {.fchmod = EOPNOTSUPP}, true, 0600},
        {"no fsync", {.fsync = EINVAL}, true, 0600},
        {"no rename: overwritten in place", {.rename = ENOSYS}, true, 0600},
        {"neither rename nor chmod: the mount's mode", {.fchmod = ENOSYS, .rename = EOPNOTSUPP}, true, 0644},
        {"chmod failing", {.fchmod = EIO}, false, 0644},
        {"fsync failing", {.fsync = EIO}, false, 0644},
        {"rename refused", {.rename = EACCES}, false, 0644},
    };
    for (const auto& c : cases) {
        const QString file = path(QStringLiteral("saved.json"));
        {
            QFile old(file);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old contents");
        }
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0644), 0);
        {
            LackingFileSystem lacking(c.lacks);
            EXPECT_EQ(writeFileAtomically(file, QByteArray("new")), c.saved) << c.what;
            if (!c.saved) { // one call fails in each such case
                EXPECT_EQ(errno, c.lacks.fchmod + c.lacks.fsync + c.lacks.rename) << c.what;
            }
        }
        EXPECT_EQ(contents(file), c.saved ? QByteArray("new") : QByteArray("old contents")) << c.what;
        EXPECT_EQ(permissions(file), c.mode) << c.what;
        EXPECT_EQ(entries(dir_.path()), QStringList{QStringLiteral("saved.json")}) << c.what;
        QFile::remove(file);
    }

    LackingFileSystem lacking({.fchmod = ENOSYS, .rename = ENOSYS});
    const QString created = path(QStringLiteral("created"));
    ASSERT_TRUE(writeFileAtomically(created, QByteArray("in place")));
    EXPECT_EQ(contents(created), QByteArray("in place"));
    EXPECT_EQ(permissions(created), mode_t{0600});
}

TEST_F(Files, OverwriteInPlaceFailingPartWayKeepsTheNewContentBeside) {
    const QString file = path(QStringLiteral("history.json"));
    ASSERT_TRUE(writeFileAtomically(file, QByteArray("old")));
    LackingFileSystem lacking({.fsync = EIO, .rename = ENOSYS, .fsyncPasses = 1});
    EXPECT_FALSE(writeFileAtomically(file, QByteArray("new")));
    EXPECT_EQ(errno, EIO);
    const QStringList left = entries(dir_.path());
    ASSERT_EQ(left.size(), 2);
    EXPECT_TRUE(left[1].startsWith(QStringLiteral("history.json.tmp-"))) << left[1].toStdString();
    EXPECT_EQ(contents(path(left[1])), QByteArray("new"));
}

TEST_F(Files, MakeFolderCreatesParentsAndTightensToOwnerOnly) {
    const QString folder = path(QStringLiteral("a/b/c"));
    ASSERT_TRUE(makeFolder(folder));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(permissions(folder), mode_t{0700});

    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    EXPECT_TRUE(makeFolder(folder)); // an existing folder is fine, and is tightened
    EXPECT_EQ(permissions(folder), mode_t{0700});
}

TEST_F(Files, MoveAsideNeverReplacesAnExistingFile) {
    const QString file = path(QStringLiteral("history.json"));
    const QString suffix = QStringLiteral(".corrupt");
    const QStringList expected{file + suffix, file + suffix + QStringLiteral("-2"),
                               file + suffix + QStringLiteral("-3")};
    for (int i = 0; i < expected.size(); ++i) {
        ASSERT_TRUE(writeFileAtomically(file, QByteArray::number(i)));
        EXPECT_EQ(moveAside(file, suffix), expected[i]);
        EXPECT_FALSE(QFile::exists(file));
    }
    for (int i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(contents(expected[i]), QByteArray::number(i));
    }
}

TEST_F(Files, MoveAsideWithoutHardLinksRenamesWithoutReplacingOrGivesUp) {
    // A folder cannot be hard-linked anywhere, as no file can on FAT or many FUSE file systems.
    const QString folder = path(QStringLiteral("history.json"));
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_TRUE(writeFileAtomically(folder + QStringLiteral(".corrupt"), QByteArray("earlier")));
    EXPECT_EQ(moveAside(folder, QStringLiteral(".corrupt")), folder + QStringLiteral(".corrupt-2"));
    EXPECT_FALSE(QFile::exists(folder));
    EXPECT_EQ(contents(folder + QStringLiteral(".corrupt")), QByteArray("earlier"));

    EXPECT_FALSE(renameNoReplace(folder + QStringLiteral(".corrupt-2"), folder + QStringLiteral(".corrupt")));
    EXPECT_EQ(errno, EEXIST);

    // Neither a link nor a rename can make a name this long: the file stays, and the caller is told.
    const QString file = path(QString(250, QLatin1Char('h')));
    {
        QFile kept(file);
        ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
        kept.write("kept");
    }
    EXPECT_EQ(moveAside(file, QStringLiteral(".corrupt")), QString());
    EXPECT_EQ(contents(file), QByteArray("kept"));
}

TEST(Uuid, StringIsTheUpperCaseFormAndParsesBackInEitherCase) {
    const QUuid uuid = makeUuid();
    EXPECT_EQ(uuid.version(), QUuid::Random);
    const QString text = uuidString(uuid);
    EXPECT_EQ(text.size(), 36);
    EXPECT_EQ(parseUuid(text), uuid);
    EXPECT_EQ(parseUuid(text.toLower()), uuid);

    const QUuid known = QUuid::fromString(QStringLiteral("0e1f2a3b-4c5d-4e6f-8a9b-0c1d2e3f4a5b"));
    EXPECT_EQ(uuidString(known), QStringLiteral("0E1F2A3B-4C5D-4E6F-8A9B-0C1D2E3F4A5B"));
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
        QString(),
    };
    for (const QString& text : rejected) {
        EXPECT_FALSE(parseUuid(text).has_value()) << text.toStdString();
    }
}

TEST(Dates, StoredDatesCountFromTheStartOf2001InUtc) {
    const qint64 origin = QDateTime(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc()).toMSecsSinceEpoch();
    EXPECT_DOUBLE_EQ(dateFromUnixMilliseconds(origin), 0.0);

    const qint64 ms = QDateTime(QDate(2024, 2, 29), QTime(13, 45, 10, 250), QTimeZone::utc()).toMSecsSinceEpoch();
    const double date = dateFromUnixMilliseconds(ms);
    EXPECT_DOUBLE_EQ(date, 730907110.25);
    EXPECT_DOUBLE_EQ(unixSecondsFromDate(date) * 1000.0, static_cast<double>(ms));
    EXPECT_LT(dateFromUnixMilliseconds(0), 0.0);
}

} // namespace
} // namespace tillory::core
