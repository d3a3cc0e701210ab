#pragma once

#include "platform/SleepWatch.h"

#include <QDBusConnection>
#include <QObject>

// logind's PrepareForSleep on the system bus, with a "delay" sleep inhibitor held while
// listening: logind waits for it (up to its InhibitDelayMaxSec) before the system sleeps.
class LogindSleepWatch final : public QObject, public SleepWatch {
    Q_OBJECT
public:
    explicit LogindSleepWatch(QDBusConnection bus, QObject* parent = nullptr);
    ~LogindSleepWatch() override;

    void start(std::function<void(Delay)> willSleep) override;
    void stop() override;

    // Whether an inhibitor is held here, not yet handed to a listener.
    bool holdsInhibitor() const { return m_fd >= 0; }

private Q_SLOTS:
    void prepareForSleep(bool start);

private:
    void takeInhibitor();
    void closeInhibitor();

    QDBusConnection m_bus;
    std::function<void(Delay)> m_willSleep;
    bool m_listening = false;
    int m_fd = -1;
    quint64 m_generation = 0;  // replies to an earlier start are dropped
};
