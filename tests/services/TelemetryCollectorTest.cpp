#include "FakeHost.h"
#include "ServicesTestSupport.h"

#include "assistant/ScriptedServer.h"
#include "services/MachineIdentity.h"
#include "services/TelemetryCollector.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTest>

using namespace std::chrono_literals;

namespace {

struct Telemetry {
    SettingsStore store;
    ManualScheduler scheduler{store.clock};
    ScriptedServer server;
    FakeHost host;
    MachineIdentity identity{{}};
    std::optional<QString> region = QStringLiteral("US");
    QList<TelemetryCollector::ConsentQuestion> asked;
    std::optional<bool> answer = true;
    TelemetryCollector collector;

    explicit Telemetry(std::chrono::milliseconds timeout = 15s)
        : collector(TelemetryCollector::Collaborators{
              .settings = *store.settings,
              .clock = store.clock,
              .scheduler = scheduler,
              .identity = identity,
              .host = host,
              .ask = [this](const TelemetryCollector::ConsentQuestion& q) -> std::optional<bool> {
                  asked.append(q);
                  return answer;
              },
              .region = [this] { return region; },
              .timeout = timeout,
          })
    {
        QCoreApplication::setApplicationVersion(QStringLiteral("1.9.0"));
        store.settings->setTelemetryEndpoint(QStringLiteral(" \n") + server.base() + QStringLiteral("/api/veltranmoor/telemetry\n "));
    }

    void consent(bool enabled)
    {
        store.settings->setTelemetryEnabled(enabled);
        store.settings->setTelemetryConsentDecided(true);
        collector.start();
    }
    void trackN(int n)
    {
        for (int i = 0; i < n; ++i) collector.track(TelemetryCollector::Category::feature, QStringLiteral("e%1").arg(i), {});
    }
    bool waitForRequests(size_t n) { return QTest::qWaitFor([&] { return server.requests().size() >= n; }, 10000); }
    bool settle() { return QTest::qWaitFor([&] { return !collector.status().isEmpty(); }, 10000); }
    QJsonArray events(size_t request) { return server.requests().at(request).json().object().value(QLatin1String("events")).toArray(); }
};

}  // namespace

TEST(TelemetryCollector, SendsNothingUndecidedOrWithSharingOff)
{
    const struct {
        bool decided;
        bool enabled;
    } cases[] = {{false, true}, {false, false}, {true, false}};
    for (const auto& c : cases) {
        Telemetry t;
        t.store.settings->setTelemetryEnabled(c.enabled);
        t.store.settings->setTelemetryConsentDecided(c.decided);
        t.collector.start();
        t.collector.track(TelemetryCollector::Category::gate, QStringLiteral("x"), {});
        EXPECT_TRUE(t.collector.buffer().isEmpty());
        EXPECT_FALSE(t.collector.timerRunning());
        t.scheduler.advance(900s);
        t.collector.flush();
        QTest::qWait(50);
        EXPECT_TRUE(t.server.requests().empty());
    }
}

TEST(TelemetryCollector, ConsentQuestionFollowsTheRegionAndItsAnswerStarts)
{
    const struct {
        std::optional<QString> region;
        std::optional<bool> answer;
        const char* first;
        const char* second;
        const char* sentence;
    } cases[] = {
        {QStringLiteral("DE"), true, "Turn on sharing", "No thanks", "Because you're in the EU/EEA"},
        {QStringLiteral("FR"), false, "Turn on sharing", "No thanks", "OFF unless you choose"},
        {std::nullopt, true, "Turn on sharing", "No thanks", "Your region can't be told from this computer's regional settings"},
        {QStringLiteral("JP"), true, "Sounds good", "Opt out", "Settings \u2192 About \u2192 Privacy & Data."},
        {QStringLiteral("US"), false, "Sounds good", "Opt out", "It's on by default"},
        {QStringLiteral("IT"), std::nullopt, "Turn on sharing", "No thanks", "Because you're in the EU/EEA"},
    };
    for (const auto& c : cases) {
        Telemetry t;
        t.region = c.region;
        t.answer = c.answer;
        t.collector.presentConsentPrompt();
        ASSERT_EQ(t.asked.size(), 1);
        EXPECT_EQ(t.asked[0].message, QStringLiteral("Help improve Veltranmoor"));
        EXPECT_EQ(t.asked[0].firstButton, QString::fromUtf8(c.first));
        EXPECT_EQ(t.asked[0].secondButton, QString::fromUtf8(c.second));
        EXPECT_TRUE(t.asked[0].informative.startsWith(QStringLiteral("Veltranmoor can share anonymized usage")));
        EXPECT_TRUE(t.asked[0].informative.contains(QString::fromUtf8(c.sentence)));
        const bool yes = c.answer.value_or(false);
        EXPECT_EQ(t.store.settings->telemetryConsentDecided(), c.answer.has_value());
        if (c.answer) EXPECT_EQ(t.store.settings->telemetryEnabled(), *c.answer);
        // The first record ever buffered is the profile that follows a yes.
        EXPECT_EQ(t.collector.buffer().size(), yes ? 1 : 0);
        EXPECT_EQ(t.collector.timerRunning(), yes);

        // Answered: never asked again; unanswered (quit meanwhile): asked at the next launch.
        t.collector.presentConsentPrompt();
        EXPECT_EQ(t.asked.size(), c.answer ? 1 : 2);
    }
}

