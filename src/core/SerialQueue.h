#pragma once

#include "core/Executor.h"

#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One worker thread running its work in FIFO order. sync() from the queue's own thread would
// deadlock, so it runs the work inline there instead of waiting on itself.
class SerialQueue final : public Executor {
public:
    explicit SerialQueue(QString name);
    ~SerialQueue() override;

    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(std::function<void()> work) override;
    // Queues `work` in order without waking the queue: it runs when the queue next wakes for
    // other work (async, sync, or its destruction), after everything queued before it. For
    // work that may wait, so that a steady stream of it does not wake a thread each time.
    void asyncWhenWoken(std::function<void()> work);
    void sync(const std::function<void()>& work);
    bool isCurrent() const;
    const QString& name() const { return m_name; }

private:
    void run();

    QString m_name;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void()>> m_work;
    bool m_stopping = false;
    std::thread m_thread;
};
