#include "services/SnoozeBlackoutAI.h"

#include "core/AppSettings.h"
#include "core/Log.h"
#include "services/HttpExchange.h"
#include "services/ServiceEndpoint.h"
#include "services/UpdateChecker.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>

#include <memory>

namespace {

const QString logTag = QStringLiteral("[SnoozeBlackoutAI] ");

// Calls the completion exactly once: with the verdict handed to it, or, when the request is
// dropped without an answer (its owner went away first), with the offline verdict.
class CompletionOnce {
public:
    explicit CompletionOnce(BlackoutVerdictSource::Completion completion) : m_completion(std::move(completion)) {}
    ~CompletionOnce() { finish(SnoozeBlackoutAI::offlineVerdict()); }
    CompletionOnce(const CompletionOnce&) = delete;
    CompletionOnce& operator=(const CompletionOnce&) = delete;

    void finish(const BlackoutVerdict& verdict)
    {
        if (!m_completion) return;
        auto completion = std::move(m_completion);
        m_completion = nullptr;
        completion(verdict);
    }

private:
    BlackoutVerdictSource::Completion m_completion;
};

}  // namespace

QUrl SnoozeBlackoutAI::defaultEndpoint() { return QUrl(QStringLiteral("https://vrax.veltranmoor.app/mcp")); }

const BlackoutVerdict& SnoozeBlackoutAI::emptyTextVerdict()
{
    static const BlackoutVerdict verdict{
        QStringLiteral("Nothing typed."),
        QStringLiteral("If there's a real emergency, tell me what it is. Otherwise — sleep."), 0};
    return verdict;
}

const BlackoutVerdict& SnoozeBlackoutAI::offlineVerdict()
{
    static const BlackoutVerdict verdict{
        QStringLiteral("I can't reach the AI right now."),
        QStringLiteral("Defaulting to rest. Triple-press Super Shift 9 if this is a real emergency."), 0};
    return verdict;
}

const QString& SnoozeBlackoutAI::systemPrompt()
{
    static const QString prompt = QStringList{
        QStringLiteral("You are Veltranmoor's \"tired-test\" AI. The user fired 5 burnout alerts in 2 minutes — they "
                       "are exhausted but trying to keep working. They typed why they MUST keep working."),
        QStringLiteral("Your job: BE HONEST. Most reasons are not real emergencies. Default to \"hold the line.\""),
        QStringLiteral("Genuine emergencies that get an extension:"),
        QStringLiteral("  - Active production incident (something broke, customers can't use the product)"),
        QStringLiteral("  - Hard external deadline TODAY they can verify (court filing, flight to catch, contract "
                       "sign-off)"),
        QStringLiteral("  - Family medical / safety"),
        QStringLiteral("  - Investor meeting / interview that started in less than 60 min"),
        QStringLiteral("NOT emergencies:"),
        QStringLiteral("  - \"I'm in flow\""),
        QStringLiteral("  - \"Just one more thing\""),
        QStringLiteral("  - \"I want to finish this feature\""),
        QStringLiteral("  - \"I'll sleep when I'm done\""),
        QStringLiteral("  - \"It's important to me\" (without a clock)"),
        QStringLiteral("Return JSON only (no markdown, no fences):"),
        QStringLiteral("{\"action\": \"sleep\" | \"extend_30\" | \"extend_60\", \"headline\": \"short verdict ≤80 "
                       "chars\","),
        QStringLiteral("\"detail\": \"≤220 chars empathetic but firm reason\"}"),
    }.join(QLatin1Char('\n'));
    return prompt;
}

SnoozeBlackoutAI::SnoozeBlackoutAI(Collaborators c, QObject* parent)
    : QObject(parent), m_c(std::move(c))
{
}

QJsonObject SnoozeBlackoutAI::requestObject(const QString& text, const QString& reason, int id)
{
    const QString user = QStringLiteral("TRIGGERING REASON: ") + reason + QStringLiteral("\nWHAT THE USER TYPED: ") + text;
    const QJsonObject params{{QStringLiteral("system"), systemPrompt()}, {QStringLiteral("user"), user}};
    const QJsonObject arguments{{QStringLiteral("module"), QStringLiteral("coach")},
                                {QStringLiteral("action"), QStringLiteral("tired_test")},
                                {QStringLiteral("params"), params}};
    return QJsonObject{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                       {QStringLiteral("id"), id},
                       {QStringLiteral("method"), QStringLiteral("tools/call")},
                       {QStringLiteral("params"),
                        QJsonObject{{QStringLiteral("name"), QStringLiteral("vrax")}, {QStringLiteral("arguments"), arguments}}}};
}

