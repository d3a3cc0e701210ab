#include "assistant/ScriptedServer.h"
#include "services/HttpExchange.h"
#include "services/UpdateChecker.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

using namespace std::chrono_literals;
using State = UpdateChecker::State;

TEST(UpdateChecker, VersionsCompareNumericallyPieceByPiece)
{
    const struct {
        const char* latest;
        const char* current;
        bool newer;
    } cases[] = {
        {"1.2", "1.2.0", false},  {"1.10", "1.9", true},     {"2.0-beta", "1.9", true},
        {"1.2.1-rc1", "1.2.1", false}, {"V2.0", "1.0", false}, {"1.0", "unknown", true},
        {"", "", false},          {"..", "...", false},      {"1..2", "1.1", true},
        {"+2", "1", true},        {"-1", "0", false},        {"0", "-1", true},
        {"99999999999999999999", "1", false},  // beyond 64 bits counts as 0
        {"9223372036854775807", "9223372036854775806", true},
        {"1.0.0.1", "1", true},   {"1.0", "1.0", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(compareVersions(QString::fromLatin1(c.latest), QString::fromLatin1(c.current)), c.newer)
            << c.latest << " vs " << c.current;
    }
}

namespace {

struct Checker {
    ScriptedServer server;
    ManualClock clock;
    QList<QUrl> opened;
    UpdateChecker checker;

    explicit Checker(QString feed = {}, std::chrono::milliseconds timeout = 12s)
        : checker(clock, UpdateChecker::Config{
                             .latestReleaseAPI = feed.isEmpty() ? server.base() + QStringLiteral("/repos/a/b/releases/latest") : feed,
                             .downloadPage = QStringLiteral("https://veltranmoor.example/download"),
                             .timeout = timeout,
                             .openUrl = [this](const QUrl& url) { opened.append(url); },
                         })
    {
        QCoreApplication::setApplicationVersion(QStringLiteral("1.9.0"));
    }

    State check()
    {
        checker.fetchLatestRelease();
        EXPECT_TRUE(QTest::qWaitFor([this] { return checker.state().kind != State::Kind::checking; }, 10000));
        return checker.state();
    }
};

}  // namespace

TEST(UpdateChecker, FeedAnswersGiveTheVerdictOrTheFailure)
{
    const struct {
        int status;
        std::string body;
        State expected;
    } cases[] = {
        {200, R"({"tag_name":"v2.0.0","html_url":"https://veltranmoor.example/releases/2.0.0"})",
         State::updateAvailable("1.9.0", "2.0.0", "https://veltranmoor.example/releases/2.0.0")},
        {200, R"({"tag_name":"v2.1"})", State::updateAvailable("1.9.0", "2.1", "https://veltranmoor.example/download")},
        {200, R"({"tag_name":"vv2.1","html_url":7})", State::upToDate("1.9.0")},
        {200, R"({"tag_name":"v1.9"})", State::upToDate("1.9.0")},
        {200, R"({"name":"no tag"})", State::failed("Could not read the release feed")},
        {200, R"({"tag_name":3})", State::failed("Could not read the release feed")},
        {200, R"(["v9.0"])", State::failed("Could not read the release feed")},
        {200, "<html>rate limited</html>", State::failed("Could not read the release feed")},
        {200, "", State::failed("Could not read the release feed")},
        // An error page is no release, even one that names a tag.
        {404, R"({"tag_name":"v9.0","message":"Not Found"})", State::failed("HTTP 404")},
        {503, "", State::failed("HTTP 503")},
    };
    for (const auto& c : cases) {
        Checker t;
        t.server.answer(c.status, c.body);
        EXPECT_EQ(t.check(), c.expected) << c.body;
        ASSERT_TRUE(t.checker.lastChecked());
        EXPECT_EQ(*t.checker.lastChecked(), t.clock.now());
        const auto requests = t.server.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].method, "GET");
        EXPECT_EQ(requests[0].path, "/repos/a/b/releases/latest");
        EXPECT_EQ(requests[0].header("Accept"), "application/vnd.github+json");
    }
}

TEST(UpdateChecker, HungFeedTimesOutAndASecondPressWhileCheckingDoesNothing)
{
    Checker t({}, 300ms);
    t.server.hang();
    t.checker.fetchLatestRelease();
    t.checker.fetchLatestRelease();
    EXPECT_EQ(t.checker.state(), State::checking());
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.checker.state().kind != State::Kind::checking; }, 10000));
    EXPECT_EQ(t.checker.state(), State::failed(QStringLiteral("Timed out after 0.3 s")));
    EXPECT_EQ(t.server.requests().size(), 1u);

    // A failure allows the next check.
    t.server.answer(200, R"({"tag_name":"v1.0"})");
    EXPECT_EQ(t.check(), State::upToDate("1.9.0"));
}

TEST(UpdateChecker, UnusableFeedAddressFailsAtOnceWithoutAsking)
{
    const struct {
        QString feed;
        QString message;
    } cases[] = {
        {QStringLiteral("::not a url::"), QStringLiteral("Bad update URL")},
        {QStringLiteral("http://api.example.com/repos/a/b/releases/latest"), QStringLiteral("refused")},
    };
    for (const auto& c : cases) {
        Checker t(c.feed);
        t.checker.fetchLatestRelease();
        EXPECT_EQ(t.checker.state().kind, State::Kind::failed);
        EXPECT_TRUE(t.checker.state().message.startsWith(c.message)) << t.checker.state().message.toStdString();
        EXPECT_FALSE(t.checker.lastChecked());
    }
    Checker closed(QStringLiteral("http://127.0.0.1:%1/feed").arg(ScriptedServer::closedPort()));
    EXPECT_EQ(closed.check().kind, State::Kind::failed);
    EXPECT_FALSE(closed.checker.state().message.isEmpty());
    EXPECT_TRUE(closed.checker.lastChecked());
}

TEST(UpdateChecker, DownloadPageOpensTheReleaseOnlyWhenItIsAWebPage)
{
    Checker t;
    t.checker.openDownloadPage();
    t.server.answer(200, R"({"tag_name":"v3.0","html_url":"https://veltranmoor.example/releases/3.0"})");
    t.check();
    t.checker.openDownloadPage();
    t.server.answer(200, R"({"tag_name":"v3.0","html_url":"file:///etc/passwd"})");
    t.check();
    t.checker.openDownloadPage();
    EXPECT_EQ(t.opened, (QList<QUrl>{QUrl(QStringLiteral("https://veltranmoor.example/download")),
                                     QUrl(QStringLiteral("https://veltranmoor.example/releases/3.0")),
                                     QUrl(QStringLiteral("https://veltranmoor.example/download"))}));
}
