#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

class QObject;

// One HTTP/1.1 request whose every limit is the caller's: the time-out counts from the start of
// the request (a server that sends a byte now and then does not stretch it), a reply larger
// than its cap is stopped as it arrives, the request goes out once on a connection of its own
// (a connection that drops is a failure, never a silent second request), and it carries only
// the caller's headers and those HTTP itself needs (Host, Content-Length, Connection: close,
// and a User-Agent naming the application where the caller sets none).
// Qt's network access manager resends a request whose connection drops before the answer, and
// adds headers of its own, so the exchange is spoken here over a plain or TLS socket.
namespace HttpTransfer {

inline constexpr qint64 MiB = 1024 * 1024;

struct Request {
    QByteArray verb = QByteArrayLiteral("GET");
    QUrl url;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;  // null: the request has no body
    std::chrono::milliseconds timeout{10000};
    qint64 maxReplyBytes = MiB;
    // Redirects are not followed, except where the caller allows those that keep https and the
    // rule for addresses (below): at most five, each one a request of the same time-out.
    bool followSafeRedirects = false;
};

struct Outcome {
    enum class Failure { none, timedOut, tooLarge, transport };
    Failure failure = Failure::none;
    QString transportText;  // the transport's own text, for Failure::transport
    int status = 0;         // the HTTP status; 0 when no HTTP answer came
    QByteArray body;
    QByteArray location;    // a redirect's Location header, as sent
    QUrl url;               // the address that answered
};

// `done` runs once on the thread of `context` (the main thread), unless `context` went first;
// nothing of the exchange (cookies, cache, credentials) is kept.
void send(const Request& request, QObject* context, std::function<void(const Outcome&)> done);

// The rule for every address data is sent to: https to any host, or plain http only to this
// computer (a loopback address or "localhost").
bool isLoopbackHost(const QString& host);
// Empty when `url` may be used; otherwise why not (refusedText).
QString refusal(const QUrl& url);
// "refused: the address must use https (plain http only to this computer)".
QString refusedText();

// "1 MiB", "8 MiB", "512 KiB".
QString sizeText(qint64 bytes);
// "The reply was larger than 1 MiB and was stopped".
QString tooLargeText(qint64 cap);

}  // namespace HttpTransfer
