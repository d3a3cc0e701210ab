#include "core/Log.h"
#include "core/Paths.h"
#include "guards/GuardTestFiles.h"
#include "guards/WorkGuard.h"
#include "platform/linux/LogindSleepWatch.h"
#include "support/ManualClock.h"
#include "support/ManualScheduler.h"
#include "support/PrivateSessionBus.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QTest>

#include <future>
#include <poll.h>

using namespace guard_files;

namespace {

// Runs the main loop until `done` holds or five seconds pass.
bool waitUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 500 && !done(); ++i) QTest::qWait(10);
    return done();
}

// logind as far as sleep goes: Inhibit hands out one end of a pipe, and the other end shows
// whether that inhibitor is still held.
class FakeLogind final : public QDBusVirtualObject {
public:
    std::vector<int> heldEnds;
    QList<QVariantList> calls;

    ~FakeLogind() override
    {
        for (int fd : heldEnds) ::close(fd);
    }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QStringLiteral("Inhibit")) return false;
        calls << message.arguments();
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return false;
        heldEnds.push_back(ends[0]);
        const QDBusUnixFileDescriptor handed(ends[1]);  // a copy travels; ours closes now
        ::close(ends[1]);
        connection.send(message.createReply(QVariant::fromValue(handed)));
        return true;
    }
    // Whether the inhibitor handed out `index`-th is still held by someone.
    bool held(size_t index) const
    {
        pollfd p{heldEnds.at(index), POLLIN, 0};
        return ::poll(&p, 1, 0) == 0;
    }
};

TEST(WorkGuardSleep, PrepareForSleepSweepsWhileTheInhibitorIsHeld)
{
    PrivateSessionBus bus;  // stands in for the system bus
    ASSERT_TRUE(bus.isValid());
    QDBusConnection service = QDBusConnection::connectToBus(QString::fromUtf8(bus.address()), QStringLiteral("fake-logind"));
    FakeLogind logind;
    ASSERT_TRUE(service.registerVirtualObject(QStringLiteral("/org/freedesktop/login1"), &logind));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.login1")));

    QStringList lines;
    Log::setSink([&](const QString& l) { lines << l; });
    ManualClock clock{QDateTime::currentDateTimeUtc()};
    ManualScheduler scheduler{clock};
    LogindSleepWatch watch(QDBusConnection::connectToBus(QString::fromUtf8(bus.address()), QStringLiteral("system")));
    const QString doc = Paths::home() + QStringLiteral("/Documents/open-work.md");
    ASSERT_TRUE(write(doc, "unsaved thoughts"));
    {
        WorkGuard guard({.clock = clock, .scheduler = scheduler, .sleep = &watch});
        guard.start();
        ASSERT_TRUE(waitUntil([&] { return watch.holdsInhibitor(); }));
        ASSERT_EQ(logind.calls.size(), 1);
        EXPECT_EQ(logind.calls.first(), (QVariantList{"sleep", "Veltranmoor",
                                                      "Work Guard takes snapshots of open work before sleep", "delay"}));
        guard.queue().sync([] {});
        QCoreApplication::processEvents();
        ASSERT_EQ(guard.lastTrigger(), QStringLiteral("startup"));

        // Hold the queue so the sleep sweep waits behind it.
        std::promise<void> release;
        guard.queue().async([f = release.get_future().share()] { f.wait(); });
        service.send(QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                QStringLiteral("org.freedesktop.login1.Manager"),
                                                QStringLiteral("PrepareForSleep"))
                     << true);
        ASSERT_TRUE(waitUntil([&] { return !watch.holdsInhibitor(); }));  // handed to the sweep
        EXPECT_TRUE(logind.held(0));
        ASSERT_TRUE(write(doc, "more thoughts"));
        ASSERT_TRUE(setMtime(doc, QDateTime::currentDateTimeUtc().addSecs(60)));
        clock.advance(std::chrono::seconds(31));  // past the 30 s since the startup capture
        release.set_value();

        ASSERT_TRUE(waitUntil([&] { return guard.lastTrigger() == QStringLiteral("willSleep"); }));
        EXPECT_FALSE(logind.held(0));  // released once the sweep was done
        EXPECT_EQ(guard.totalSnapshots(), 2);
        EXPECT_TRUE(lines.contains(QStringLiteral("[WorkGuard] sweep done reason=willSleep created=1 total=2 topN=1")));

        // Awake again: a new inhibitor for the next sleep; stopping lets it go.
        service.send(QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                QStringLiteral("org.freedesktop.login1.Manager"),
                                                QStringLiteral("PrepareForSleep"))
                     << false);
        ASSERT_TRUE(waitUntil([&] { return watch.holdsInhibitor(); }));
        ASSERT_EQ(logind.calls.size(), 2);
        EXPECT_TRUE(logind.held(1));
        guard.stop();
        EXPECT_FALSE(logind.held(1));
    }
    Log::setSink({});
}

}  // namespace
