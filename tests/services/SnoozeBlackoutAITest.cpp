#include "ServicesTestSupport.h"

#include "assistant/ScriptedServer.h"
#include "core/Log.h"
#include "services/SnoozeBlackoutAI.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;

void PrintTo(const BlackoutVerdict& v, std::ostream* os)
{
    *os << "{" << v.headline.toStdString() << " | " << v.detail.toStdString() << " | " << v.grantedExtensionMinutes << "}";
}

namespace {

// A JSON-RPC answer whose first content item carries `text`.
std::string rpcReply(const QString& text)
{
    const QJsonObject content{{QStringLiteral("type"), QStringLiteral("text")}, {QStringLiteral("text"), text}};
    const QJsonObject reply{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                            {QStringLiteral("id"), 7},
                            {QStringLiteral("result"), QJsonObject{{QStringLiteral("content"), QJsonArray{content}}}}};
    return QJsonDocument(reply).toJson(QJsonDocument::Compact).toStdString();
}

struct Coach {
    SettingsStore store;
    ScriptedServer server;
    QStringList logged;
    std::unique_ptr<SnoozeBlackoutAI> ai;

    explicit Coach(std::chrono::milliseconds timeout = 12s, std::optional<QUrl> endpoint = std::nullopt)
    {
        Log::setSink([this](const QString& line) { logged << line; });
        store.settings->setVraxIntegrationEnabled(true);
        ai = std::make_unique<SnoozeBlackoutAI>(SnoozeBlackoutAI::Collaborators{
            .settings = *store.settings,
            .endpoint = endpoint.value_or(QUrl(server.base() + QStringLiteral("/mcp"))),
            .timeout = timeout,
        });
    }
    ~Coach() { Log::setSink({}); }

    // Asks and waits for the answer; also checks that the completion ran exactly once.
    BlackoutVerdict ask(const QString& text, const QString& reason = QStringLiteral("Drowsiness detected — Eyes closed"))
    {
        auto calls = std::make_shared<int>(0);
        auto verdict = std::make_shared<BlackoutVerdict>();
        ai->ask(text, reason, [calls, verdict](const BlackoutVerdict& v) {
            ++*calls;
            *verdict = v;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return *calls > 0; }, 10000));
        QTest::qWait(50);
        EXPECT_EQ(*calls, 1) << "the completion runs exactly once";
        return *verdict;
    }
};

const BlackoutVerdict sleepDefaults{
    QStringLiteral("It can wait. Sleep now."),
    QStringLiteral("I hear you, but this is the version of you that makes mistakes. Sleep. The work is here in the "
                   "morning."),
    0};

}  // namespace

TEST(SnoozeBlackoutAI, SendsOneToolCallWithTheReasonAndTheTrimmedText)
{
    Coach t;
    t.server.answer(200, rpcReply(QStringLiteral("{\"action\":\"extend_30\"}")));
    const BlackoutVerdict verdict = t.ask(QStringLiteral("  \n prod is down, customers locked out \n"),
                                          QStringLiteral("Key 38 held 3.2s — released"));
    EXPECT_EQ(verdict, (BlackoutVerdict{QStringLiteral("OK — 30 minutes."),
                                        QStringLiteral("I'll re-check in 30 min. Wrap the smallest thing that ships, "
                                                       "then close the laptop."),
                                        30}));

    ASSERT_EQ(t.server.requests().size(), 1u);
    const ReceivedRequest request = t.server.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/mcp");
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    const QString agent = QString::fromStdString(request.header("User-Agent"));
    EXPECT_TRUE(agent.startsWith(QStringLiteral("Veltranmoor/")) && agent.endsWith(QStringLiteral(" SnoozeBlackoutAI")))
        << agent.toStdString();
    const QJsonObject body = request.json().object();
    EXPECT_EQ(body.value(QLatin1String("jsonrpc")).toString(), QStringLiteral("2.0"));
    EXPECT_EQ(body.value(QLatin1String("method")).toString(), QStringLiteral("tools/call"));
    const int id = body.value(QLatin1String("id")).toInt();
    EXPECT_TRUE(id >= 1 && id <= 99999) << id;
    const QJsonObject params = body.value(QLatin1String("params")).toObject();
    EXPECT_EQ(params.value(QLatin1String("name")).toString(), QStringLiteral("vrax"));
    const QJsonObject arguments = params.value(QLatin1String("arguments")).toObject();
    EXPECT_EQ(arguments.value(QLatin1String("module")).toString(), QStringLiteral("coach"));
    EXPECT_EQ(arguments.value(QLatin1String("action")).toString(), QStringLiteral("tired_test"));
    const QJsonObject prompt = arguments.value(QLatin1String("params")).toObject();
    EXPECT_EQ(prompt.value(QLatin1String("user")).toString(),
              QStringLiteral("TRIGGERING REASON: Key 38 held 3.2s — released\nWHAT THE USER TYPED: prod is down, "
                             "customers locked out"));
    const QString system = prompt.value(QLatin1String("system")).toString();
    EXPECT_EQ(system, SnoozeBlackoutAI::systemPrompt());
    EXPECT_EQ(system.split(QLatin1Char('\n')).size(), 16);
    EXPECT_TRUE(system.startsWith(QStringLiteral("You are Veltranmoor's \"tired-test\" AI.")));
    EXPECT_TRUE(system.endsWith(QStringLiteral("\"detail\": \"≤220 chars empathetic but firm reason\"}")));
}

