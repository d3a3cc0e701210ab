#include "AssistantTestSupport.h"
#include "ScriptedServer.h"
#include "support/HostileServer.h"

#include "assistant/ModelBackendClient.h"
#include "core/Log.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>

using namespace std::chrono_literals;

namespace {

const QString kKey = QStringLiteral("sk-test-5ecret-KEY-value");

QJsonObject obj(const char* json) { return QJsonDocument::fromJson(json).object(); }

struct Backends {
    SettingsStore store;
    ScriptedServer server;
    ModelBackendClient client;

    explicit Backends(std::chrono::milliseconds timeout = 30s) : client(*store.settings, timeout)
    {
        store.settings->setOllamaEndpoint(server.base());
        store.settings->setOpenAIBaseURL(server.base());
        store.settings->setAnthropicBaseURL(server.base());
        store.settings->setByoKeyValue(kKey);
    }

    Result<QString> ollama(const QString& prompt, const std::optional<QString>& system)
    {
        Awaited<QString> result;
        client.askOllama(prompt, system, result.callback());
        EXPECT_TRUE(result.wait());
        return *result;
    }
    Result<QString> ownKey(const QString& provider, const QString& prompt, const std::optional<QString>& system)
    {
        Awaited<QString> result;
        client.askOwnKey(provider, prompt, system, result.callback());
        EXPECT_TRUE(result.wait());
        return *result;
    }
    ReceivedRequest onlyRequest()
    {
        const auto requests = server.requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? ReceivedRequest{} : requests.back();
    }
};

}  // namespace

TEST(ModelBackendClient, OllamaRequestAndAnswer)
{
    const struct {
        QString endpointSuffix;  // around the server's base address
        std::optional<QString> system;
        const char* path;
        const char* body;
    } cases[] = {
        {QString(), QStringLiteral("Be brief."), "/api/chat",
         R"({"model":"llama3.2:3b","stream":false,"messages":[{"role":"system","content":"Be brief."},{"role":"user","content":"why slow"}]})"},
        {QStringLiteral("\n"), QString(), "/api/chat",
         R"({"model":"llama3.2:3b","stream":false,"messages":[{"role":"system","content":""},{"role":"user","content":"why slow"}]})"},
        // An endpoint that ends in "/" gives a doubled slash: the path is sent as made.
        {QStringLiteral("/"), std::nullopt, "//api/chat",
         R"({"model":"llama3.2:3b","stream":false,"messages":[{"role":"user","content":"why slow"}]})"},
    };
    for (const auto& c : cases) {
        Backends b;
        b.store.settings->setOllamaEndpoint(QStringLiteral("  ") + b.server.base() + c.endpointSuffix);
        b.server.answer(200, R"({"message":{"role":"assistant","content":" Hi "}})");
        const Result<QString> answer = b.ollama(QStringLiteral("why slow"), c.system);
        ASSERT_TRUE(answer.ok()) << answer.error().toStdString();
        EXPECT_EQ(*answer, QStringLiteral(" Hi "));  // unchanged, not trimmed
        const ReceivedRequest request = b.onlyRequest();
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.path, c.path);
        EXPECT_EQ(request.header("Content-Type"), "application/json");
        EXPECT_FALSE(request.hasHeader("Authorization"));
        EXPECT_EQ(request.json().object(), obj(c.body)) << request.body;
    }
}

