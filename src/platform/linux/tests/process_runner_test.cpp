// Ending processes for real: a child started here is named by its command line and ended by SIGTERM; this
// program, pid 1 and the pids kill() reads as groups are never signalled.
#include "platform/linux/proc_system_counters.h"
#include "platform/linux/qprocess_runner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tillory::platform::nix {
namespace {

TEST(QProcessRunner, EndsAnotherProcessNamedByItsCommandLineAndNeverItselfOrTheSystem) {
    char sleep[] = "sleep";
    char seconds[] = "30";
    char* argv[] = {sleep, seconds, nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ), 0);
    ProcSystemCounters counters("/proc");
    // The line is there once the child has become sleep.
    for (int i = 0; i < 200 && counters.processCommandLine(child) != QStringLiteral("sleep 30"); ++i) {
        ::usleep(10'000);
    }
    EXPECT_EQ(counters.processCommandLine(child), QStringLiteral("sleep 30"));

    QProcessRunner runner;
    EXPECT_EQ(runner.ownPid(), ::getpid());
    for (const std::int32_t refused : {runner.ownPid(), 1, 0, -1, -child}) {
        EXPECT_FALSE(runner.terminate(refused)) << refused;
    }
    EXPECT_TRUE(runner.terminate(child));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_FALSE(runner.terminate(child)) << "gone";
    EXPECT_EQ(counters.processCommandLine(child), QString());
}

} // namespace
} // namespace tillory::platform::nix
