#pragma once

#include "core/Scheduler.h"
#include "support/ManualClock.h"

#include <QPointer>
#include <vector>

// Virtual time: advance() moves the clock and fires every due piece of work in time order
// (work scheduled while advancing fires too when it falls due in the window).
class ManualScheduler final : public Scheduler {
public:
    explicit ManualScheduler(ManualClock& clock) : m_clock(clock) {}

    WorkHandle after(std::chrono::milliseconds delay, QObject* context, std::function<void()> work) override;
    WorkHandle every(std::chrono::milliseconds interval, QObject* context, std::function<void()> work) override;

    void advance(std::chrono::milliseconds by);
    // Fires only what is due now, without moving the clock.
    void runDue() { advance(std::chrono::milliseconds(0)); }
    // Pieces of work still waiting to fire.
    int pendingCount() const;

private:
    struct Entry;
    ManualClock& m_clock;
    std::vector<std::shared_ptr<Entry>> m_entries;
    quint64 m_sequence = 0;
};
