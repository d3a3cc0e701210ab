#pragma once

#include <QDateTime>

// "Now" for every engine; tests substitute a clock they advance by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};
