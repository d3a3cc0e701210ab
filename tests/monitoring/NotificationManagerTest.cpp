#include "FakeNotificationServer.h"
#include "MonitorFakes.h"
#include "monitoring/NotificationManager.h"
#include "support/PrivateSessionBus.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QTest>

using namespace std::chrono_literals;

namespace {

uchar urgencyOf(const FakeNotificationServer::Call& call)
{
    return qdbus_cast<uchar>(call.hints.value(QStringLiteral("urgency")));
}

}  // namespace

TEST(NotificationManager, NoticesReachTheServerWithTheirTextsAndCategories)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isValid());
    FakeNotificationServer server;
    ASSERT_TRUE(server.registered);
    ManualClock clock;
    NotificationManager notices(clock);

    struct Case {
        std::function<void()> post;
        QString title, body, category;
        uchar urgency;
        QString sound = QStringLiteral("message-new-instant");
    } cases[] = {
        {[&] { notices.notifyProcessThrottled(QStringLiteral("renderer"), 97.6); }, "Process Throttled",
         "renderer was using 98% CPU and has been throttled to maintain performance.", "PROCESS_ACTION", 1},
        {[&] { notices.notifyEmergencyCleanup(4.26, std::nullopt); }, "Emergency Disk Cleanup",
         "Disk space critically low (4.3 GB free). Running emergency cleanup to free space.", "DISK_EMERGENCY", 2,
         "dialog-warning"},
        {[&] { notices.notifyLowDisk(4.26, std::nullopt); }, "Low Disk Space", "Only 4.3 GB free. Consider running a cleanup.",
         "DISK_WARNING", 1},
        // "/" on a file system of its own, low as well.
        {[&] { notices.notifyEmergencyCleanup(4.26, 1.25); }, "Emergency Disk Cleanup",
         "Disk space critically low (4.3 GB free). Running emergency cleanup to free space. The system disk (/) has only 1.2 GB free.",
         "DISK_EMERGENCY", 2, "dialog-warning"},
        {[&] { notices.notifyLowDisk(14, 3.0); }, "Low Disk Space",
         "Only 14.0 GB free. Consider running a cleanup. The system disk (/) has only 3.0 GB free.", "DISK_WARNING", 1},
        {[&] { notices.notifyLowRootDisk(3.0); }, "Low Disk Space", "Only 3.0 GB free on the system disk (/).", "DISK_WARNING", 1},
        {[&] { notices.notifyHealthWarning(7); }, "Performance Warning",
         "System health score dropped to 7/100. Check the dashboard for details.", "HEALTH_WARNING", 1},
        {[&] { notices.notify(QStringLiteral("Profile"), QStringLiteral("Switched to Gaming")); }, "Profile",
         "Switched to Gaming", "", 1},
        {[&] { notices.notifyCleanupComplete(QStringLiteral("1.2 GB")); }, "Cleanup Complete",
         "Moved 1.2 GB to the Trash. Empty it to free the disk space.", "CLEANUP_COMPLETE", 1},
        {[&] { notices.notifyAIWorkloadActive(QStringLiteral("Detected ollama.")); }, "AI Workload Mode active",
         "Detected ollama.", "AI_WORKLOAD_MODE", 1},
    };
    for (const Case& c : cases) {
        server.calls.clear();
        clock.advance(600s);  // past every cooldown
        c.post();
        ASSERT_TRUE(waitUntil([&] { return !server.calls.isEmpty(); })) << c.title.toStdString();
        const auto& call = server.calls.first();
        EXPECT_EQ(call.appName, QStringLiteral("Veltranmoor AI"));
        EXPECT_EQ(call.summary, c.title);
        EXPECT_EQ(call.body, c.body);
        EXPECT_EQ(call.hints.value(QStringLiteral("category")).toString(), c.category);
        EXPECT_EQ(urgencyOf(call), c.urgency) << c.title.toStdString();
        EXPECT_EQ(call.replacesId, 0u);
        EXPECT_EQ(call.appIcon, QStringLiteral("veltranmoor"));
        EXPECT_EQ(call.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("veltranmoor"));
        EXPECT_EQ(call.hints.value(QStringLiteral("sound-name")).toString(), c.sound) << c.title.toStdString();
    }
}

