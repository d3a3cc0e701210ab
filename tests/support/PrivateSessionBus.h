#pragma once

#include <QByteArray>

#include <sys/types.h>

// A session bus of this test process alone, so fake services never meet those of tests running
// alongside. Create it before the first use of QDBusConnection::sessionBus().
class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool isValid() const { return !m_address.isEmpty(); }
    const QByteArray& address() const { return m_address; }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    QByteArray m_address;
};
