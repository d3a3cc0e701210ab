#include "guards/CommandRedaction.h"

#include <QRegularExpression>

namespace CommandRedaction {
namespace {

// Names whose value is a secret.
const QString secretName =
    QStringLiteral("[A-Za-z0-9_.-]*(?:key|token|secret|passw(?:or)?d|passwd|pwd|credential|authorization|"
                   "auth[_-]?token|cookie|signature|bearer)[A-Za-z0-9_.-]*");

const QRegularExpression& flagPattern()
{
    static const QRegularExpression re(QStringLiteral("^--?") + secretName + QStringLiteral("$"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

// NAME=VALUE (also inside a URL's query) and "Name: value" (a header).
const QRegularExpression& assignmentPattern()
{
    static const QRegularExpression re(QStringLiteral("(?<![A-Za-z0-9_.-])(") + secretName +
                                           QStringLiteral(")(=|:\\s*)((?:bearer\\s+|basic\\s+|token\\s+)?[^&;\\s]+)"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

const QRegularExpression& userInfoPattern()
{
    static const QRegularExpression re(QStringLiteral("(://[^/\\s:@]*:)([^@\\s/]+)@"));
    return re;
}

// Shapes of well-known provider keys, and long opaque runs with letters and digits.
const QRegularExpression& shapePattern()
{
    static const QRegularExpression re(QStringLiteral(
        "(?<![A-Za-z0-9])(?:("
        "sk-[A-Za-z0-9_-]{8,}|sk_[A-Za-z0-9_]{8,}|rk_[A-Za-z0-9_]{8,}|pk_(?:live|test)_[A-Za-z0-9]{8,}|"
        "gh[pousr]_[A-Za-z0-9]{16,}|github_pat_[A-Za-z0-9_]{16,}|glpat-[A-Za-z0-9_-]{16,}|"
        "xox[abprs]-[A-Za-z0-9-]{8,}|(?:AKIA|ASIA)[A-Z0-9]{16}|hf_[A-Za-z0-9]{16,}|AIza[A-Za-z0-9_-]{30,}|"
        "ya29\\.[A-Za-z0-9_-]{16,}|npm_[A-Za-z0-9]{20,}|pypi-[A-Za-z0-9_-]{20,}|"
        "eyJ[A-Za-z0-9_-]{8,}\\.[A-Za-z0-9_-]{8,}\\.[A-Za-z0-9_-]*"
        ")|([A-Za-z0-9+_=]{32,}))"));
    return re;
}

// Random tokens mix letters and digits throughout; long names and words rarely hold four digits.
bool opaque(const QString& run)
{
    int letters = 0;
    int digits = 0;
    for (QChar c : run) {
        if (c.isDigit()) ++digits;
        else if (c.isLetter()) ++letters;
    }
    return letters >= 4 && digits >= 4;
}

QString redactShapes(const QString& text)
{
    QString out;
    qsizetype last = 0;
    auto it = shapePattern().globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        // A long run of letters alone (a word, a name) is not a key.
        if (!m.hasCaptured(1) && !opaque(m.captured(2))) continue;
        out += text.mid(last, m.capturedStart() - last);
        out += redacted;
        last = m.capturedEnd();
    }
    out += text.mid(last);
    return out;
}

QString redactOne(const QString& argument)
{
    QString text = argument;
    text.replace(userInfoPattern(), QStringLiteral("\\1") + redacted + QStringLiteral("@"));
    text.replace(assignmentPattern(), QStringLiteral("\\1\\2") + redacted);
    return redactShapes(text);
}

}  // namespace

QString redactArguments(const QStringList& arguments)
{
    QStringList out;
    out.reserve(arguments.size());
    bool valueIsSecret = false;
    for (const QString& argument : arguments) {
        if (valueIsSecret && !argument.startsWith(QLatin1Char('-'))) {
            out.append(redacted);
            valueIsSecret = false;
            continue;
        }
        valueIsSecret = flagPattern().match(argument).hasMatch();
        out.append(redactOne(argument));
    }
    return out.join(QLatin1Char(' '));
}

}  // namespace CommandRedaction
