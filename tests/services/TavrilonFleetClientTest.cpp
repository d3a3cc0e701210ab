#include "ServicesTestSupport.h"

#include "actions/ActionGate.h"
#include "assistant/ScriptedServer.h"
#include "services/MachineIdentity.h"
#include "services/ServiceEndpoint.h"
#include "services/TavrilonFleetClient.h"
#include "support/FakeMonitorState.h"
#include "support/InlineExecutor.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTest>

using namespace std::chrono_literals;
using Status = TavrilonFleetClient::Status;

namespace {

struct Fleet {
    SettingsStore store;
    ManualScheduler scheduler{store.clock};
    ScriptedServer server;
    FakeMonitorState monitor;
    ActionGate gate{*store.defaults, store.clock};
    QTemporaryDir idDir;
    MachineIdentity identity{{idDir.path() + QStringLiteral("/machine-id")}};
    InlineExecutor worker;
    int cleans = 0;
    int reliefs = 0;
    int shows = 0;
    int hides = 0;
    TavrilonFleetClient client;

    explicit Fleet(std::chrono::milliseconds timeout = 10s)
        : client(TavrilonFleetClient::Collaborators{
              .settings = *store.settings,
              .monitor = monitor,
              .gate = gate,
              .identity = identity,
              .clock = store.clock,
              .scheduler = scheduler,
              .worker = worker,
              .optimizerSummary = [] { return QStringLiteral("No proactive sweep yet."); },
              .cleanCaches = [this] { ++cleans; return QStringLiteral("Nothing safe to clean right now."); },
              .relieveMemory = [this] { ++reliefs; return QStringLiteral("Requested memory relief."); },
              .showHUD = [this] { ++shows; },
              .hideHUD = [this] { ++hides; },
              .timeout = timeout,
          })
    {
        QFile id(idDir.path() + QStringLiteral("/machine-id"));
        id.open(QIODevice::WriteOnly);
        id.write("fedcba9876543210fedcba9876543210\n");
        id.close();
        QCoreApplication::setApplicationVersion(QStringLiteral("1.9.0"));
        store.settings->setVraxEndpointURL(server.base() + QStringLiteral("/mcp/"));
        monitor.health.score = 87;
        monitor.snapshot.cpuUsage = 12.5;
        monitor.snapshot.memoryUsed = 4.0;
        monitor.snapshot.memoryTotal = 8.0;
        monitor.snapshot.diskTotal = 256ull << 30;
        monitor.snapshot.diskUsed = 200ull << 30;
    }

    bool waitForRequests(size_t n) { return QTest::qWaitFor([&] { return server.requests().size() >= n; }, 10000); }
    // One poll with this heartbeat answer and this directives answer, run to its end.
    void pollWith(ScriptedServer::Reply status, ScriptedServer::Reply directives)
    {
        server.script({status, directives});
        bool finished = false;
        auto connection = QObject::connect(&client, &TavrilonFleetClient::pollFinished, [&] { finished = true; });
        client.poll();
        EXPECT_TRUE(QTest::qWaitFor([&] { return finished; }, 10000));
        QObject::disconnect(connection);
    }
};

}  // namespace

TEST(TavrilonFleetClient, HeartbeatThenDirectivesWithTheMachineId)
{
    Fleet t;
    t.pollWith({200, ""}, {200, R"({"directives":[]})"});
    const auto requests = t.server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/api/veltranmoor/fleet/status");
    EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
    EXPECT_FALSE(requests[0].hasHeader("X-Machine-Id"));
    const QJsonObject body = requests[0].json().object();
    EXPECT_EQ(body.keys(), (QStringList{"app_version", "cpu", "disk_free_gb", "health", "last_optimizer", "machine_id",
                                        "mem_pct", "yolo_armed"}));
    const QString id = *MachineIdentity::derive("fedcba9876543210fedcba9876543210");
    EXPECT_EQ(body.value(QLatin1String("machine_id")).toString(), id);
    EXPECT_EQ(body.value(QLatin1String("app_version")).toString(), QStringLiteral("1.9.0"));
    EXPECT_EQ(body.value(QLatin1String("health")), QJsonValue(87));
    EXPECT_EQ(body.value(QLatin1String("cpu")).toDouble(), 12.5);
    EXPECT_EQ(body.value(QLatin1String("mem_pct")).toDouble(), 50.0);
    EXPECT_EQ(body.value(QLatin1String("disk_free_gb")).toDouble(), 56.0);
    EXPECT_EQ(body.value(QLatin1String("yolo_armed")), QJsonValue(false));
    EXPECT_EQ(body.value(QLatin1String("last_optimizer")).toString(), QStringLiteral("No proactive sweep yet."));
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].path, "/api/veltranmoor/fleet/directives");
    EXPECT_EQ(requests[1].header("X-Machine-Id"), id.toStdString());
    EXPECT_EQ(t.client.status(), Status::connected(t.store.clock.now()));
    EXPECT_FALSE(t.client.lastDirective());
}

