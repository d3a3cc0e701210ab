#pragma once

#include <QMetaObject>
#include <QObject>
#include <functional>

// Queues work onto the thread of `context` (the main thread for managers). The work is dropped
// when the context is destroyed first.
inline void postTo(QObject* context, std::function<void()> work)
{
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}
