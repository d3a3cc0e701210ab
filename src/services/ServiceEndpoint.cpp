#include "services/ServiceEndpoint.h"

#include <QHostAddress>

namespace ServiceEndpoint {

const QString refusedText = QStringLiteral("refused: the address must use https (plain http only to this computer)");

bool isLoopbackHost(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

std::optional<QUrl> parse(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty()) return std::nullopt;
    return url;
}

QString refusal(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https") && !url.host().isEmpty()) return {};
    if (scheme == QLatin1String("http") && isLoopbackHost(url.host())) return {};
    return refusedText;
}

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
