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
