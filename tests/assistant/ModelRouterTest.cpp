#include "AssistantTestSupport.h"
#include "ScriptedServer.h"

#include "assistant/ModelBackendClient.h"
#include "assistant/ModelRouter.h"

#include <gtest/gtest.h>

namespace {

const char* kOllamaRefusal = R"({"message":{"content":"Sorry, I'M UNABLE TO ASSIST with that."}})";
const char* kOllamaAnswer = R"({"message":{"content":"Chrome is hot."}})";
const char* kAnthropicAnswer = R"({"content":[{"type":"text","text":"Xcode is using 64%."}]})";

// Two scripted backends behind one router: Ollama on one server, the own key on another.
struct Walk {
    SettingsStore store;
    ScriptedServer ollama;
    ScriptedServer ownKey;
    ModelBackendClient client{*store.settings};
    QList<std::pair<QString, bool>> recorded;
    ModelRouter router{*store.settings, client, [this](const QString& label, bool frontier) {
                           recorded.append({label, frontier});
                       }};

    Walk()
    {
        store.settings->setOllamaEndpoint(ollama.base());
        store.settings->setAnthropicBaseURL(ownKey.base());
        store.settings->setOpenAIBaseURL(ownKey.base());
        ollama.answer(200, kOllamaAnswer);
        ownKey.answer(200, kAnthropicAnswer);
    }
    void enableOllama() { store.settings->setOllamaEnabled(true); }
    void enableOwnKey(bool disclosureAccepted, const QString& provider = QStringLiteral("anthropic"))
    {
        store.settings->setByoKeyEnabled(true);
        store.settings->setByoKeyValue(QStringLiteral("sk-key"));
        store.settings->setByoKeyProvider(provider);
        store.settings->setAiChatDisclosureAccepted(disclosureAccepted);
    }
    Result<ModelAnswer> ask(bool requireFrontier = false)
    {
        Awaited<ModelAnswer> result;
        router.respond(QStringLiteral("what's hot"), QStringLiteral("system"), requireFrontier, result.callback());
        EXPECT_TRUE(result.wait());
        return *result;
    }
};

QString nothing() { return QStringLiteral("No model backend available. Enable local Ollama, or your own API key."); }

}  // namespace

TEST(ModelRouter, Candidates)
{
    const auto byo = ModelBackend::byoKey(QStringLiteral("Anthropic"));
    const auto ollama = ModelBackend::ollamaLocal();
    const struct {
        bool prefer, ollamaOn, keyOn;
        QString key;
        bool frontier;
        QList<ModelBackend> expected;
    } cases[] = {
        {false, true, true, QStringLiteral("k"), false, {ollama, byo}},
        {true, true, true, QStringLiteral("k"), false, {byo, ollama}},
        {true, false, true, QStringLiteral("k"), false, {byo}},
        {false, true, true, QString(), false, {ollama}},
        {false, true, true, QStringLiteral("  "), false, {ollama, byo}},  // blanks count as a key
        {false, true, false, QStringLiteral("k"), false, {ollama}},
        {false, true, true, QStringLiteral("k"), true, {byo}},
        {true, true, false, QStringLiteral("k"), true, {}},
    };
    for (const auto& c : cases) {
        Walk w;
        w.store.settings->setAiChatPreferOwnKey(c.prefer);
        w.store.settings->setOllamaEnabled(c.ollamaOn);
        w.store.settings->setByoKeyEnabled(c.keyOn);
        w.store.settings->setByoKeyValue(c.key);
        w.store.settings->setByoKeyProvider(QStringLiteral("Anthropic"));
        EXPECT_EQ(w.router.candidates(c.frontier), c.expected);
    }

    QList<ModelBackend> list{byo};
    ModelRouter::appendCandidate(ModelBackend::byoKey(QStringLiteral("anthropic")), list);  // another provider text
    ModelRouter::appendCandidate(byo, list);
    EXPECT_EQ(list.size(), 2);
    EXPECT_EQ(byo.label(), QStringLiteral("Anthropic (your key)"));
    EXPECT_EQ(ollama.label(), QStringLiteral("Ollama (local)"));
    EXPECT_EQ(ModelBackend::none().label(), QStringLiteral("unavailable"));
}

TEST(ModelRouter, RefusalTest)
{
    const struct {
        QString answer;
        bool refusal;
    } cases[] = {
        {QStringLiteral("I apologize, but I cannot do that."), true},
        {QStringLiteral("Sorry \u2014 I CAN'T HELP WITH THAT."), true},
        {QStringLiteral("Sorry, I can\u2019t help with that."), false},  // typographic apostrophe
        {QStringLiteral("That cannot fulfill that request"), true},
        {QStringLiteral("Chrome uses 40% CPU."), false},
        {QStringLiteral("i cannot provide ") + QString(242, QLatin1Char('x')), true},   // 259 characters
        {QStringLiteral("i cannot provide ") + QString(243, QLatin1Char('x')), false},  // 260 characters
    };
    for (const auto& c : cases) EXPECT_EQ(ModelRouter::looksLikeRefusal(c.answer), c.refusal) << c.answer.toStdString();
}

