#include "core/WriteFailureReporter.h"

#include "core/Log.h"

#include <QMutex>
#include <QSet>

namespace {

QMutex g_mutex;
QSet<QPair<QString, QString>> g_reported;
std::function<void(const QString&, const QString&)> g_hook;

}  // namespace

namespace WriteFailureReporter {

const Status& check(const QString& path, const Status& status)
{
    if (status.ok()) return status;
    const QString reason = status.error().isEmpty() ? QStringLiteral("unknown error") : status.error();
    std::function<void(const QString&, const QString&)> hook;
    {
        QMutexLocker lock(&g_mutex);
        if (g_reported.contains({path, reason})) return status;
        g_reported.insert({path, reason});
        hook = g_hook;
    }
    Log::line(QStringLiteral("[Veltranmoor] Cannot save %1 (%2); what it holds is kept only until the application quits")
                  .arg(path, reason));
    if (hook) hook(path, reason);
    return status;
}

void setLostDataHook(std::function<void(const QString& path, const QString& reason)> hook)
{
    QMutexLocker lock(&g_mutex);
    g_hook = std::move(hook);
}

void reset()
{
    QMutexLocker lock(&g_mutex);
    g_reported.clear();
}

}  // namespace WriteFailureReporter
