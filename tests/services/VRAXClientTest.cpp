#include "FakeHost.h"
#include "ServicesTestSupport.h"

#include "assistant/ScriptedServer.h"
#include "monitoring/BatteryLevelSource.h"
#include "services/MachineIdentity.h"
#include "services/ServiceEndpoint.h"
#include "services/VRAXClient.h"
#include "support/FakeMonitorState.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTest>

using namespace std::chrono_literals;
using Status = VRAXClient::Status;

namespace {

struct FakeBattery final : BatteryLevelSource {
    int level = 76;
    int batteryLevel() const override { return level; }
    bool isCharging() const override { return false; }
};

struct Vrax {
    SettingsStore store;
    ManualScheduler scheduler{store.clock};
    ScriptedServer server;
    FakeMonitorState monitor;
    FakeBattery battery;
    FakeHost host;
    QTemporaryDir idDir;
    MachineIdentity identity;
    VRAXClient client;

    explicit Vrax(std::chrono::milliseconds timeout = 10s)
        : identity({idDir.path() + QStringLiteral("/machine-id")}),
          client(VRAXClient::Collaborators{
              .settings = *store.settings,
              .monitor = monitor,
              .battery = battery,
              .identity = identity,
              .host = host,
              .clock = store.clock,
              .scheduler = scheduler,
              .timeout = timeout,
          })
    {
        QFile id(idDir.path() + QStringLiteral("/machine-id"));
        id.open(QIODevice::WriteOnly);
        id.write("0123456789abcdef0123456789abcdef\n");
        id.close();
        QCoreApplication::setApplicationVersion(QStringLiteral("1.9.0"));
        store.settings->setVraxEndpointURL(server.base() + QStringLiteral("/mcp"));
        monitor.snapshot.cpuUsage = 37.5;
        monitor.snapshot.memoryUsed = 6.0;
        monitor.snapshot.memoryTotal = 16.0;
        monitor.snapshot.diskTotal = 500ull << 30;
        monitor.snapshot.diskUsed = 380ull << 30;
    }

    bool waitForRequests(size_t n) { return QTest::qWaitFor([&] { return server.requests().size() >= n; }, 10000); }
    bool waitForStatus(Status::Kind kind) { return QTest::qWaitFor([&] { return client.status().kind == kind; }, 10000); }
    bool settled() { return QTest::qWaitFor([&] { return client.status().kind != Status::Kind::connecting; }, 10000); }
    void enable()
    {
        store.settings->setVraxIntegrationEnabled(true);
        client.start();
    }
};

}  // namespace

TEST(VRAXClient, RegistersThenBeatsEveryMinuteWithTheLoadFigures)
{
    Vrax t;
    t.enable();
    EXPECT_EQ(t.client.status(), Status::connecting());
    ASSERT_TRUE(t.settled());
    EXPECT_EQ(t.client.status(), Status::connected(t.store.clock.now()));
    ASSERT_EQ(t.server.requests().size(), 1u);
    const ReceivedRequest reg = t.server.requests()[0];
    EXPECT_EQ(reg.method, "POST");
    EXPECT_EQ(reg.path, "/api/veltranmoor/owner/register");
    EXPECT_EQ(reg.header("Content-Type"), "application/json");
    const QJsonObject body = reg.json().object();
    EXPECT_EQ(body.keys(), (QStringList{"app_version", "hostname", "machine_id", "os_version"}));
    EXPECT_EQ(body.value(QLatin1String("machine_id")).toString(), *MachineIdentity::derive("0123456789abcdef0123456789abcdef"));
    EXPECT_FALSE(reg.body.find("0123456789abcdef") != std::string::npos) << "the raw machine id never leaves";
    EXPECT_EQ(body.value(QLatin1String("hostname")).toString(), QStringLiteral("fixture-host"));
    EXPECT_EQ(body.value(QLatin1String("app_version")).toString(), QStringLiteral("1.9.0"));
    EXPECT_EQ(body.value(QLatin1String("os_version")).toString(), QStringLiteral("Fixture OS 1"));

    t.scheduler.advance(59s);
    QTest::qWait(50);
    EXPECT_EQ(t.server.requests().size(), 1u);
    t.scheduler.advance(1s);
    ASSERT_TRUE(t.waitForRequests(2));
    const ReceivedRequest beat = t.server.requests()[1];
    EXPECT_EQ(beat.path, "/api/veltranmoor/owner/heartbeat");
    const QJsonObject hb = beat.json().object();
    EXPECT_EQ(hb.keys(), (QStringList{"machine_id", "metrics"}));
    const QJsonObject m = hb.value(QLatin1String("metrics")).toObject();
    EXPECT_EQ(m.value(QLatin1String("cpu")).toDouble(), 37.5);
    EXPECT_EQ(m.value(QLatin1String("mem_used_gb")).toDouble(), 6.0);
    EXPECT_EQ(m.value(QLatin1String("mem_pct")).toDouble(), 37.5);
    EXPECT_EQ(m.value(QLatin1String("disk_free_gb")).toDouble(), 120.0);
    EXPECT_EQ(m.value(QLatin1String("battery_pct")), QJsonValue(76));

    // Before the first sample: the initial snapshot, no division by a zero total.
    t.monitor.snapshot = PerformanceSnapshot{};
    t.monitor.snapshot.diskUsed = 10;  // used above total: no free space, not an underflow
    const QJsonObject initial = t.client.heartbeatBody().value(QLatin1String("metrics")).toObject();
    EXPECT_EQ(initial.value(QLatin1String("mem_pct")).toDouble(), 0.0);
    EXPECT_EQ(initial.value(QLatin1String("disk_free_gb")).toDouble(), 0.0);
}

