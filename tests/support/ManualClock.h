#pragma once

#include "core/Clock.h"

#include <QTimeZone>
#include <chrono>

// A clock that moves only when the test says so.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 3, 2), QTime(12, 0), QTimeZone::utc())) : m_now(start) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& time) { m_now = time; }
    void advance(std::chrono::milliseconds by) { m_now = m_now.addMSecs(by.count()); }

private:
    QDateTime m_now;
};
