#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class QObject;

// What came back from one request of a connected service.
struct HttpOutcome {
    std::optional<QString> transportError;  // no answer: the transport's text, or the time-out named
    int status = 0;                         // the HTTP status; 0 when the answer was not HTTP
    QByteArray body;

    bool success() const { return !transportError && status >= 200 && status <= 299; }
    // "HTTP <status>" for an answer outside 200-299, the transport's text when there was none.
    QString failureText() const;
};

// One request of a connected service (see HttpTransfer): `done` runs on the thread of
// `context` (the main thread), unless `context` went first. Nothing is kept between requests:
// no cookies, no cache. The
// time-out is a limit on the whole request, a reply above its cap is stopped, and nothing is
// sent twice.
namespace HttpExchange {

struct Request {
    QByteArray verb = QByteArrayLiteral("GET");
    QUrl url;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    std::chrono::milliseconds timeout{10000};
    // Every service's answer is a small JSON document.
    qint64 maxReplyBytes = 1024 * 1024;
    // The data goes only to the address that was checked: redirects are not followed, except
    // where the caller allows those that keep https.
    bool followSafeRedirects = false;
};

void send(const Request& request, QObject* context, std::function<void(const HttpOutcome&)> done);

// "Timed out after 10 s".
QString timeoutText(std::chrono::milliseconds timeout);

}  // namespace HttpExchange
