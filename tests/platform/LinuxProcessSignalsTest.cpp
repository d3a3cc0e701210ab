#include "platform/linux/LinuxProcessSignals.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QThread>
#include <QThreadPool>

#include <unistd.h>

using namespace std::chrono_literals;

TEST(LinuxProcessSignals, TerminateThenKillWhenIgnored)
{
    LinuxProcessSignals signaller(200ms);
    {
        QProcess polite;
        polite.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        ASSERT_TRUE(polite.waitForStarted());
        ASSERT_TRUE(signaller.terminate(int32_t(polite.processId())).ok());
        ASSERT_TRUE(polite.waitForFinished(5000));
    }
    {
        // SIGTERM is ignored (and stays ignored across exec): only the follow-up SIGKILL ends it.
        QProcess stubborn;
        stubborn.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("trap '' TERM; exec sleep 30")});
        ASSERT_TRUE(stubborn.waitForStarted());
        QThread::msleep(100);  // let the shell install its trap before the signal
        ASSERT_TRUE(signaller.terminate(int32_t(stubborn.processId())).ok());
        EXPECT_FALSE(stubborn.waitForFinished(100));
        ASSERT_TRUE(stubborn.waitForFinished(5000));
    }
    QThreadPool::globalInstance()->waitForDone();
}

TEST(LinuxProcessSignals, RefusesSpecialPids)
{
    LinuxProcessSignals signaller;
    for (const int32_t pid : {0, 1, -5, int32_t(::getpid())}) {
        EXPECT_FALSE(signaller.terminate(pid).ok()) << pid;
        EXPECT_FALSE(signaller.lowerPriority(pid).ok()) << pid;
    }
}