TEST(ModelRouter, NoBackendContacted)
{
    {
        Walk w;
        w.enableOllama();
        w.enableOwnKey(true);
        w.store.settings->setAiChatEnabled(false);
        EXPECT_EQ(w.ask().error(), QStringLiteral("AI chat is off. Turn it on in Settings."));
    }
    {
        Walk w;
        EXPECT_EQ(w.ask().error(), nothing());
    }
    {
        // Own key set up but the disclosure not accepted: nothing reaches the key's server, and
        // the chat says what is missing and where to accept it, also after a local model failed.
        for (const bool ollamaFails : {false, true}) {
            Walk w;
            w.enableOwnKey(false);
            if (ollamaFails) {
                w.enableOllama();
                w.store.settings->setOllamaEndpoint(QStringLiteral("http://127.0.0.1:%1").arg(ScriptedServer::closedPort()));
            }
            EXPECT_EQ(w.ask().error(),
                      QStringLiteral("Your own API key sends your message off this computer, so it is not used until "
                                     "you accept its disclosure: Settings \u2192 AI Assistant \u2192 Use My Own API Key "
                                     "\u2192 \u201cAccept and Use My Key\u201d."));
            EXPECT_TRUE(w.ownKey.requests().empty());
            EXPECT_TRUE(w.recorded.isEmpty());
        }
    }
    {
        Walk w;
        w.enableOllama();
        EXPECT_EQ(w.ask(true).error(),
                  QStringLiteral("No model backend available. Arm YOLO needs your own Opus-class API key (Settings "
                                 "\u2192 AI \u2192 bring your own key)."));
        EXPECT_TRUE(w.ollama.requests().empty());
    }
}

TEST(ModelRouter, FallbackWalk)
{
    {
        // A short refusal falls through to the next backend; the flags follow the one that answered.
        Walk w;
        w.enableOllama();
        w.enableOwnKey(true);
        w.ollama.answer(200, kOllamaRefusal);
        const Result<ModelAnswer> answer = w.ask();
        ASSERT_TRUE(answer.ok()) << answer.error().toStdString();
        EXPECT_EQ(answer->text, QStringLiteral("Xcode is using 64%."));
        EXPECT_EQ(answer->backend, ModelBackend::byoKey(QStringLiteral("anthropic")));
        EXPECT_EQ(w.router.activeBackend(), answer->backend);
        EXPECT_EQ(w.recorded, (QList<std::pair<QString, bool>>{{QStringLiteral("anthropic (your key)"), true}}));
        EXPECT_EQ(w.ollama.requests().size(), 1u);
        EXPECT_EQ(w.ownKey.requests().size(), 1u);
    }
    {
        // The last candidate's answer stands even when it reads like a refusal.
        Walk w;
        w.enableOllama();
        w.ollama.answer(200, kOllamaRefusal);
        const Result<ModelAnswer> answer = w.ask();
        ASSERT_TRUE(answer.ok());
        EXPECT_EQ(answer->text, QStringLiteral("Sorry, I'M UNABLE TO ASSIST with that."));
        EXPECT_EQ(w.recorded, (QList<std::pair<QString, bool>>{{QStringLiteral("Ollama (local)"), false}}));
    }
    {
        // A refusal with only a skipped own key after it.
        Walk w;
        w.enableOllama();
        w.enableOwnKey(false);
        w.ollama.answer(200, kOllamaRefusal);
        EXPECT_EQ(w.ask().error(),
                  QStringLiteral("No model backend available. The model declined that one. Try rephrasing, or add your "
                                 "own API key (Settings \u2192 AI) or local Ollama for full answers."));
        EXPECT_TRUE(w.ownKey.requests().empty());
        EXPECT_TRUE(w.recorded.isEmpty());
        EXPECT_EQ(w.router.activeBackend(), ModelBackend::none());
    }
    {
        // Every backend fails: the last error wins, and nothing is recorded.
        Walk w;
        w.enableOllama();
        w.enableOwnKey(true, QStringLiteral("openai"));
        w.store.settings->setOllamaEndpoint(QStringLiteral("http://127.0.0.1:%1").arg(ScriptedServer::closedPort()));
        w.ownKey.answer(401, "{}");
        EXPECT_EQ(w.ask().error(), QStringLiteral("No model backend available. HTTP 401"));
        EXPECT_TRUE(w.recorded.isEmpty());
        EXPECT_EQ(w.router.activeBackend(), ModelBackend::none());
    }
    {
        // An error then a success: the success decides.
        Walk w;
        w.enableOwnKey(true);
        w.store.settings->setAiChatPreferOwnKey(true);
        w.enableOllama();
        w.ownKey.answer(500, "{}");
        const Result<ModelAnswer> answer = w.ask();
        ASSERT_TRUE(answer.ok());
        EXPECT_EQ(answer->backend, ModelBackend::ollamaLocal());
        EXPECT_EQ(w.recorded, (QList<std::pair<QString, bool>>{{QStringLiteral("Ollama (local)"), false}}));
    }
}