TEST(TavrilonFleetClient, HeartbeatStatusAndDirectivesFetchedWhateverItsOutcome)
{
    const struct {
        ScriptedServer::Reply reply;
        Status expected;
    } cases[] = {
        {{204, ""}, Status::connected({})},
        {{299, "not json"}, Status::connected({})},
        {{300, ""}, Status::offline(QStringLiteral("HTTP 300"))},
        {{401, "{}"}, Status::offline(QStringLiteral("HTTP 401"))},
        {{502, ""}, Status::offline(QStringLiteral("HTTP 502"))},
        {{200, "", true}, Status::offline(QStringLiteral("Timed out after 0.3 s"))},
    };
    for (const auto& c : cases) {
        Fleet t(300ms);
        t.pollWith(c.reply, {200, R"({"directives":[{"type":"status"}]})"});
        Status expected = c.expected;
        if (expected.kind == Status::Kind::connected) expected.at = t.store.clock.now();
        EXPECT_EQ(t.client.status(), expected) << c.reply.status;
        EXPECT_EQ(t.client.lastDirective(), QStringLiteral("status requested")) << c.reply.status;
    }
}

TEST(TavrilonFleetClient, DirectivesTable)
{
    const struct {
        int status;
        const char* reply;
        std::optional<QString> last;
        int shows, hides;
        std::optional<bool> showOnLaunch;
    } cases[] = {
        {200, R"({"directives":[{"type":"status"}]})", QStringLiteral("status requested"), 0, 0, {}},
        {200, R"({"directives":[{"type":"hud_show","extra":1}]})", QStringLiteral("HUD shown"), 1, 0, true},
        {200, R"({"directives":[{"type":"hud_hide"}]})", QStringLiteral("HUD hidden"), 0, 1, false},
        {200, R"({"directives":[{"type":"hud_show"},{"type":"hud_hide"}]})", QStringLiteral("HUD hidden"), 1, 1, false},
        {200, R"({"directives":[{"type":"Status"}]})", QStringLiteral("refused unsupported/destructive directive: Status"), 0, 0, {}},
        {200, R"({"directives":[{"type":"shell","cmd":"rm -rf ~"}]})", QStringLiteral("refused unsupported/destructive directive: shell"), 0, 0, {}},
        {200, R"({"directives":[{"type":""}]})", QStringLiteral("refused unsupported/destructive directive: "), 0, 0, {}},
        {200, R"({"directives":[{"type":5},{"type":"hud_show"}]})", QStringLiteral("HUD shown"), 1, 0, true},
        {200, R"({"directives":[{"type":"hud_show"},"hud_hide"]})", std::nullopt, 0, 0, {}},
        {200, R"({"directives":[{"type":"hud_show"},null]})", std::nullopt, 0, 0, {}},
        {200, R"({"directives":[]})", std::nullopt, 0, 0, {}},
        {200, R"({"directives":{"type":"hud_show"}})", std::nullopt, 0, 0, {}},
        {200, R"({"pending":[{"type":"hud_show"}]})", std::nullopt, 0, 0, {}},
        {200, R"([{"type":"hud_show"}])", std::nullopt, 0, 0, {}},
        {200, "hud_show", std::nullopt, 0, 0, {}},
        {200, "", std::nullopt, 0, 0, {}},
        {404, R"({"directives":[{"type":"hud_show"}]})", std::nullopt, 0, 0, {}},
    };
    for (const auto& c : cases) {
        Fleet t;
        t.pollWith({200, ""}, {c.status, c.reply});
        EXPECT_EQ(t.client.lastDirective(), c.last) << c.reply;
        EXPECT_EQ(t.shows, c.shows) << c.reply;
        EXPECT_EQ(t.hides, c.hides) << c.reply;
        EXPECT_EQ(t.store.defaults->getBool(QStringLiteral("tavrilon.hud.showOnLaunch")), c.showOnLaunch) << c.reply;
        EXPECT_TRUE(t.gate.ledger().isEmpty());
    }
}