TEST(TelemetryCollector, ProfileRecordFieldsAndTypes)
{
    Telemetry t;
    t.consent(true);
    ASSERT_EQ(t.collector.buffer().size(), 1);
    const QJsonObject r = t.collector.buffer()[0];
    EXPECT_EQ(r.keys(), (QStringList{"anon_id", "app_version", "category", "d_chip", "d_os", "d_ram_gb", "d_region_eu", "event", "ts"}));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{16}$")).match(r.value(QLatin1String("anon_id")).toString()).hasMatch());
    // Without a machine id every such machine shares the id of "no-uuid".
    EXPECT_EQ(r.value(QLatin1String("anon_id")).toString(),
              QString::fromLatin1(QCryptographicHash::hash("no-uuid|hollowmere-instrument-seed-k7", QCryptographicHash::Sha256).toHex().left(16)));
    EXPECT_EQ(r.value(QLatin1String("category")).toString(), QStringLiteral("machine"));
    EXPECT_EQ(r.value(QLatin1String("event")).toString(), QStringLiteral("profile"));
    EXPECT_EQ(r.value(QLatin1String("ts")).toDouble(), double(t.store.clock.now().toMSecsSinceEpoch()) / 1000.0);
    EXPECT_EQ(r.value(QLatin1String("app_version")).toString(), QStringLiteral("1.9.0"));
    EXPECT_EQ(r.value(QLatin1String("d_chip")).toString(), QStringLiteral("Fixture CPU @ 3.00GHz"));
    EXPECT_EQ(r.value(QLatin1String("d_ram_gb")), QJsonValue(16));
    EXPECT_EQ(r.value(QLatin1String("d_os")).toString(), QStringLiteral("Fixture OS 1"));
    EXPECT_EQ(r.value(QLatin1String("d_region_eu")), QJsonValue(false));

    // The id comes from the app-specific id, never the raw one, and is the same every launch.
    const auto derived = MachineIdentity::derive("0123456789abcdef0123456789abcdef");
    EXPECT_EQ(TelemetryCollector::anonymousID(derived), TelemetryCollector::anonymousID(derived));
    EXPECT_NE(TelemetryCollector::anonymousID(derived), TelemetryCollector::anonymousID(std::nullopt));
    EXPECT_NE(TelemetryCollector::anonymousID(derived),
              TelemetryCollector::anonymousID(QStringLiteral("0123456789abcdef0123456789abcdef")));
}

