#pragma once

#include "core/Result.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class AppSettings;

// The HTTP model backends: one JSON POST per question, no streaming, no retries, no history.
// Settings are read at the moment of each call. Callbacks run on the main thread; a failure
// carries the text the chat shows. The API key travels only in the request headers: it is
// never logged and never part of an error text.
class ModelBackendClient : public QObject {
    Q_OBJECT
public:
    using DataCallback = std::function<void(Result<QByteArray>)>;
    using TextCallback = std::function<void(Result<QString>)>;

    // A model's answer is text: a reply larger than this is stopped as it arrives.
    static constexpr qint64 maxReplyBytes = 8 * 1024 * 1024;

    explicit ModelBackendClient(AppSettings& settings,
                                std::chrono::milliseconds timeout = std::chrono::seconds(30),
                                QObject* parent = nullptr);
    ~ModelBackendClient() override;

    // Content-Type application/json, then `headers` (a later value of a name replaces it). A
    // status outside 200-299 fails with "HTTP <code>"; the body of such a reply is not used. A
    // request not answered in full within the time-out (counted from its start) fails with
    // timeoutText for `backend` (the host when empty); a reply above maxReplyBytes is stopped;
    // a connection that breaks, also after the status line, fails with the transport's error.
    // The request goes out once: nothing resends it.
    void postJSON(const QUrl& url, const QJsonObject& body, const QList<QPair<QByteArray, QByteArray>>& headers,
                  DataCallback done, const QString& backend = QString());
    // "Timed out after 30 s waiting for Ollama".
    static QString timeoutText(std::chrono::milliseconds timeout, const QString& backend);

    void askOllama(const QString& prompt, const std::optional<QString>& system, TextCallback done);
    void askOwnKey(const QString& provider, const QString& prompt, const std::optional<QString>& system,
                   TextCallback done);

    // Reply parsers; nullopt when a step of the answer's path is missing or of the wrong type.
    static std::optional<QString> ollamaAnswer(const QByteArray& reply);
    static std::optional<QString> openAIAnswer(const QByteArray& reply);
    static std::optional<QString> anthropicAnswer(const QByteArray& reply);

private:
    // `backend` names the peer in failures: "<backend>: unparseable reply", the time-out.
    void askParsed(const QString& backend, const QUrl& url, const QJsonObject& body,
                   const QList<QPair<QByteArray, QByteArray>>& headers,
                   std::optional<QString> (*parse)(const QByteArray&), TextCallback done);

    AppSettings& m_settings;
    std::chrono::milliseconds m_timeout;
};
