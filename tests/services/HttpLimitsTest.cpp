// The limits every connected service works within, against peers that misbehave: a time-out
// counted from the start of the request, a cap on the reply, one request per action, and no
// redirect followed with the service's data.
#include "assistant/ScriptedServer.h"
#include "services/HttpExchange.h"
#include "services/UpdateChecker.h"
#include "support/HostileServer.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
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
    EXPECT_EQ(received.header("User-Agent").rfind("Veltranmoor", 0), 0u) << "names itself, as the release feed requires";
    for (const char* added : {"Cache-Control", "Pragma", "Content-Length", "Content-Type", "Cookie"})
        EXPECT_FALSE(received.hasHeader(added)) << added;

    // A value edited to hold a line break would add a header of its own: nothing is sent.
    request.headers = {{"X-Machine-Id", "abc\r\nX-Forged: 1"}};
    EXPECT_TRUE(e.send(request).transportError.has_value());
    EXPECT_EQ(server.requests().size(), 1u);
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

// The release feed may move: a redirect is followed while it keeps to the rule for addresses,
// as a request of its own within the same limits; one to plain http elsewhere is not.
TEST(UpdateChecker, FeedRedirectsAreFollowedOnlyWithinTheRuleForAddresses)
{
    ScriptedServer moved;
    moved.answer(200, R"({"tag_name":"v2.0"})");
    ScriptedServer feed;
    ManualClock clock;
    UpdateChecker checker(clock, UpdateChecker::Config{
                                     .latestReleaseAPI = feed.base() + QStringLiteral("/repos/a/b/releases/latest"),
                                     .downloadPage = QStringLiteral("https://veltranmoor.example/download"),
                                     .timeout = 12s,
                                     .openUrl = [](const QUrl&) {},
                                 });
    QCoreApplication::setApplicationVersion(QStringLiteral("1.9.0"));
    auto check = [&] {
        checker.fetchLatestRelease();
        EXPECT_TRUE(QTest::qWaitFor([&] { return checker.state().kind != UpdateChecker::State::Kind::checking; }, 20000));
        return checker.state();
    };
    feed.script({ScriptedServer::Reply{301, "{}", false, 0, moved.base().toStdString() + "/repos/a/c/releases/latest"}});
    EXPECT_EQ(check().kind, UpdateChecker::State::Kind::updateAvailable);
    ASSERT_EQ(moved.requests().size(), 1u);
    EXPECT_EQ(moved.requests()[0].path, "/repos/a/c/releases/latest");
    EXPECT_EQ(moved.requests()[0].header("Accept"), "application/vnd.github+json");

    feed.script({ScriptedServer::Reply{302, "{}", false, 0, "http://feed.example.com/latest"}});
    EXPECT_EQ(check(), UpdateChecker::State::failed(QStringLiteral("HTTP 302")));
    EXPECT_EQ(moved.requests().size(), 1u);

    // A loop ends after five hops.
    feed.script({ScriptedServer::Reply{307, "{}", false, 0, "/repos/a/b/releases/latest"}});
    const size_t before = feed.requests().size();
    EXPECT_EQ(check().kind, UpdateChecker::State::Kind::failed);
    EXPECT_EQ(feed.requests().size() - before, 6u);
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

namespace {

QByteArray fixture(const char* name)
{
    QFile f(QStringLiteral(VELTRANMOOR_FIXTURES "/tls/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An https peer on 127.0.0.1 with a certificate for that address (valid 2000-2100), signed by
// itself: trusted only where a test adds it to the trusted roots.
struct TlsServer {
    QSslServer server;
    QSslCertificate certificate{fixture("loopback-cert.pem")};
    QList<QByteArray> requests;

    TlsServer()
    {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificate(certificate);
        config.setPrivateKey(QSslKey(fixture("loopback-key.pem"), QSsl::Rsa));
        server.setSslConfiguration(config);
        QObject::connect(&server, &QTcpServer::pendingConnectionAvailable, &server, [this] {
            auto* socket = static_cast<QSslSocket*>(server.nextPendingConnection());
            QObject::connect(socket, &QSslSocket::readyRead, socket, [this, socket] {
                requests << socket->readAll();
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\n\r\n{\"ok\":true}");
                socket->disconnectFromHost();
            });
        });
        server.listen(QHostAddress::LocalHost);
    }
    QString base() const { return QStringLiteral("https://127.0.0.1:%1").arg(server.serverPort()); }
};

}  // namespace

// Over https the peer's certificate must be valid for the host: an untrusted one ends the
// request before anything is sent; a trusted one carries it.
TEST(HttpExchange, HttpsNeedsACertificateTheSystemTrusts)
{
    if (!QSslSocket::supportsSsl()) GTEST_SKIP() << "no TLS backend";
    TlsServer tls;
    ASSERT_FALSE(tls.certificate.isNull());
    Exchange e;
    const HttpOutcome refused = e.send(post(tls.base() + QStringLiteral("/api/veltranmoor/telemetry")));
    ASSERT_TRUE(refused.transportError.has_value());
    EXPECT_TRUE(tls.requests.isEmpty());

    const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = original;
    trusting.addCaCertificate(tls.certificate);
    QSslConfiguration::setDefaultConfiguration(trusting);
    const HttpOutcome answered = e.send(post(tls.base() + QStringLiteral("/api/veltranmoor/telemetry")));
    QSslConfiguration::setDefaultConfiguration(original);
    EXPECT_TRUE(answered.success()) << answered.failureText().toStdString();
    EXPECT_EQ(answered.body, QByteArray(R"({"ok":true})"));
    ASSERT_EQ(tls.requests.size(), 1);
    EXPECT_TRUE(tls.requests[0].startsWith("POST /api/veltranmoor/telemetry HTTP/1.1\r\n")) << tls.requests[0].constData();
    EXPECT_TRUE(tls.requests[0].contains("\r\nHost: 127.0.0.1:" + QByteArray::number(tls.server.serverPort()) + "\r\n"));
}
