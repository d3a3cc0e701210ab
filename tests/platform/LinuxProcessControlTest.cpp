#include "platform/linux/LinuxProcessControl.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <QFile>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

ProcessIdentity identityOf(pid_t pid)
{
    const auto identity = LinuxProcessControl::identityOf(pid);
    EXPECT_TRUE(identity) << pid;
    return identity.value_or(ProcessIdentity{pid, 0});
}

// A sleeping child running under another uid (we are root in the tests).
struct ForeignChild {
    pid_t pid = -1;
    explicit ForeignChild(uid_t uid)
    {
        pid = ::fork();
        if (pid == 0) {
            if (::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0) ::_exit(126);
            char sleepPath[] = "/bin/sleep";
            char seconds[] = "600";
            char* argv[] = {sleepPath, seconds, nullptr};
            ::execv(sleepPath, argv);
            ::_exit(127);
        }
    }
    ~ForeignChild()
    {
        if (pid <= 0) return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

}  // namespace

TEST(LinuxProcessControl, RefusesInitEveryProcessAndItself)
{
    LinuxProcessControl control;
    const int ownNice = ::getpriority(PRIO_PROCESS, 0);
    for (const int32_t pid : {int32_t(-1), int32_t(0), int32_t(1), int32_t(::getpid())}) {
        const ProcessIdentity process{pid, LinuxProcessControl::identityOf(pid).value_or(ProcessIdentity{}).startTime};
        for (const ProcessOwner owner : {ProcessOwner::thisUser, ProcessOwner::anyUser}) {
            EXPECT_FALSE(control.lowerPriority(process, owner)) << pid;
            EXPECT_FALSE(control.openProcess(process, owner)) << pid;
        }
    }
    EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), ownNice) << "our own priority must be untouched";
}

TEST(LinuxProcessControl, LowersAChildToNice19)
{
    ChildProcess child({QStringLiteral("/bin/sleep"), QStringLiteral("600")});
    ASSERT_TRUE(child.started());
    LinuxProcessControl control;
    ASSERT_TRUE(control.lowerPriority(identityOf(child.pid()), ProcessOwner::thisUser));
    EXPECT_EQ(ChildProcess::niceOf(child.pid()), 19);
}

TEST(LinuxProcessControl, SignalsGoThroughThePidfdUntilTheProcessIsGone)
{
    ChildProcess child({QStringLiteral("/bin/sleep"), QStringLiteral("600")});
    ASSERT_TRUE(child.started());
    LinuxProcessControl control;
    const OpenedProcess opened = control.openProcess(identityOf(child.pid()), ProcessOwner::thisUser);
    ASSERT_TRUE(opened) << opened.status.error().toStdString();
    const auto& handle = opened.handle;
    EXPECT_EQ(handle->pid(), child.pid());
    EXPECT_TRUE(handle->isRunning());
    EXPECT_TRUE(handle->sendSignal(0));

    ASSERT_TRUE(handle->sendSignal(SIGTERM));
    // Exited but not yet reaped: already not running.
    for (int i = 0; i < 200 && handle->isRunning(); ++i) usleep(10000);
    EXPECT_FALSE(handle->isRunning());
    ASSERT_TRUE(child.waitForExit(5s));
    EXPECT_EQ(child.terminatingSignal(), SIGTERM);
    // Reaped: the handle reaches nobody, whoever holds the pid now.
    const ProcessStatus late = handle->sendSignal(SIGKILL);
    EXPECT_EQ(late.kind(), ProcessStatus::Kind::exited) << late.error().toStdString();
}

TEST(LinuxProcessControl, AnotherStartTimeIsAnotherProcessAndIsLeftAlone)
{
    ChildProcess child({QStringLiteral("/bin/sleep"), QStringLiteral("600")});
    ASSERT_TRUE(child.started());
    LinuxProcessControl control;
    const ProcessIdentity real = identityOf(child.pid());
    for (const uint64_t startTime : {real.startTime - 1, real.startTime + 1, uint64_t(0)}) {
        const ProcessIdentity other{real.pid, startTime};
        const ProcessStatus lowered = control.lowerPriority(other, ProcessOwner::anyUser);
        EXPECT_EQ(lowered.kind(), ProcessStatus::Kind::exited) << startTime;
        EXPECT_EQ(lowered.error(), QStringLiteral("process already exited"));
        const OpenedProcess opened = control.openProcess(other, ProcessOwner::anyUser);
        EXPECT_FALSE(opened);
        EXPECT_EQ(opened.status.kind(), ProcessStatus::Kind::exited);
    }
    EXPECT_EQ(ChildProcess::niceOf(child.pid()), 0);
    EXPECT_FALSE(child.waitForExit(50ms));

    // Gone and reaped: the same outcome, not an error.
    ::kill(child.pid(), SIGKILL);
    ASSERT_TRUE(child.waitForExit(5s));
    EXPECT_EQ(control.lowerPriority(real, ProcessOwner::anyUser).kind(), ProcessStatus::Kind::exited);
    EXPECT_EQ(control.openProcess(real, ProcessOwner::anyUser).status.kind(), ProcessStatus::Kind::exited);
}

TEST(LinuxProcessControl, AnotherUsersProcessOnlyWhenAnyUserMayBeReached)
{
    ASSERT_EQ(::getuid(), 0u) << "the tests run as root";
    ForeignChild foreign(65534);
    ASSERT_GT(foreign.pid, 0);
    // Wait for the child to have dropped its uid and become sleep.
    for (int i = 0; i < 200; ++i) {
        const QByteArray status = [&] {
            QFile f(QStringLiteral("/proc/%1/status").arg(foreign.pid));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        if (status.contains("Name:\tsleep")) break;
        usleep(10000);
    }
    LinuxProcessControl control;
    const ProcessIdentity process = identityOf(foreign.pid);

    const ProcessStatus automatic = control.lowerPriority(process, ProcessOwner::thisUser);
    EXPECT_EQ(automatic.kind(), ProcessStatus::Kind::otherUser) << automatic.error().toStdString();
    EXPECT_TRUE(automatic.leftAlone());
    EXPECT_EQ(control.openProcess(process, ProcessOwner::thisUser).status.kind(), ProcessStatus::Kind::otherUser);
    EXPECT_EQ(ChildProcess::niceOf(foreign.pid), 0) << "root reached another user's process automatically";

    // Picked by pid in a window: root may.
    EXPECT_TRUE(control.lowerPriority(process, ProcessOwner::anyUser));
    EXPECT_EQ(ChildProcess::niceOf(foreign.pid), 19);
    const OpenedProcess opened = control.openProcess(process, ProcessOwner::anyUser);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(opened.handle->sendSignal(0));
}
