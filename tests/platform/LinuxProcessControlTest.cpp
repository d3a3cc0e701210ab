#include "platform/linux/LinuxProcessControl.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace std::chrono_literals;

TEST(LinuxProcessControl, RefusesInitEveryProcessAndItself)
{
    LinuxProcessControl control;
    const int ownNice = ::getpriority(PRIO_PROCESS, 0);
    for (const int32_t pid : {int32_t(-1), int32_t(0), int32_t(1), int32_t(::getpid())}) {
        EXPECT_FALSE(control.lowerPriority(pid)) << pid;
        EXPECT_FALSE(control.openProcess(pid)) << pid;
    }
    EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), ownNice) << "our own priority must be untouched";
}

TEST(LinuxProcessControl, LowersAChildToNice19)
{
    ChildProcess child({QStringLiteral("/bin/sleep"), QStringLiteral("600")});
    ASSERT_TRUE(child.started());
    LinuxProcessControl control;
    ASSERT_TRUE(control.lowerPriority(child.pid()));
    EXPECT_EQ(ChildProcess::niceOf(child.pid()), 19);
}

TEST(LinuxProcessControl, SignalsGoThroughThePidfdUntilTheProcessIsGone)
{
    ChildProcess child({QStringLiteral("/bin/sleep"), QStringLiteral("600")});
    ASSERT_TRUE(child.started());
    LinuxProcessControl control;
    auto handle = control.openProcess(child.pid());
    ASSERT_TRUE(handle) << handle.error().toStdString();
    EXPECT_EQ((*handle)->pid(), child.pid());
    EXPECT_TRUE((*handle)->isRunning());
    EXPECT_TRUE((*handle)->sendSignal(0));

    ASSERT_TRUE((*handle)->sendSignal(SIGTERM));
    // Exited but not yet reaped: already not running.
    for (int i = 0; i < 200 && (*handle)->isRunning(); ++i) usleep(10000);
    EXPECT_FALSE((*handle)->isRunning());
    ASSERT_TRUE(child.waitForExit(5s));
    EXPECT_EQ(child.terminatingSignal(), SIGTERM);
    // Reaped: the handle reaches nobody, whoever holds the pid now.
    EXPECT_FALSE((*handle)->sendSignal(SIGKILL));
}
