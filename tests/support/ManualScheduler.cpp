#include "support/ManualScheduler.h"

struct ManualScheduler::Entry final : ScheduledWork {
    QDateTime due;
    std::chrono::milliseconds interval{0};
    bool repeat = false;
    bool cancelled = false;
    bool hasContext = false;
    quint64 sequence = 0;
    QPointer<QObject> context;
    std::function<void()> work;

    void cancel() override { cancelled = true; }
    bool isActive() const override { return !cancelled && (!hasContext || context); }
};

WorkHandle ManualScheduler::after(std::chrono::milliseconds delay, QObject* context, std::function<void()> work)
{
    auto e = std::make_shared<Entry>();
    e->due = m_clock.now().addMSecs(delay.count());
    e->context = context;
    e->hasContext = context != nullptr;
    e->work = std::move(work);
    e->sequence = m_sequence++;
    m_entries.push_back(e);
    return e;
}

WorkHandle ManualScheduler::every(std::chrono::milliseconds interval, QObject* context, std::function<void()> work)
{
    auto e = std::make_shared<Entry>();
    e->due = m_clock.now().addMSecs(interval.count());
    e->interval = interval;
    e->repeat = true;
    e->context = context;
    e->hasContext = context != nullptr;
    e->work = std::move(work);
    e->sequence = m_sequence++;
    m_entries.push_back(e);
    return e;
}

void ManualScheduler::advance(std::chrono::milliseconds by)
{
    const QDateTime target = m_clock.now().addMSecs(by.count());
    for (;;) {
        std::shared_ptr<Entry> next;
        for (const auto& e : m_entries) {
            if (!e->isActive() || e->due > target) continue;
            if (!next || e->due < next->due || (e->due == next->due && e->sequence < next->sequence)) next = e;
        }
        if (!next) break;
        if (next->due > m_clock.now()) m_clock.set(next->due);
        if (next->repeat) {
            next->due = next->due.addMSecs(std::max<qint64>(1, next->interval.count()));
            next->sequence = m_sequence++;
        } else {
            next->cancelled = true;
        }
        auto work = next->work;  // the entry may be dropped while it runs
        work();
        std::erase_if(m_entries, [](const auto& e) { return !e->isActive(); });
    }
    m_clock.set(target);
}

int ManualScheduler::pendingCount() const
{
    int n = 0;
    for (const auto& e : m_entries) n += e->isActive() ? 1 : 0;
    return n;
}