TEST(TavrilonFleetClient, OptimizeRunsTheTwoReversibleActionsThroughTheGate)
{
    Fleet t;
    t.pollWith({200, ""}, {200, R"({"directives":[{"type":"optimize"}]})"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return t.gate.ledger().size() == 2; }, 5000));
    EXPECT_EQ(t.client.lastDirective(), QStringLiteral("remote optimize (reversible) ran"));
    EXPECT_EQ(t.cleans, 1);
    EXPECT_EQ(t.reliefs, 1);
    // Newest first.
    EXPECT_EQ(t.gate.ledger()[1].title, QStringLiteral("Clean caches & junk"));
    EXPECT_EQ(t.gate.ledger()[1].outcome, QStringLiteral("Nothing safe to clean right now."));
    EXPECT_EQ(t.gate.ledger()[0].title, QStringLiteral("Relieve memory pressure"));
    EXPECT_EQ(t.gate.ledger()[0].risk, ActionRisk::reversible);
}

TEST(TavrilonFleetClient, FollowsTheSwitchPollingEveryFiveMinutes)
{
    Fleet t;
    t.server.answer(200, R"({"directives":[]})");
    t.client.start();
    EXPECT_EQ(t.client.status(), Status::disabled());
    t.store.settings->setFleetCommsEnabled(true);
    ASSERT_TRUE(t.waitForRequests(2)) << "one poll at once";
    EXPECT_TRUE(t.client.polling());
    // On again, or any other setting: no extra poll.
    t.store.settings->setFleetCommsEnabled(true);
    t.store.settings->setCpuThreshold(70);
    t.client.reconcile();
    QTest::qWait(100);
    EXPECT_EQ(t.server.requests().size(), 2u);
    t.scheduler.advance(299s);
    QTest::qWait(50);
    EXPECT_EQ(t.server.requests().size(), 2u);
    t.scheduler.advance(1s);
    ASSERT_TRUE(t.waitForRequests(4));

    // Off while a heartbeat is under way: disabled stays, the directives are not fetched.
    t.server.script({{200, "", false, 400}, {200, R"({"directives":[{"type":"hud_show"}]})"}});
    t.scheduler.advance(300s);
    ASSERT_TRUE(t.waitForRequests(5));
    t.store.settings->setFleetCommsEnabled(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return t.client.status() == Status::disabled(); }, 5000));
    QTest::qWait(700);
    EXPECT_EQ(t.client.status(), Status::disabled());
    EXPECT_EQ(t.server.requests().size(), 5u);
    EXPECT_EQ(t.shows, 0);
    EXPECT_FALSE(t.client.polling());
}

TEST(TavrilonFleetClient, UnusableEndpointSendsNothing)
{
    const struct {
        const char* endpoint;
        QString text;
    } cases[] = {
        {"http://fleet.example.com/mcp", ServiceEndpoint::refusedText()},
        {"::::", QStringLiteral("bad URL")},
    };
    for (const auto& c : cases) {
        Fleet t;
        t.store.settings->setVraxEndpointURL(QString::fromLatin1(c.endpoint));
        t.client.poll();
        EXPECT_EQ(t.client.status(), Status::offline(c.text)) << c.endpoint;
        QTest::qWait(50);
        EXPECT_TRUE(t.server.requests().empty());
    }
    for (const char* setting : {"https://f.example/mcp/", "https://f.example/mcp", "https://f.example"}) {
        EXPECT_EQ(TavrilonFleetClient::endpointURL(QString::fromLatin1(setting), QStringLiteral("status")),
                  QUrl(QStringLiteral("https://f.example/api/veltranmoor/fleet/status")));
    }
}
