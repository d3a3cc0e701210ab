#include "core/SerialQueue.h"

#include <future>

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