TEST(NotificationManager, BodiesAreEscapedForAServerThatReadsMarkup)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isValid());
    FakeNotificationServer server;
    ASSERT_TRUE(server.registered);
    ManualClock clock;
    NotificationManager notices(clock);
    const QString name = QStringLiteral("<b>x</b> & <a href=\"https://e.example\">y</a>");
    const struct {
        QStringList capabilities;
        QString body;
    } cases[] = {
        {{"body"}, name + QStringLiteral(" has /tmp/<i>.txt open.")},
        {{"body", "body-markup", "body-hyperlinks"},
         QStringLiteral("&lt;b&gt;x&lt;/b&gt; &amp; &lt;a href=&quot;https://e.example&quot;&gt;y&lt;/a&gt; has "
                        "/tmp/&lt;i&gt;.txt open.")},
    };
    for (const auto& c : cases) {
        server.capabilities = c.capabilities;
        server.calls.clear();
        notices.notifyBoundaryBreach(QStringLiteral("breach-") + c.capabilities.join(u'-'), QStringLiteral("AI <Shield>"),
                                     name + QStringLiteral(" has /tmp/<i>.txt open."));
        ASSERT_TRUE(waitUntil([&] { return !server.calls.isEmpty(); }));
        EXPECT_EQ(server.calls.first().body, c.body) << c.capabilities.join(u' ').toStdString();
        EXPECT_EQ(server.calls.first().summary, QStringLiteral("AI <Shield>")) << "a summary is plain text";
    }
}

TEST(NotificationManager, CooldownsAreIndependentAndThrottleNoticesHaveNone)
{
    PrivateSessionBus bus;
    FakeNotificationServer server;
    ASSERT_TRUE(server.registered);
    ManualClock clock;
    NotificationManager notices(clock);
    auto titles = [&] {
        QCoreApplication::processEvents();
        QStringList out;
        for (const auto& c : server.calls) out << c.summary;
        return out;
    };

    notices.notifyEmergencyCleanup(3, std::nullopt);
    notices.notifyLowDisk(15, std::nullopt);
    notices.notifyHealthWarning(40);
    ASSERT_TRUE(waitUntil([&] { return server.calls.size() == 3; }));

    clock.advance(299s);
    notices.notifyEmergencyCleanup(3, std::nullopt);
    notices.notifyLowDisk(15, std::nullopt);
    notices.notifyHealthWarning(40);
    clock.advance(1s);
    notices.notifyEmergencyCleanup(3, std::nullopt);  // 300 s after the first
    ASSERT_TRUE(waitUntil([&] { return server.calls.size() == 4; }));
    clock.advance(1s);
    notices.notifyLowDisk(15, std::nullopt);  // its own cooldown: 301 s
    ASSERT_TRUE(waitUntil([&] { return server.calls.size() == 5; }));
    EXPECT_EQ(titles(), (QStringList{"Emergency Disk Cleanup", "Low Disk Space", "Performance Warning",
                                     "Emergency Disk Cleanup", "Low Disk Space"}));

    // Throttle notices: every one is posted. At the very same instant the same name gives the
    // same identifier, and the later request replaces the earlier notice.
    server.calls.clear();
    notices.notifyProcessThrottled(QStringLiteral("renderer"), 90);
    ASSERT_TRUE(waitUntil([&] { return server.calls.size() == 1; }));
    QTest::qWait(200);  // the server's answer carries its id
    notices.notifyProcessThrottled(QStringLiteral("renderer"), 95);
    notices.notifyProcessThrottled(QStringLiteral("indexer"), 95);
    ASSERT_TRUE(waitUntil([&] { return server.calls.size() == 3; }));
    EXPECT_EQ(server.calls[0].replacesId, 0u);
    EXPECT_NE(server.calls[1].replacesId, 0u);
    EXPECT_EQ(server.calls[2].replacesId, 0u);
}

TEST(NotificationManager, WithoutAServerNoticesAreDroppedAndAuthorisationFails)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isValid());
    ManualClock clock;
    NotificationManager notices(clock);
    notices.notifyEmergencyCleanup(2, std::nullopt);
    notices.notifyProcessThrottled(QStringLiteral("renderer"), 99);
    notices.notify(QStringLiteral("a"), QStringLiteral("b"));

    std::optional<std::optional<QString>> answer;
    notices.requestAuthorization([&](std::optional<QString> error) { answer = error; });
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    ASSERT_TRUE(answer->has_value());
    EXPECT_FALSE((*answer)->isEmpty());

    // A server that answers is the permission.
    FakeNotificationServer server;
    ASSERT_TRUE(server.registered);
    answer.reset();
    notices.requestAuthorization([&](std::optional<QString> error) { answer = error; });
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    EXPECT_FALSE(answer->has_value());
}