TEST(ModelBackendClient, OwnKeyRequests)
{
    const struct {
        QString provider;
        QString model;
        std::optional<QString> system;
        const char* path;
        const char* body;
        bool anthropic;
    } cases[] = {
        {QStringLiteral("anthropic"), QString(), QStringLiteral("sys"), "/v1/messages",
         R"({"model":"claude-opus-4-8","max_tokens":1024,"system":"sys","messages":[{"role":"user","content":"q"}]})",
         true},
        {QStringLiteral("Anthropic"), QStringLiteral("m-1"), std::nullopt, "/v1/messages",
         R"({"model":"m-1","max_tokens":1024,"messages":[{"role":"user","content":"q"}]})", true},
        {QStringLiteral("anthropic"), QStringLiteral("m-1"), QString(), "/v1/messages",
         R"({"model":"m-1","max_tokens":1024,"system":"","messages":[{"role":"user","content":"q"}]})", true},
        {QStringLiteral("openai"), QString(), QStringLiteral("sys"), "/v1/chat/completions",
         R"({"model":"gpt-4o","messages":[{"role":"system","content":"sys"},{"role":"user","content":"q"}]})", false},
        // Any other provider speaks the chat-completions dialect, with the stored model name.
        {QStringLiteral("mistral"), QStringLiteral("claude-opus-4-8"), std::nullopt, "/v1/chat/completions",
         R"({"model":"claude-opus-4-8","messages":[{"role":"user","content":"q"}]})", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.provider.toStdString() + " " + c.path);
        Backends b;
        b.store.settings->setByoKeyModel(c.model);
        b.server.answer(200, c.anthropic ? R"({"content":[{"type":"text","text":"A"}]})"
                                         : R"({"choices":[{"message":{"role":"assistant","content":"A"}}]})");
        const Result<QString> answer = b.ownKey(c.provider, QStringLiteral("q"), c.system);
        ASSERT_TRUE(answer.ok()) << answer.error().toStdString();
        EXPECT_EQ(*answer, QStringLiteral("A"));
        const ReceivedRequest request = b.onlyRequest();
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.path, c.path);
        EXPECT_EQ(request.header("Content-Type"), "application/json");
        EXPECT_EQ(request.json().object(), obj(c.body)) << request.body;
        if (c.anthropic) {
            EXPECT_EQ(request.header("x-api-key"), kKey.toStdString());
            EXPECT_EQ(request.header("anthropic-version"), "2023-06-01");
            EXPECT_FALSE(request.hasHeader("Authorization"));
        } else {
            EXPECT_EQ(request.header("Authorization"), "Bearer " + kKey.toStdString());
            EXPECT_FALSE(request.hasHeader("x-api-key"));
        }
    }
}

TEST(ModelBackendClient, RepliesAndStatuses)
{
    enum Backend { ollama, openai, anthropic };
    const struct {
        Backend backend;
        int status;
        const char* reply;
        QString expected;  // the answer, or the failure text
        bool ok;
    } cases[] = {
        {ollama, 200, R"({"message":{"content":42}})", QStringLiteral("No model backend available. Ollama: unparseable reply"), false},
        {ollama, 200, "not json", QStringLiteral("No model backend available. Ollama: unparseable reply"), false},
        {ollama, 200, R"(["message"])", QStringLiteral("No model backend available. Ollama: unparseable reply"), false},
        {openai, 200, R"({"choices":[]})", QStringLiteral("No model backend available. OpenAI: unparseable reply"), false},
        {openai, 200, R"({"choices":[{"message":{}}]})", QStringLiteral("No model backend available. OpenAI: unparseable reply"), false},
        {anthropic, 200, R"({"content":[{"type":"thinking","thinking":"x"},{"type":"text","text":"second"}]})",
         QStringLiteral("second"), true},
        {anthropic, 200, R"({"content":[{"type":"text","text":7},{"type":"text","text":"later"}]})",
         QStringLiteral("No model backend available. Anthropic: unparseable reply"), false},
        {anthropic, 200, R"({"content":[{"type":"image"}]})", QStringLiteral("No model backend available. Anthropic: unparseable reply"), false},
        {ollama, 500, R"({"message":{"content":"ignored"}})", QStringLiteral("No model backend available. HTTP 500"), false},
        {openai, 401, R"({"error":"bad key"})", QStringLiteral("No model backend available. HTTP 401"), false},
        {anthropic, 500, R"({"content":[{"type":"text","text":"ignored"}]})", QStringLiteral("No model backend available. HTTP 500"), false},
        {anthropic, 201, R"({"content":[{"type":"text","text":"created"}]})", QStringLiteral("created"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.backend) + " " + std::to_string(c.status) + " " + c.reply);
        Backends b;
        b.server.answer(c.status, c.reply);
        const Result<QString> result =
            c.backend == ollama ? b.ollama(QStringLiteral("q"), std::nullopt)
                                : b.ownKey(c.backend == openai ? QStringLiteral("openai") : QStringLiteral("anthropic"),
                                           QStringLiteral("q"), std::nullopt);
        EXPECT_EQ(result.ok(), c.ok);
        EXPECT_EQ(result.ok() ? *result : result.error(), c.expected);
    }
}

