#include "single_instance.h"

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
        ::_exit(!second.isPrimary() && second.holder() == ::getppid() ? 0 : 1);
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

} // namespace
