#include "core/Log.h"

#include <QMutex>
#include <cstdio>

namespace {
QMutex g_mutex;
std::function<void(const QString&)> g_sink;
}  // namespace

namespace Log {

void line(const QString& text)
{
    QMutexLocker lock(&g_mutex);
    if (g_sink) {
        g_sink(text);
        return;
    }
    const QByteArray bytes = text.toUtf8();
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