TEST(VRAXClient, StatusOfEachAnswer)
{
    const struct {
        ScriptedServer::Reply reply;
        std::optional<QString> error;  // none: connected
    } cases[] = {
        {{200, "{}"}, std::nullopt},
        {{299, "not json at all"}, std::nullopt},
        {{300, ""}, QStringLiteral("HTTP 300")},
        {{404, "{}"}, QStringLiteral("HTTP 404")},
        {{500, "<html>"}, QStringLiteral("HTTP 500")},
        {{200, "", true}, QStringLiteral("Timed out after 0.3 s")},
    };
    for (const auto& c : cases) {
        Vrax t(300ms);
        t.server.script({c.reply});
        t.enable();
        ASSERT_TRUE(t.settled());
        if (c.error) EXPECT_EQ(t.client.status(), Status::error(*c.error)) << c.reply.status;
        else EXPECT_EQ(t.client.status(), Status::connected(t.store.clock.now())) << c.reply.status;
        // The heartbeat keeps going after a failed register.
        EXPECT_TRUE(t.client.heartbeatRunning());
    }
    Vrax closed;
    closed.store.settings->setVraxEndpointURL(QStringLiteral("http://127.0.0.1:%1").arg(ScriptedServer::closedPort()));
    closed.enable();
    ASSERT_TRUE(closed.settled());
    EXPECT_EQ(closed.client.status().kind, Status::Kind::error);
    EXPECT_FALSE(closed.client.status().message.isEmpty());
}

TEST(VRAXClient, UnusableEndpointSendsNothing)
{
    const struct {
        const char* endpoint;
        QString error;
    } cases[] = {
        {"http://vrax.example.com/mcp", ServiceEndpoint::refusedText()},
        {"http://10.1.2.3:8080", ServiceEndpoint::refusedText()},
        {"not a url", QStringLiteral("bad endpoint URL")},
    };
    for (const auto& c : cases) {
        Vrax t;
        t.store.settings->setVraxEndpointURL(QString::fromLatin1(c.endpoint));
        t.enable();
        EXPECT_EQ(t.client.status(), Status::error(c.error)) << c.endpoint;
        t.scheduler.advance(60s);
        EXPECT_EQ(t.client.status(), Status::error(c.error)) << c.endpoint;
        QTest::qWait(50);
        EXPECT_TRUE(t.server.requests().empty());
    }
    // The same addresses with or without "/mcp", slashes and blanks.
    for (const char* setting : {"https://v.example/mcp", "https://v.example/mcp/", " https://v.example//\n", "https://v.example"}) {
        EXPECT_EQ(VRAXClient::actionURL(QString::fromLatin1(setting), QStringLiteral("register")),
                  QUrl(QStringLiteral("https://v.example/api/veltranmoor/owner/register")))
            << setting;
    }
}

TEST(VRAXClient, FollowsTheSwitchAndIgnoresOtherSettings)
{
    Vrax t;
    t.client.start();
    EXPECT_EQ(t.client.status(), Status::disabled());
    t.store.settings->setCpuThreshold(50);
    QTest::qWait(50);
    EXPECT_TRUE(t.server.requests().empty());

    t.store.settings->setVraxIntegrationEnabled(true);
    ASSERT_TRUE(t.waitForStatus(Status::Kind::connected));
    // On again, and unrelated changes: no new register, one timer.
    t.store.settings->setVraxIntegrationEnabled(true);
    t.store.settings->setCpuThreshold(60);
    t.client.apply();
    QTest::qWait(50);
    EXPECT_EQ(t.server.requests().size(), 1u);
    // A new address is used by the next beat, without registering again.
    ScriptedServer other;
    t.store.settings->setVraxEndpointURL(other.base());
    t.scheduler.advance(60s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return other.requests().size() == 1; }, 10000));
    EXPECT_EQ(other.requests()[0].path, "/api/veltranmoor/owner/heartbeat");
    EXPECT_EQ(t.server.requests().size(), 1u);

    // Off while a beat is under way: disabled at once, and the late answer does not undo it.
    other.script({{200, "{}", false, 400}});
    t.scheduler.advance(60s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return other.requests().size() == 2; }, 10000));
    t.store.settings->setVraxIntegrationEnabled(false);
    ASSERT_TRUE(t.waitForStatus(Status::Kind::disabled));
    EXPECT_FALSE(t.client.heartbeatRunning());
    QTest::qWait(700);
    EXPECT_EQ(t.client.status(), Status::disabled());
    t.scheduler.advance(300s);
    QTest::qWait(50);
    EXPECT_EQ(other.requests().size(), 2u);

    // Off and on again registers anew.
    t.store.settings->setVraxIntegrationEnabled(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return other.requests().size() == 3; }, 10000));
    EXPECT_EQ(other.requests()[2].path, "/api/veltranmoor/owner/register");
}