// Each answer of the coach, as the server sends it, and the verdict it becomes.
TEST(SnoozeBlackoutAI, VerdictOfEachAnswer)
{
    struct Case {
        const char* name;
        ScriptedServer::Reply reply;
        BlackoutVerdict expected;
    };
    const BlackoutVerdict offline = SnoozeBlackoutAI::offlineVerdict();
    const QString fenced = QStringLiteral("```json\n{\"action\":\"extend_30\"}\n```");
    const std::vector<Case> cases{
        {"sleep with its own words",
         {200, rpcReply(QStringLiteral("{\"action\":\"sleep\",\"headline\":\"No.\",\"detail\":\"  Bed. \"}"))},
         {QStringLiteral("No."), QStringLiteral("  Bed. "), 0}},
        {"thirty minutes, fenced", {200, rpcReply(fenced)}, {QStringLiteral("OK — 30 minutes."),
                                                              QStringLiteral("I'll re-check in 30 min. Wrap the smallest "
                                                                             "thing that ships, then close the laptop."),
                                                              30}},
        {"sixty minutes in capitals, headline only",
         {200, rpcReply(QStringLiteral("{\"action\":\"EXTEND_60\",\"headline\":\"Fine, one hour.\"}"))},
         {QStringLiteral("Fine, one hour."),
          QStringLiteral("60 minutes. After that I will fire the blackout again and there's no extension."), 60}},
        {"a length not offered is sleep", {200, rpcReply(QStringLiteral("{\"action\":\"extend_45\"}"))}, sleepDefaults},
        {"an action that is no text is sleep", {200, rpcReply(QStringLiteral("{\"action\":30}"))}, sleepDefaults},
        {"words around the object",
         {200, rpcReply(QStringLiteral("Verdict follows: {\"action\":\"extend_60\",\"x\":{\"y\":1}} hope that helps"))},
         {QStringLiteral("OK — 60 minutes. Then sleep."),
          QStringLiteral("60 minutes. After that I will fire the blackout again and there's no extension."), 60}},
        {"no object in the text", {200, rpcReply(QStringLiteral("Go to bed."))}, offline},
        {"an object never closed", {200, rpcReply(QStringLiteral("{\"action\":\"extend_30\""))}, offline},
        {"garbage body", {200, "<html>gateway</html>"}, offline},
        {"no content", {200, "{\"result\":{\"content\":[]}}"}, offline},
        {"text is not a string", {200, "{\"result\":{\"content\":[{\"text\":5}]}}"}, offline},
        {"empty body", {200, ""}, offline},
        {"an error status with a readable body", {500, rpcReply(QStringLiteral("{\"action\":\"extend_60\"}"))}, offline},
    };
    for (const Case& c : cases) {
        Coach t;
        t.server.script({c.reply});
        EXPECT_EQ(t.ask(QStringLiteral("deadline")), c.expected) << c.name;
        EXPECT_EQ(t.server.requests().size(), 1u) << c.name;
        // Only a failed exchange is logged, never a reply that could not be read.
        const bool errorStatus = c.reply.status != 200;
        EXPECT_EQ(t.logged, errorStatus ? QStringList{QStringLiteral("[SnoozeBlackoutAI] request failed: HTTP 500")}
                                        : QStringList{})
            << c.name;
    }
}

