// The watchdog the window tests run under: it must see a slow event and name it, name marked
// work, and not count the time a nested loop spends waiting.
#include "core/MainLoopWatchdog.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <thread>

namespace {

struct Watchdog : ::testing::Test {
    MainLoopWatchdog& watchdog = MainLoopWatchdog::instance();
    int savedBound = watchdog.boundMs();
    void SetUp() override
    {
        ASSERT_TRUE(watchdog.installed());
        watchdog.setBoundMs(30);
        watchdog.takeStalls();
    }
    void TearDown() override
    {
        watchdog.setBoundMs(savedBound);
        watchdog.takeStalls();
    }
    // Runs `work` as a queued call on `receiver` from the event loop, and waits for it.
    static void runFromLoop(QObject* receiver, std::function<void()> work)
    {
        QEventLoop loop;
        QMetaObject::invokeMethod(receiver, [&] {
            work();
            loop.quit();
        }, Qt::QueuedConnection);
        loop.exec();
    }
};

TEST_F(Watchdog, RecordsASlowEventWithItsReceiverAndAMarkedScopeByName)
{
    QWidget button;
    button.setObjectName(QStringLiteral("sendButton"));
    runFromLoop(&button, [] { std::this_thread::sleep_for(std::chrono::milliseconds(80)); });
    runFromLoop(&button, [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
    runFromLoop(&button, [] {
        MainLoopWatchdog::Scope scope("disk scan");
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
    });
    {
        // Outside any event a marked scope is timed by itself.
        MainLoopWatchdog::Scope scope("startup read");
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
    }
    const QList<MainLoopWatchdog::Stall> stalls = watchdog.takeStalls();
    ASSERT_EQ(stalls.size(), 3) << MainLoopWatchdog::describe(stalls).toStdString();
    EXPECT_GE(stalls[0].ms, 80);
    EXPECT_EQ(stalls[0].what, QStringLiteral("QWidget 'sendButton' MetaCall"));
    EXPECT_EQ(stalls[1].what, QStringLiteral("disk scan (in QWidget 'sendButton' MetaCall)"));
    EXPECT_EQ(stalls[2].what, QStringLiteral("startup read"));
}

TEST_F(Watchdog, ANestedLoopWaitingInsideAnEventIsNotAStall)
{
    QObject receiver;
    runFromLoop(&receiver, [] {
        // Like a modal dialog: the event stays open while the thread waits for more events.
        QEventLoop nested;
        QTimer::singleShot(120, &nested, &QEventLoop::quit);
        nested.exec();
    });
    EXPECT_TRUE(watchdog.takeStalls().isEmpty());
}

}  // namespace
