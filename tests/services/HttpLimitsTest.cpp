// The limits every connected service works within, against peers that misbehave: a time-out
// counted from the start of the request, a cap on the reply, one request per action, and no
// redirect followed with the service's data.
#include "assistant/ScriptedServer.h"
#include "services/HttpExchange.h"
#include "services/UpdateChecker.h"
#include "support/HostileServer.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

struct Exchange {
    QObject context;

    HttpOutcome send(HttpExchange::Request request)
    {
        std::optional<HttpOutcome> outcome;
        HttpExchange::send(request, &context, [&outcome](const HttpOutcome& o) { outcome = o; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 20000));
        return outcome.value_or(HttpOutcome{});
    }
};

HttpExchange::Request get(const QString& url, std::chrono::milliseconds timeout = 10s)
{
    return HttpExchange::Request{.url = QUrl(url), .timeout = timeout};
}

HttpExchange::Request post(const QString& url, std::chrono::milliseconds timeout = 10s)
{
    return HttpExchange::Request{.verb = "POST",
                                 .url = QUrl(url),
                                 .headers = {{"Content-Type", "application/json"}},
                                 .body = R"({"machine_id":"x"})",
                                 .timeout = timeout};
}

}  // namespace

// A server that sends a byte every second never holds a request past its time-out.
TEST(HttpExchange, TimeOutCountsFromTheStartOfTheRequest)
{
    for (const bool isPost : {false, true}) {
        SCOPED_TRACE(isPost ? "POST" : "GET");
        HostileServer drip(HostileServer::Mode::drip, 1s);
        Exchange e;
        QElapsedTimer clock;
        clock.start();
        const QString url = drip.base() + QStringLiteral("/api/veltranmoor/owner/heartbeat");
        const HttpOutcome outcome = e.send(isPost ? post(url, 2500ms) : get(url, 2500ms));
        EXPECT_EQ(outcome.transportError, QStringLiteral("Timed out after 2.5 s"));
        EXPECT_GE(clock.elapsed(), 2400);
        EXPECT_LT(clock.elapsed(), 4500);
        EXPECT_GE(drip.sent(), 1) << "the server did drip";
    }
}

// An endless body, or one that announces more than the cap, is stopped at the cap; a reply
// of exactly the cap is whole.
TEST(HttpExchange, ReplyAboveTheCapIsStopped)
{
    const QString tooLarge = QStringLiteral("The reply was larger than 1 MiB and was stopped");
    {
        HostileServer endless(HostileServer::Mode::endless);
        Exchange e;
        const HttpOutcome outcome = e.send(get(endless.base() + QStringLiteral("/feed")));
        EXPECT_EQ(outcome.transportError, tooLarge);
        EXPECT_TRUE(outcome.body.isEmpty());
    }
    ScriptedServer server;
    Exchange e;
    server.answer(200, std::string(1024 * 1024 + 1, ' '));
    EXPECT_EQ(e.send(post(server.base() + QStringLiteral("/x"))).transportError, tooLarge);
    server.answer(500, std::string(3 * 1024 * 1024, ' '));
    EXPECT_EQ(e.send(get(server.base() + QStringLiteral("/x"))).transportError, tooLarge);
    server.answer(200, std::string(1024 * 1024, ' '));
    const HttpOutcome whole = e.send(get(server.base() + QStringLiteral("/x")));
    EXPECT_FALSE(whole.transportError);
    EXPECT_EQ(whole.body.size(), 1024 * 1024);
}

// A dropped connection fails the request: it is not sent again, whatever its verb. A request
// also carries only what it names and HTTP needs: no cache directives.
TEST(HttpExchange, NothingIsSentTwice)
{
    for (const bool isPost : {false, true}) {
        SCOPED_TRACE(isPost ? "POST" : "GET");
        HostileServer drops(HostileServer::Mode::dropFirst, 1s, R"({"ok":true})");
        Exchange e;
        const QString url = drops.base() + QStringLiteral("/api/veltranmoor/fleet/status");
        const HttpOutcome first = e.send(isPost ? post(url) : get(url));
        EXPECT_TRUE(first.transportError.has_value());
        QTest::qWait(300);
        EXPECT_EQ(drops.connections(), 1);
        EXPECT_EQ(drops.requests().size(), 1u);

        // The next action is a request of its own.
        const HttpOutcome second = e.send(isPost ? post(url) : get(url));
        EXPECT_TRUE(second.success()) << second.failureText().toStdString();
        EXPECT_EQ(drops.requests().size(), 2u);
    }

    ScriptedServer server;
    Exchange e;
    HttpExchange::Request request = get(server.base() + QStringLiteral("/feed"));
    request.headers = {{"Accept", "application/vnd.github+json"}};
    ASSERT_TRUE(e.send(request).success());
    const ReceivedRequest received = server.requests().at(0);
    EXPECT_EQ(received.header("Accept"), "application/vnd.github+json");
    for (const char* added : {"Cache-Control", "Pragma", "Content-Length", "Content-Type", "Cookie"})
        EXPECT_FALSE(received.hasHeader(added)) << added;
}

// "Check for Updates" against a server that drops the connection: one click, one request.
TEST(UpdateChecker, OneClickSendsOneRequestWhenTheConnectionDrops)
{
    HostileServer drops(HostileServer::Mode::dropFirst);
    ManualClock clock;
    UpdateChecker checker(clock, UpdateChecker::Config{
                                     .latestReleaseAPI = drops.base() + QStringLiteral("/repos/a/b/releases/latest"),
                                     .downloadPage = QStringLiteral("https://veltranmoor.example/download"),
                                     .timeout = 12s,
                                     .openUrl = [](const QUrl&) {},
                                 });
    checker.fetchLatestRelease();
    ASSERT_TRUE(QTest::qWaitFor([&] { return checker.state().kind != UpdateChecker::State::Kind::checking; }, 20000));
    EXPECT_EQ(checker.state().kind, UpdateChecker::State::Kind::failed);
    QTest::qWait(300);
    EXPECT_EQ(drops.requests().size(), 1u);
    EXPECT_EQ(drops.connections(), 1);
}

// The services' POSTs carry data for the address that was checked: a redirect is the answer,
// never followed.
TEST(HttpExchange, RedirectOfAServiceRequestIsNotFollowed)
{
    ScriptedServer elsewhere;
    ScriptedServer server;
    for (const int status : {301, 302, 307, 308}) {
        SCOPED_TRACE(status);
        server.script({ScriptedServer::Reply{status, "{}", false, 0,
                                             elsewhere.base().toStdString() + "/api/veltranmoor/owner/register"}});
        Exchange e;
        const HttpOutcome outcome = e.send(post(server.base() + QStringLiteral("/api/veltranmoor/owner/register")));
        EXPECT_EQ(outcome.failureText(), QStringLiteral("HTTP %1").arg(status));
    }
    EXPECT_TRUE(elsewhere.requests().empty());
}
