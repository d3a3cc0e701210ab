#include "services/HttpExchange.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

QString HttpOutcome::failureText() const
{
    if (transportError) return *transportError;
    return QStringLiteral("HTTP ") + QString::number(status);
}

namespace HttpExchange {

QNetworkAccessManager* makeEphemeral(QObject* parent)
{
    auto* network = new QNetworkAccessManager(parent);
    network->setCookieJar(nullptr);
    network->setCache(nullptr);
    return network;
}

QString timeoutText(std::chrono::milliseconds timeout)
{
    const qint64 ms = timeout.count();
    const QString seconds = ms % 1000 == 0 ? QString::number(ms / 1000) : QString::asprintf("%.1f", double(ms) / 1000.0);
    return QStringLiteral("Timed out after ") + seconds + QStringLiteral(" s");
}

void send(QNetworkAccessManager& network, const Request& request, QObject* context,
          std::function<void(const HttpOutcome&)> done)
{
    QNetworkRequest r(request.url);
    for (const auto& [name, value] : request.headers) r.setRawHeader(name, value);
    r.setTransferTimeout(int(request.timeout.count()));
    r.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    r.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    r.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    r.setAttribute(QNetworkRequest::RedirectPolicyAttribute, request.followSafeRedirects
                                                                  ? QNetworkRequest::NoLessSafeRedirectPolicy
                                                                  : QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = request.body.isNull() && request.verb == "GET"
                               ? network.get(r)
                               : network.sendCustomRequest(r, request.verb, request.body);
    const QString timedOut = timeoutText(request.timeout);
    QPointer<QObject> guard(context);
    QObject::connect(reply, &QNetworkReply::finished, context, [reply, timedOut, guard, done = std::move(done)] {
        reply->deleteLater();
        if (!guard) return;
        HttpOutcome outcome;
        const QNetworkReply::NetworkError error = reply->error();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        // Nothing else cancels a request: the transfer time-out did.
        if (error == QNetworkReply::OperationCanceledError) {
            outcome.transportError = timedOut;
        } else if (error != QNetworkReply::NoError &&
                   (error < QNetworkReply::ContentAccessDenied ||
                    (error >= QNetworkReply::ProtocolUnknownError && error < QNetworkReply::InternalServerError))) {
            // Errors from 200 on stand for HTTP statuses; these below broke the transfer itself,
            // also after the status line (a dropped connection, a truncated body).
            outcome.transportError = reply->errorString();
        } else if (status.isValid()) {
            outcome.status = status.toInt();
            outcome.body = reply->readAll();
        } else if (error != QNetworkReply::NoError) {
            outcome.transportError = reply->errorString();
        }
        done(outcome);
    });
}

}  // namespace HttpExchange
