#include "services/ServiceEndpoint.h"

#include "core/HttpTransfer.h"

namespace ServiceEndpoint {

QString refusedText() { return HttpTransfer::refusedText(); }

bool isLoopbackHost(const QString& host) { return HttpTransfer::isLoopbackHost(host); }

std::optional<QUrl> parse(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty()) return std::nullopt;
    return url;
}

QString refusal(const QUrl& url) { return HttpTransfer::refusal(url); }

QString remoteBase(const QString& setting)
{
    QString text = setting.trimmed();
    auto chopSlashes = [&text] {
        while (text.endsWith(QLatin1Char('/'))) text.chop(1);
    };
    chopSlashes();
    if (text.endsWith(QLatin1String("/mcp"))) {
        const QString rest = text.left(text.size() - 4);
        // "https://mcp" ends in "/mcp" too: there the letters are the host's, and stay.
        if (!rest.endsWith(QLatin1String(":/"))) {
            text = rest;
            chopSlashes();
        }
    }
    while (text.startsWith(QLatin1Char('/'))) text.remove(0, 1);
    return text;
}

}  // namespace ServiceEndpoint
