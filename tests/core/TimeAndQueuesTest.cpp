#include "core/SerialQueue.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <atomic>
#include <sys/syscall.h>
#include <unistd.h>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

TEST(ManualScheduler, FiresDueWorkInTimeOrderAndHonoursCancel)
{
    ManualClock clock;
    ManualScheduler scheduler(clock);
    QObject context;
    QStringList fired;
    const QDateTime start = clock.now();
    scheduler.after(5s, &context, [&] { fired << QStringLiteral("after5@%1").arg(start.secsTo(clock.now())); });
    auto every = scheduler.every(2s, &context, [&] { fired << QStringLiteral("every@%1").arg(start.secsTo(clock.now())); });
    auto cancelled = scheduler.after(1s, &context, [&] { fired << QStringLiteral("never"); });
    cancelled->cancel();
    // Work scheduled while time advances fires within the same window.
    scheduler.after(3s, &context, [&] {
        scheduler.after(1s, &context, [&] { fired << QStringLiteral("nested@%1").arg(start.secsTo(clock.now())); });
    });

    scheduler.advance(6s);
    EXPECT_EQ(fired, (QStringList{"every@2", "every@4", "nested@4", "after5@5", "every@6"}));
    EXPECT_EQ(clock.now(), start.addSecs(6));

    every->cancel();
    scheduler.advance(10s);
    EXPECT_EQ(fired.size(), 5);
    EXPECT_EQ(scheduler.pendingCount(), 0);
}

TEST(ManualScheduler, WorkEndsWithItsContext)
{
    ManualClock clock;
    ManualScheduler scheduler(clock);
    int count = 0;
    {
        QObject context;
        scheduler.every(1s, &context, [&] { ++count; });
        scheduler.advance(2s);
    }
    scheduler.advance(5s);
    EXPECT_EQ(count, 2);
}

TEST(QtScheduler, RealTimerFiresAndCancels)
{
    QtScheduler scheduler;
    QObject context;
    int repeats = 0;
    bool once = false;
    auto handle = scheduler.every(5ms, &context, [&] { ++repeats; });
    scheduler.after(1ms, &context, [&] { once = true; });
    QElapsedTimer t;
    t.start();
    while ((repeats < 3 || !once) && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(once);
    EXPECT_GE(repeats, 3);
    handle->cancel();
    EXPECT_FALSE(handle->isActive());
    const int seen = repeats;
    t.restart();
    while (t.elapsed() < 50) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(repeats, seen);

    // A wait longer than the timer can count is held at its longest, not wrapped into one
    // that never starts.
    auto far = scheduler.every(std::chrono::milliseconds(3'000'000'000LL), &context, [] {});
    auto farOnce = scheduler.after(std::chrono::hours(24 * 365), &context, [] {});
    EXPECT_TRUE(far->isActive());
    EXPECT_TRUE(farOnce->isActive());
}

TEST(SerialQueue, RunsInOrderOnOneThreadAndSyncWaits)
{
    SerialQueue queue(QStringLiteral("test.queue"));
    std::vector<int> order;
    std::mutex m;
    std::atomic<bool> onQueue{true};
    for (int i = 0; i < 100; ++i) {
        queue.async([&, i] {
            if (!queue.isCurrent()) onQueue = false;
            std::lock_guard lock(m);
            order.push_back(i);
        });
    }
    int seen = -1;
    queue.sync([&] {
        std::lock_guard lock(m);
        seen = int(order.size());
        // sync from the queue itself runs inline rather than deadlocking
        queue.sync([&] { ++seen; });
    });
    EXPECT_EQ(seen, 101);
    EXPECT_TRUE(onQueue);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[size_t(i)], i);
    EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueue, WorkQueuedWithoutWakingRunsInOrderWhenTheQueueWakes)
{
    std::vector<int> order;
    std::atomic<int> ran{0};
    {
        SerialQueue queue(QStringLiteral("test.lazy"));
        // Work queued while the thread is still awake runs with what it is doing; this is about
        // a thread that has gone to sleep, so wait until the kernel shows it asleep.
        pid_t tid = 0;
        queue.sync([&] { tid = pid_t(::syscall(SYS_gettid)); });
        const QString statPath = QStringLiteral("/proc/self/task/%1/stat").arg(tid);
        auto asleep = [&] {
            QFile stat(statPath);
            if (!stat.open(QIODevice::ReadOnly)) return false;
            const QByteArray text = stat.readAll();
            const qsizetype close = text.lastIndexOf(')');
            return close > 0 && text.mid(close + 2, 1) == "S";
        };
        QElapsedTimer waited;
        waited.start();
        while (!asleep() && waited.elapsed() < 5000) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(asleep());
        for (int i = 0; i < 3; ++i) {
            queue.asyncWhenWoken([&, i] {
                order.push_back(i);
                ++ran;
            });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(ran.load(), 0) << "nothing woke the queue";
        queue.async([&] { order.push_back(3); });
        queue.sync([] {});
        EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));

        // Still queued when the queue goes: it runs before the thread ends.
        queue.asyncWhenWoken([&] { order.push_back(4); });
    }
    EXPECT_EQ(order.back(), 4);
}
