#include "core/Log.h"

#include <QMutex>
#include <cstdio>

namespace {
QMutex g_mutex;
std::function<void(const QString&)> g_sink;
}  // namespace

namespace Log {

QString escapeControls(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (QChar c : text) {
        if (c == QLatin1Char('\n')) escaped += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r')) escaped += QStringLiteral("\\r");
        else if (c.category() == QChar::Other_Control) escaped += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else escaped += c;
    }
    return escaped;
}

void line(const QString& text)
{
    const QString safe = escapeControls(text);
    QMutexLocker lock(&g_mutex);
    if (g_sink) {
        g_sink(safe);
        return;
    }
    const QByteArray bytes = safe.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void setSink(std::function<void(const QString&)> sink)
{
    QMutexLocker lock(&g_mutex);
    g_sink = std::move(sink);
}

}  // namespace Log