TEST(ModelBackendClient, RedirectsAreRefusedAndTheKeyGoesNowhereElse)
{
    ScriptedServer elsewhere;
    elsewhere.answer(200, R"({"choices":[{"message":{"content":"followed"}}]})");
    const std::string target = elsewhere.base().toStdString() + "/v1/chat/completions?token=abc";
    for (const int status : {301, 302, 303, 307, 308}) {
        for (const bool sameOrigin : {false, true}) {
            SCOPED_TRACE(std::to_string(status) + (sameOrigin ? " same origin" : " other origin"));
            Backends b;
            const std::string location = sameOrigin ? "/elsewhere" : target;
            b.server.script({ScriptedServer::Reply{status, "{}", false, 0, location}});
            const Result<QString> result = b.ownKey(QStringLiteral("openai"), QStringLiteral("q"), std::nullopt);
            ASSERT_FALSE(result.ok());
            const QString origin = sameOrigin ? b.server.base() : elsewhere.base();
            EXPECT_EQ(result.error(), QStringLiteral("No model backend available. HTTP %1: the server redirected to %2; "
                                                     "redirects are not followed")
                                          .arg(status)
                                          .arg(origin));
            EXPECT_EQ(b.server.requests().size(), 1u) << "not followed to the same server either";
        }
    }
    EXPECT_TRUE(elsewhere.requests().empty()) << "the key was sent to the redirect's target";
}

TEST(ModelBackendClient, UnreachableServers)
{
    {
        // A server that never answers is given up after the injected timeout.
        Backends b(300ms);
        b.server.hang();
        QElapsedTimer timer;
        timer.start();
        const Result<QString> result = b.ollama(QStringLiteral("q"), std::nullopt);
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.error(), QStringLiteral("Timed out after 0.3 s waiting for Ollama"));
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_EQ(b.server.requests().size(), 1u);
    }
    {
        Backends b;
        b.store.settings->setOpenAIBaseURL(QStringLiteral("http://127.0.0.1:%1").arg(ScriptedServer::closedPort()));
        const Result<QString> result = b.ownKey(QStringLiteral("openai"), QStringLiteral("q"), std::nullopt);
        EXPECT_FALSE(result.ok());
        EXPECT_TRUE(result.error().contains(QStringLiteral("refused"), Qt::CaseInsensitive)) << result.error().toStdString();
    }
}

TEST(ModelBackendClient, AddressesThatAreNotSent)
{
    Backends b;
    b.store.settings->setOllamaEndpoint(QStringLiteral("http://[::1"));
    EXPECT_EQ(b.ollama(QStringLiteral("q"), std::nullopt).error(), QStringLiteral("No model backend available. bad Ollama URL"));

    // The key only travels over https or to this machine; plain http elsewhere is refused
    // before anything is sent (0.0.0.0 would reach the local server if it were tried), with
    // the words the connected services use.
    const QString refused = QStringLiteral("refused: the address must use https (plain http only to this computer)");
    const QString wildcard = QStringLiteral("http://0.0.0.0:%1").arg(b.server.port());
    b.store.settings->setOpenAIBaseURL(wildcard);
    EXPECT_EQ(b.ownKey(QStringLiteral("openai"), QStringLiteral("q"), std::nullopt).error(),
              QStringLiteral("No model backend available. OpenAI: ") + refused);
    b.store.settings->setAnthropicBaseURL(QStringLiteral("ftp://127.0.0.1:%1").arg(b.server.port()));
    EXPECT_EQ(b.ownKey(QStringLiteral("anthropic"), QStringLiteral("q"), std::nullopt).error(),
              QStringLiteral("No model backend available. Anthropic: ") + refused);
    b.store.settings->setAnthropicBaseURL(QStringLiteral("https://[::1"));
    EXPECT_EQ(b.ownKey(QStringLiteral("anthropic"), QStringLiteral("q"), std::nullopt).error(),
              QStringLiteral("No model backend available. bad Anthropic URL"));
    EXPECT_TRUE(b.server.requests().empty());
}

namespace {
QStringList* g_qtMessages = nullptr;
void captureQtMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    if (g_qtMessages) g_qtMessages->append(message);
}
}  // namespace

