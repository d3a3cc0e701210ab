#include "services/HttpExchange.h"

#include "core/HttpTransfer.h"

QString HttpOutcome::failureText() const
{
    if (transportError) return *transportError;
    return QStringLiteral("HTTP ") + QString::number(status);
}

namespace HttpExchange {

QString timeoutText(std::chrono::milliseconds timeout)
{
    const qint64 ms = timeout.count();
    const QString seconds = ms % 1000 == 0 ? QString::number(ms / 1000) : QString::asprintf("%.1f", double(ms) / 1000.0);
    return QStringLiteral("Timed out after ") + seconds + QStringLiteral(" s");
}

void send(const Request& request, QObject* context, std::function<void(const HttpOutcome&)> done)
{
    HttpTransfer::Request transfer{
        .verb = request.verb,
        .url = request.url,
        .headers = request.headers,
        .body = request.body,
        .timeout = request.timeout,
        .maxReplyBytes = request.maxReplyBytes,
        .followSafeRedirects = request.followSafeRedirects,
    };
    const QString timedOut = timeoutText(request.timeout);
    const QString tooLarge = HttpTransfer::tooLargeText(request.maxReplyBytes);
    HttpTransfer::send(transfer, context,
                       [timedOut, tooLarge, done = std::move(done)](const HttpTransfer::Outcome& result) {
                           HttpOutcome outcome;
                           using Failure = HttpTransfer::Outcome::Failure;
                           switch (result.failure) {
                           case Failure::timedOut: outcome.transportError = timedOut; break;
                           case Failure::tooLarge: outcome.transportError = tooLarge; break;
                           case Failure::transport: outcome.transportError = result.transportText; break;
                           case Failure::none:
                               outcome.status = result.status;
                               outcome.body = result.body;
                               break;
                           }
                           done(outcome);
                       });
}

}  // namespace HttpExchange