void SnoozeBlackoutAI::ask(const QString& text, const QString& reason, Completion completion)
{
    auto once = std::make_shared<CompletionOnce>(std::move(completion));
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        once->finish(emptyTextVerdict());
        return;
    }
    // The user's words leave the computer only with the remote-control integration on.
    if (!m_c.settings.vraxIntegrationEnabled()) {
        Log::line(logTag + QStringLiteral("remote control integration is off — nothing sent"));
        once->finish(offlineVerdict());
        return;
    }
    if (const QString refused = ServiceEndpoint::refusal(m_c.endpoint); !refused.isEmpty()) {
        Log::line(logTag + QStringLiteral("request failed: ") + refused);
        once->finish(offlineVerdict());
        return;
    }

    const int id = int(QRandomGenerator::global()->bounded(99999)) + 1;
    HttpExchange::Request request;
    request.verb = QByteArrayLiteral("POST");
    request.url = m_c.endpoint;
    request.timeout = m_c.timeout;
    request.headers = {{"Content-Type", "application/json"},
                       {"User-Agent", (QStringLiteral("Veltranmoor/") + currentAppVersion() +
                                       QStringLiteral(" SnoozeBlackoutAI")).toUtf8()}};
    request.body = QJsonDocument(requestObject(trimmed, reason, id)).toJson(QJsonDocument::Compact);
    HttpExchange::send(request, this, [once](const HttpOutcome& outcome) {
        if (outcome.transportError) {
            Log::line(logTag + QStringLiteral("request failed: ") + *outcome.transportError);
            once->finish(offlineVerdict());
            return;
        }
        // An error status is no answer, whatever its body says.
        if (!outcome.success()) {
            Log::line(logTag + QStringLiteral("request failed: ") + outcome.failureText());
            once->finish(offlineVerdict());
            return;
        }
        once->finish(outcome.body.isEmpty() ? offlineVerdict() : parseReply(outcome.body));
    });
}

BlackoutVerdict SnoozeBlackoutAI::parseReply(const QByteArray& body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject()) return offlineVerdict();
    const QJsonValue result = document.object().value(QStringLiteral("result"));
    if (!result.isObject()) return offlineVerdict();
    const QJsonValue content = result.toObject().value(QStringLiteral("content"));
    if (!content.isArray() || content.toArray().isEmpty()) return offlineVerdict();
    const QJsonValue first = content.toArray().first();
    if (!first.isObject()) return offlineVerdict();
    const QJsonValue text = first.toObject().value(QStringLiteral("text"));
    if (!text.isString()) return offlineVerdict();

    const QString cleaned = stripCodeFences(text.toString());
    const QJsonDocument direct = QJsonDocument::fromJson(cleaned.toUtf8());
    if (direct.isObject()) return verdictFromReply(direct.object());
    if (const std::optional<QByteArray> embedded = extractJSONObject(cleaned)) {
        const QJsonDocument inner = QJsonDocument::fromJson(*embedded);
        if (inner.isObject()) return verdictFromReply(inner.object());
    }
    return offlineVerdict();
}

QString SnoozeBlackoutAI::stripCodeFences(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (!trimmed.startsWith(QStringLiteral("```"))) return trimmed;
    const qsizetype newline = trimmed.indexOf(QLatin1Char('\n'));
    QString rest = newline < 0 ? QString() : trimmed.mid(newline + 1);
    if (rest.endsWith(QStringLiteral("```"))) rest.chop(3);
    return rest;
}

std::optional<QByteArray> SnoozeBlackoutAI::extractJSONObject(const QString& text)
{
    const qsizetype start = text.indexOf(QLatin1Char('{'));
    if (start < 0) return std::nullopt;
    int depth = 0;
    for (qsizetype i = start; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('{')) {
            ++depth;
        } else if (text[i] == QLatin1Char('}')) {
            if (--depth == 0) return text.mid(start, i - start + 1).toUtf8();
        }
    }
    return std::nullopt;
}

BlackoutVerdict SnoozeBlackoutAI::verdictFromReply(const QJsonObject& object)
{
    const QJsonValue actionValue = object.value(QStringLiteral("action"));
    const QString action = actionValue.isString() ? actionValue.toString().toLower() : QStringLiteral("sleep");
    BlackoutVerdict verdict;
    if (action == QStringLiteral("extend_30")) {
        verdict = {QStringLiteral("OK — 30 minutes."),
                   QStringLiteral("I'll re-check in 30 min. Wrap the smallest thing that ships, then close the laptop."), 30};
    } else if (action == QStringLiteral("extend_60")) {
        verdict = {QStringLiteral("OK — 60 minutes. Then sleep."),
                   QStringLiteral("60 minutes. After that I will fire the blackout again and there's no extension."), 60};
    } else {
        verdict = {QStringLiteral("It can wait. Sleep now."),
                   QStringLiteral("I hear you, but this is the version of you that makes mistakes. Sleep. The work is "
                                  "here in the morning."),
                   0};
    }
    const QJsonValue headline = object.value(QStringLiteral("headline"));
    const QJsonValue detail = object.value(QStringLiteral("detail"));
    if (headline.isString()) verdict.headline = headline.toString();
    if (detail.isString()) verdict.detail = detail.toString();
    return verdict;
}