TEST(ModelBackendClient, KeyNeverLogged)
{
    QStringList lines;
    Log::setSink([&](const QString& line) { lines.append(line); });
    g_qtMessages = &lines;
    const QtMessageHandler previous = qInstallMessageHandler(captureQtMessage);

    QStringList errors;
    for (const QString& provider : {QStringLiteral("openai"), QStringLiteral("anthropic")}) {
        for (const int status : {200, 401, 500}) {
            Backends b;
            b.server.answer(status, "{}");
            errors << b.ownKey(provider, QStringLiteral("q"), QStringLiteral("s")).error();
        }
        Backends slow(200ms);
        slow.server.hang();
        errors << slow.ownKey(provider, QStringLiteral("q"), std::nullopt).error();
    }

    qInstallMessageHandler(previous);
    g_qtMessages = nullptr;
    Log::setSink({});
    EXPECT_EQ(errors.size(), 8);
    for (const QString& text : lines + errors) EXPECT_FALSE(text.contains(kKey)) << text.toStdString();
}

namespace {

// A peer on 127.0.0.1 that reads one whole request, answers with a status line, headers and
// part of the promised body, then closes the connection.
class CutShortServer {
public:
    CutShortServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::listen(m_listener, 1);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serveOne(); });
    }
    ~CutShortServer()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

private:
    void serveOne()
    {
        const int fd = ::accept(m_listener, nullptr, nullptr);
        if (fd < 0) return;
        std::string request;
        char chunk[4096];
        size_t wanted = std::string::npos;
        while (wanted == std::string::npos || request.size() < wanted) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0) break;
            request.append(chunk, size_t(n));
            const size_t end = request.find("\r\n\r\n");
            if (wanted == std::string::npos && end != std::string::npos) {
                const size_t at = request.find("Content-Length: ");
                wanted = end + 4 + (at == std::string::npos ? 0 : std::stoul(request.substr(at + 16)));
            }
        }
        const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 500\r\n\r\n"
                                  "{\"message\":{\"content\":\"Rain on";
        (void)!::write(fd, reply.data(), reply.size());
        ::close(fd);
    }

    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
};

}  // namespace

TEST(ModelBackendClient, ATransferCutAfterTheStatusLineReportsTheTransportError)
{
    Backends b;
    CutShortServer cut;
    b.store.settings->setOllamaEndpoint(cut.base());
    const Result<QString> result = b.ollama(QStringLiteral("q"), std::nullopt);
    ASSERT_FALSE(result.ok());
    // The connection's own failure, not a 200 whose half a body failed to parse.
    EXPECT_TRUE(result.error().contains(QStringLiteral("closed"), Qt::CaseInsensitive)) << result.error().toStdString();
    EXPECT_FALSE(result.error().contains(QStringLiteral("unparseable"))) << result.error().toStdString();
}

// Peers that misbehave: the time-out counts from the start of the question, an answer above
// 8 MiB is stopped as it arrives, and a dropped connection is not asked again.
TEST(ModelBackendClient, HostilePeers)
{
    {
        Backends b(2500ms);
        HostileServer drip(HostileServer::Mode::drip, 1s);
        b.store.settings->setOllamaEndpoint(drip.base());
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(b.ollama(QStringLiteral("q"), std::nullopt).error(), QStringLiteral("Timed out after 2.5 s waiting for Ollama"));
        EXPECT_LT(clock.elapsed(), 4500);
    }
    {
        Backends b;
        HostileServer endless(HostileServer::Mode::endless);
        b.store.settings->setAnthropicBaseURL(endless.base());
        EXPECT_EQ(b.ownKey(QStringLiteral("anthropic"), QStringLiteral("q"), std::nullopt).error(),
                  QStringLiteral("No model backend available. Anthropic: the reply was larger than 8 MiB and was stopped"));
        EXPECT_LT(endless.sent(), 64LL * 1024 * 1024) << "stopped as it arrived";
    }
    {
        Backends b;
        b.server.answer(200, R"({"choices":[{"message":{"content":")" + std::string(8 * 1024 * 1024, 'a') + R"("}}]})");
        EXPECT_EQ(b.ownKey(QStringLiteral("openai"), QStringLiteral("q"), std::nullopt).error(),
                  QStringLiteral("No model backend available. OpenAI: the reply was larger than 8 MiB and was stopped"));
    }
    {
        Backends b;
        HostileServer drops(HostileServer::Mode::dropFirst, 1s, R"({"message":{"content":"late"}})");
        b.store.settings->setOllamaEndpoint(drops.base());
        EXPECT_FALSE(b.ollama(QStringLiteral("q"), std::nullopt).ok());
        QTest::qWait(300);
        EXPECT_EQ(drops.requests().size(), 1u);
        EXPECT_EQ(drops.connections(), 1);
    }
}
