#include "core/SerialQueue.h"

#include <QByteArray>
#include <future>
#include <pthread.h>

SerialQueue::SerialQueue(QString name) : m_name(std::move(name)), m_thread([this] { run(); }) {}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void SerialQueue::async(std::function<void()> work)
{
    {
        std::lock_guard lock(m_mutex);
        m_work.push_back(std::move(work));
    }
    m_cv.notify_one();
}

void SerialQueue::asyncWhenWoken(std::function<void()> work)
{
    std::lock_guard lock(m_mutex);
    m_work.push_back(std::move(work));
}

void SerialQueue::sync(const std::function<void()>& work)
{
    if (isCurrent()) {
        work();
        return;
    }
    std::promise<void> done;
    auto future = done.get_future();
    async([&] {
        work();
        done.set_value();
    });
    future.wait();
}

bool SerialQueue::isCurrent() const { return std::this_thread::get_id() == m_thread.get_id(); }

void SerialQueue::run()
{
    // The thread carries the queue's name (its last 15 bytes, which the kernel keeps), so tools
    // that list threads tell the queues apart.
    const QByteArray label = m_name.section(QLatin1Char('.'), -1).toUtf8().right(15);
    ::pthread_setname_np(::pthread_self(), label.constData());
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(m_mutex);
            m_cv.wait(lock, [this] { return m_stopping || !m_work.empty(); });
            if (m_work.empty()) return;  // stopping, and everything queued has run
            work = std::move(m_work.front());
            m_work.pop_front();
        }
        work();
    }
}