TEST(TelemetryCollector, TickPostsTheBufferAsOneBatchAndTheFiftiethRecordAtOnce)
{
    Telemetry t;
    t.consent(true);
    t.trackN(3);
    t.scheduler.advance(299s);
    QTest::qWait(50);
    EXPECT_TRUE(t.server.requests().empty());
    t.scheduler.advance(1s);
    ASSERT_TRUE(t.waitForRequests(1));
    const ReceivedRequest post = t.server.requests()[0];
    EXPECT_EQ(post.method, "POST");
    EXPECT_EQ(post.path, "/api/veltranmoor/telemetry") << "the setting is used trimmed";
    EXPECT_EQ(post.header("Content-Type"), "application/json");
    EXPECT_EQ(post.json().object().keys(), QStringList{QStringLiteral("events")});
    const QJsonArray batch = t.events(0);
    ASSERT_EQ(batch.size(), 4);
    EXPECT_EQ(batch[0].toObject().value(QLatin1String("event")).toString(), QStringLiteral("profile"));
    EXPECT_EQ(batch[3].toObject().value(QLatin1String("event")).toString(), QStringLiteral("e2"));
    ASSERT_TRUE(t.settle());
    EXPECT_TRUE(t.collector.buffer().isEmpty());

    // 49 wait for the tick; the 50th sends at once.
    t.trackN(49);
    QTest::qWait(100);
    EXPECT_EQ(t.server.requests().size(), 1u);
    t.trackN(1);
    ASSERT_TRUE(t.waitForRequests(2));
    EXPECT_EQ(t.events(1).size(), 50);
}

TEST(TelemetryCollector, UndeliveredBatchesStayForTheNextTick)
{
    const struct {
        const char* name;
        std::deque<ScriptedServer::Reply> replies;
        const char* status;
    } cases[] = {
        {"server error", {{500, "oops"}}, "HTTP 500"},
        {"not found", {{404, ""}}, "HTTP 404"},
        {"hung", {{200, "", true}}, "Timed out after 0.3 s"},
    };
    for (const auto& c : cases) {
        Telemetry t(300ms);
        t.server.script(c.replies);
        t.consent(true);
        t.trackN(60);  // the size trigger
        ASSERT_TRUE(t.waitForRequests(1)) << c.name;
        t.trackN(2);   // during the request
        ASSERT_TRUE(t.settle()) << c.name;
        EXPECT_EQ(t.collector.status(), QString::fromUtf8(c.status)) << c.name;
        ASSERT_EQ(t.collector.buffer().size(), 63) << c.name;
        EXPECT_EQ(t.collector.buffer()[0].value(QLatin1String("event")).toString(), QStringLiteral("profile"));
        EXPECT_EQ(t.collector.buffer()[62].value(QLatin1String("event")).toString(), QStringLiteral("e1"));
        // No retry before the tick, even with 50 and more waiting.
        t.trackN(1);
        QTest::qWait(100);
        EXPECT_EQ(t.server.requests().size(), 1u) << c.name;

        t.server.answer(200, "{}");
        t.scheduler.advance(300s);
        ASSERT_TRUE(t.waitForRequests(2)) << c.name;
        ASSERT_TRUE(QTest::qWaitFor([&] { return t.collector.buffer().isEmpty(); }, 10000)) << c.name;
        EXPECT_EQ(t.events(1).size(), 64) << c.name;
    }
}

TEST(TelemetryCollector, UnusableEndpointSendsNothingAndKeepsTheRecords)
{
    for (const char* endpoint : {"http://telemetry.example.com/api/veltranmoor/telemetry", "no url at all"}) {
        Telemetry t;
        t.store.settings->setTelemetryEndpoint(QString::fromLatin1(endpoint));
        t.consent(true);
        t.scheduler.advance(300s);
        EXPECT_EQ(t.collector.buffer().size(), 1) << endpoint;
        EXPECT_FALSE(t.collector.status().isEmpty()) << endpoint;
        QTest::qWait(50);
        EXPECT_TRUE(t.server.requests().empty());
    }
}

TEST(TelemetryCollector, SharingOffKeepsTheBufferAndOnAgainSendsItWithANewProfile)
{
    Telemetry t;
    t.consent(true);
    t.trackN(2);
    t.store.settings->setTelemetryEnabled(false);
    t.collector.start();
    EXPECT_FALSE(t.collector.timerRunning());
    t.trackN(5);
    EXPECT_EQ(t.collector.buffer().size(), 3);
    t.store.settings->setTelemetryEnabled(true);
    t.collector.start();
    t.scheduler.advance(300s);
    ASSERT_TRUE(t.waitForRequests(1));
    const QJsonArray batch = t.events(0);
    ASSERT_EQ(batch.size(), 4);
    EXPECT_EQ(batch[3].toObject().value(QLatin1String("event")).toString(), QStringLiteral("profile"));
}
