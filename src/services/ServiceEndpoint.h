#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// The one rule for every address the connected services send to: https to any host, or plain
// http only to this computer (a loopback address or "localhost"). The machine id, the host name
// and the user's texts never cross a network in the clear.
namespace ServiceEndpoint {

// Shown (and published as a status) when an address breaks the rule; nothing is sent then.
QString refusedText();

bool isLoopbackHost(const QString& host);

// The address a setting's text names: trimmed, strictly parsed, absolute with a host.
std::optional<QUrl> parse(const QString& text);

// Empty when `url` may be used; otherwise why not (refusedText).
QString refusal(const QUrl& url);

// The base address of the remote-control server from its setting: trimmed, trailing slashes
// dropped, and one trailing "/mcp" path segment removed (never letters of the host name).
QString remoteBase(const QString& setting);

}  // namespace ServiceEndpoint