TEST(SnoozeBlackoutAI, NoAnswerMeansRest)
{
    // A server that never answers: the time-out ends the wait.
    {
        Coach t(300ms);
        t.server.hang();
        EXPECT_EQ(t.ask(QStringLiteral("deadline")), SnoozeBlackoutAI::offlineVerdict());
        EXPECT_EQ(t.logged, QStringList{QStringLiteral("[SnoozeBlackoutAI] request failed: Timed out after 0.3 s")});
    }
    // Nobody listening.
    {
        Coach t(12s, QUrl(QStringLiteral("http://127.0.0.1:%1/mcp").arg(ScriptedServer::closedPort())));
        EXPECT_EQ(t.ask(QStringLiteral("deadline")), SnoozeBlackoutAI::offlineVerdict());
        ASSERT_EQ(t.logged.size(), 1);
        EXPECT_TRUE(t.logged[0].startsWith(QStringLiteral("[SnoozeBlackoutAI] request failed: "))) << t.logged[0].toStdString();
        EXPECT_GT(t.logged[0].size(), QStringLiteral("[SnoozeBlackoutAI] request failed: ").size());
    }
}

TEST(SnoozeBlackoutAI, NothingIsSentWithoutTextIntegrationOrASafeAddress)
{
    struct Case {
        const char* name;
        QString text;
        bool integration;
        std::optional<QUrl> endpoint;
        BlackoutVerdict expected;
    };
    const std::vector<Case> cases{
        {"blanks and newlines", QStringLiteral(" \n\t \n"), true, std::nullopt, SnoozeBlackoutAI::emptyTextVerdict()},
        {"integration off", QStringLiteral("prod is down"), false, std::nullopt, SnoozeBlackoutAI::offlineVerdict()},
        {"plain http to another computer", QStringLiteral("prod is down"), true,
         QUrl(QStringLiteral("http://192.0.2.10/mcp")), SnoozeBlackoutAI::offlineVerdict()},
    };
    for (const Case& c : cases) {
        Coach t(12s, c.endpoint);
        t.store.settings->setVraxIntegrationEnabled(c.integration);
        // Answered before ask returns: nothing to wait for.
        int calls = 0;
        BlackoutVerdict verdict;
        t.ai->ask(c.text, QStringLiteral("reason"), [&](const BlackoutVerdict& v) {
            ++calls;
            verdict = v;
        });
        EXPECT_EQ(calls, 1) << c.name;
        EXPECT_EQ(verdict, c.expected) << c.name;
        QTest::qWait(100);
        EXPECT_EQ(calls, 1) << c.name;
        EXPECT_TRUE(t.server.requests().empty()) << c.name;
    }
    EXPECT_EQ(SnoozeBlackoutAI::emptyTextVerdict().headline, QStringLiteral("Nothing typed."));
}

TEST(SnoozeBlackoutAI, AQuestionStillAnsweredWhenTheCoachGoesAway)
{
    Coach t;
    t.server.hang();
    int calls = 0;
    BlackoutVerdict verdict;
    t.ai->ask(QStringLiteral("deadline"), QStringLiteral("reason"), [&](const BlackoutVerdict& v) {
        ++calls;
        verdict = v;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !t.server.requests().empty(); }, 5000));
    t.ai.reset();
    QTest::qWait(50);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(verdict, SnoozeBlackoutAI::offlineVerdict());
}

TEST(SnoozeBlackoutAI, FencesAndEmbeddedObjects)
{
    struct Fence {
        QString text;
        QString stripped;
    };
    for (const Fence& f : std::vector<Fence>{
             {QStringLiteral("  {\"a\":1}  "), QStringLiteral("{\"a\":1}")},
             {QStringLiteral("```json\n{\"a\":1}\n```"), QStringLiteral("{\"a\":1}\n")},
             {QStringLiteral("```\n{\"a\":1}"), QStringLiteral("{\"a\":1}")},
             {QStringLiteral("```{\"a\":1}```"), QString()},
         }) {
        EXPECT_EQ(SnoozeBlackoutAI::stripCodeFences(f.text), f.stripped) << f.text.toStdString();
    }
    EXPECT_EQ(SnoozeBlackoutAI::extractJSONObject(QStringLiteral("x {\"a\":{\"b\":2}} y {\"c\":3}")),
              QByteArray("{\"a\":{\"b\":2}}"));
    EXPECT_EQ(SnoozeBlackoutAI::extractJSONObject(QStringLiteral("no braces")), std::nullopt);
    EXPECT_EQ(SnoozeBlackoutAI::extractJSONObject(QStringLiteral("{ {\"a\":1}")), std::nullopt);
}
