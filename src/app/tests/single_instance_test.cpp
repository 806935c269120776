#include "single_instance.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using tillory::app::SingleInstance;

namespace {

// The lock is per open file description, so a second process is the honest test.
TEST(SingleInstance, SecondProcessIsRefusedAndLearnsTheHolder) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tillory.lock"));
    SingleInstance first(path);
    ASSERT_TRUE(first.isPrimary());

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SingleInstance second(path);
        ::_exit(second.outcome() == SingleInstance::Outcome::AlreadyRunning && second.holder() == ::getppid() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(SingleInstance, LockIsFreeAgainWhenTheHolderEnds) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tillory.lock"));
    { SingleInstance first(path); }
    SingleInstance again(path);
    EXPECT_TRUE(again.isPrimary());
}

TEST(SingleInstance, UnwritableLockPlaceIsNotPrimary) {
    SingleInstance instance(QStringLiteral("/nonexistent-folder/tillory.lock"));
    EXPECT_FALSE(instance.isPrimary());
}

// Not another Tillory: the place cannot be written. (Even root cannot create files in these places.)
TEST(SingleInstance, UnwritablePlaceIsToldApartFromAnotherInstance) {
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.lock")));
    const std::pair<const char*, QString> places[] = {
        {"missing folder", dir.filePath(QStringLiteral("missing/tillory.lock"))},
        {"a file where the folder should be", dir.filePath(QStringLiteral("plain/tillory.lock"))},
        {"a folder in the lock's place", dir.filePath(QStringLiteral("folder.lock"))},
    };
    for (const auto& [what, path] : places) {
        SingleInstance instance(path);
        EXPECT_EQ(instance.outcome(), SingleInstance::Outcome::CannotWrite) << what;
        EXPECT_NE(instance.error(), 0) << what;
    }
}

} // namespace
