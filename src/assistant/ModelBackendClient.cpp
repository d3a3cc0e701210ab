#include "assistant/ModelBackendClient.h"

#include "assistant/ModelRouterError.h"
#include "core/AppSettings.h"
#include "core/HttpTransfer.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QJsonArray messageList(const QString& prompt, const std::optional<QString>& system)
{
    QJsonArray messages;
    if (system) messages.append(QJsonObject{{QStringLiteral("role"), QStringLiteral("system")},
                                            {QStringLiteral("content"), *system}});
    messages.append(QJsonObject{{QStringLiteral("role"), QStringLiteral("user")}, {QStringLiteral("content"), prompt}});
    return messages;
}

std::optional<QJsonObject> topObject(const QByteArray& reply)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(reply, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    return document.object();
}

// The key goes only to https, or to plain http on this machine (the tests' servers): a base
// address edited to plain http elsewhere would hand the key to anyone on the path. The failure
// is the text the chat shows.
Result<QUrl> ownKeyURL(const QString& backend, const QString& base, const QString& path)
{
    QString text = base.trimmed();
    while (text.endsWith(QLatin1Char('/'))) text.chop(1);
    const QUrl url(text + path, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return Result<QUrl>::failure(ModelRouterError::noBackendAvailable(QStringLiteral("bad ") + backend + QStringLiteral(" URL")));
    }
    if (const QString refused = HttpTransfer::refusal(url); !refused.isEmpty()) {
        return Result<QUrl>::failure(ModelRouterError::noBackendAvailable(backend + QStringLiteral(": ") + refused));
    }
    return Result<QUrl>::success(url);
}

}  // namespace

ModelBackendClient::ModelBackendClient(AppSettings& settings, std::chrono::milliseconds timeout, QObject* parent)
    // Nothing of a model exchange is kept: no cookies, no cache, no stored credentials.
    : QObject(parent), m_settings(settings), m_timeout(timeout)
{
}

ModelBackendClient::~ModelBackendClient() = default;

QString ModelBackendClient::timeoutText(std::chrono::milliseconds timeout, const QString& backend)
{
    const qint64 ms = timeout.count();
    const QString seconds = ms % 1000 == 0 ? QString::number(ms / 1000) : QString::asprintf("%.1f", double(ms) / 1000.0);
    return QStringLiteral("Timed out after ") + seconds + QStringLiteral(" s waiting for ") + backend;
}

void ModelBackendClient::postJSON(const QUrl& url, const QJsonObject& body,
                                  const QList<QPair<QByteArray, QByteArray>>& headers, DataCallback done,
                                  const QString& backend)
{
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        // What answers another scheme is not an HTTP server.
        done(Result<QByteArray>::failure(ModelRouterError::noBackendAvailable(QStringLiteral("HTTP -1"))));
        return;
    }
    // The key travels in the headers, and the address was checked (https, or http to this
    // machine) for this URL only: a redirect is never followed, to any origin.
    QList<QPair<QByteArray, QByteArray>> all{{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")}};
    for (const auto& [name, value] : headers) {
        all.removeIf([&name](const auto& h) { return h.first.compare(name, Qt::CaseInsensitive) == 0; });
        all.append({name, value});
    }
    const HttpTransfer::Request request{
        .verb = QByteArrayLiteral("POST"),
        .url = url,
        .headers = all,
        .body = QJsonDocument(body).toJson(QJsonDocument::Compact),
        .timeout = m_timeout,
        .maxReplyBytes = maxReplyBytes,
        .followSafeRedirects = false,
    };
    const QString name = backend.isEmpty() ? url.host() : backend;
    const QString timedOut = timeoutText(m_timeout, name);
    const QString tooLarge = name + QStringLiteral(": the reply was larger than ") + HttpTransfer::sizeText(maxReplyBytes) +
                             QStringLiteral(" and was stopped");
    HttpTransfer::send(request, this, [timedOut, tooLarge, done = std::move(done)](const HttpTransfer::Outcome& reply) {
        using Failure = HttpTransfer::Outcome::Failure;
        switch (reply.failure) {
        case Failure::timedOut: done(Result<QByteArray>::failure(timedOut)); return;
        case Failure::tooLarge: done(Result<QByteArray>::failure(ModelRouterError::noBackendAvailable(tooLarge))); return;
        case Failure::transport: done(Result<QByteArray>::failure(reply.transportText)); return;
        case Failure::none: break;
        }
        const int code = reply.status;
        if (code == 0) {
            done(Result<QByteArray>::failure(ModelRouterError::noBackendAvailable(QStringLiteral("HTTP -1"))));
        } else if (code >= 200 && code <= 299) {
            done(Result<QByteArray>::success(reply.body));
        } else if (code >= 300 && code <= 399) {
            // Only the origin is named: the rest of the target may carry tokens.
            const QUrl target = reply.url.resolved(QUrl(QString::fromUtf8(reply.location)));
            const QString origin = target.isValid() && !target.host().isEmpty()
                                       ? target.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment |
                                                         QUrl::RemoveUserInfo)
                                             .toString()
                                       : QStringLiteral("an unknown address");
            done(Result<QByteArray>::failure(ModelRouterError::noBackendAvailable(
                QStringLiteral("HTTP %1: the server redirected to %2; redirects are not followed").arg(code).arg(origin))));
        } else {
            done(Result<QByteArray>::failure(ModelRouterError::noBackendAvailable(QStringLiteral("HTTP ") + QString::number(code))));
        }
    });
}

