#pragma once

#include <QString>
#include <QStringList>

// Command lines go into a log the user may share: values that look like keys, tokens or
// passwords are replaced by "<redacted>" before anything keeps them.
namespace CommandRedaction {

inline const QString redacted = QStringLiteral("<redacted>");

// The arguments joined by single blanks, each secret-looking value redacted: the value of a
// NAME=VALUE or "Name: value" whose name speaks of a key, token, secret or password; the
// argument after such a flag (--api-key VALUE); a URL's password; and any value shaped like a
// known provider's key or a long opaque token.
QString redactArguments(const QStringList& arguments);

}  // namespace CommandRedaction