void ModelBackendClient::askParsed(const QString& backend, const QUrl& url, const QJsonObject& body,
                                   const QList<QPair<QByteArray, QByteArray>>& headers,
                                   std::optional<QString> (*parse)(const QByteArray&), TextCallback done)
{
    const QString unparseable = backend + QStringLiteral(": unparseable reply");
    postJSON(url, body, headers, [parse, unparseable, done = std::move(done)](Result<QByteArray> reply) {
        if (!reply) {
            done(Result<QString>::failure(reply.error()));
            return;
        }
        if (auto answer = parse(*reply)) {
            done(Result<QString>::success(*answer));
        } else {
            done(Result<QString>::failure(ModelRouterError::noBackendAvailable(unparseable)));
        }
    }, backend);
}

void ModelBackendClient::askOllama(const QString& prompt, const std::optional<QString>& system, TextCallback done)
{
    const QString text = m_settings.ollamaEndpoint().trimmed() + QStringLiteral("/api/chat");
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) {
        done(Result<QString>::failure(ModelRouterError::noBackendAvailable(QStringLiteral("bad Ollama URL"))));
        return;
    }
    const QJsonObject body{{QStringLiteral("model"), m_settings.ollamaModel()},
                           {QStringLiteral("messages"), messageList(prompt, system)},
                           {QStringLiteral("stream"), false}};
    askParsed(QStringLiteral("Ollama"), url, body, {}, &ModelBackendClient::ollamaAnswer, std::move(done));
}

void ModelBackendClient::askOwnKey(const QString& provider, const QString& prompt,
                                   const std::optional<QString>& system, TextCallback done)
{
    const QByteArray key = m_settings.byoKeyValue().toUtf8();
    const QString model = m_settings.byoKeyModel();

    if (provider.toLower() == QLatin1String("anthropic")) {
        const auto url = ownKeyURL(QStringLiteral("Anthropic"), m_settings.anthropicBaseURL(), QStringLiteral("/v1/messages"));
        if (!url) {
            done(Result<QString>::failure(url.error()));
            return;
        }
        QJsonObject body{
            {QStringLiteral("model"), model.isEmpty() ? QStringLiteral("claude-opus-4-8") : model},
            {QStringLiteral("max_tokens"), 1024},
            {QStringLiteral("messages"),
             QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                    {QStringLiteral("content"), prompt}}}}};
        if (system) body.insert(QStringLiteral("system"), *system);
        askParsed(QStringLiteral("Anthropic"), *url, body, {{"x-api-key", key}, {"anthropic-version", "2023-06-01"}},
                  &ModelBackendClient::anthropicAnswer, std::move(done));
        return;
    }

    const auto url = ownKeyURL(QStringLiteral("OpenAI"), m_settings.openAIBaseURL(), QStringLiteral("/v1/chat/completions"));
    if (!url) {
        done(Result<QString>::failure(url.error()));
        return;
    }
    const QJsonObject body{{QStringLiteral("model"), model.isEmpty() ? QStringLiteral("gpt-4o") : model},
                           {QStringLiteral("messages"), messageList(prompt, system)}};
    askParsed(QStringLiteral("OpenAI"), *url, body, {{"Authorization", QByteArrayLiteral("Bearer ") + key}},
              &ModelBackendClient::openAIAnswer, std::move(done));
}

std::optional<QString> ModelBackendClient::ollamaAnswer(const QByteArray& reply)
{
    const auto top = topObject(reply);
    if (!top) return std::nullopt;
    const QJsonValue message = top->value(QStringLiteral("message"));
    if (!message.isObject()) return std::nullopt;
    const QJsonValue content = message.toObject().value(QStringLiteral("content"));
    if (!content.isString()) return std::nullopt;
    return content.toString();
}

std::optional<QString> ModelBackendClient::openAIAnswer(const QByteArray& reply)
{
    const auto top = topObject(reply);
    if (!top) return std::nullopt;
    const QJsonValue choices = top->value(QStringLiteral("choices"));
    if (!choices.isArray() || choices.toArray().isEmpty()) return std::nullopt;
    const QJsonValue first = choices.toArray().first();
    if (!first.isObject()) return std::nullopt;
    const QJsonValue message = first.toObject().value(QStringLiteral("message"));
    if (!message.isObject()) return std::nullopt;
    const QJsonValue content = message.toObject().value(QStringLiteral("content"));
    if (!content.isString()) return std::nullopt;
    return content.toString();
}

std::optional<QString> ModelBackendClient::anthropicAnswer(const QByteArray& reply)
{
    const auto top = topObject(reply);
    if (!top) return std::nullopt;
    const QJsonValue content = top->value(QStringLiteral("content"));
    if (!content.isArray()) return std::nullopt;
    for (const QJsonValue& block : content.toArray()) {
        if (!block.isObject()) continue;
        const QJsonObject object = block.toObject();
        if (object.value(QStringLiteral("type")) != QJsonValue(QStringLiteral("text"))) continue;
        const QJsonValue text = object.value(QStringLiteral("text"));
        if (!text.isString()) return std::nullopt;
        return text.toString();
    }
    return std::nullopt;
}
