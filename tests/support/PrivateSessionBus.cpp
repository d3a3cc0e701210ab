#include "support/PrivateSessionBus.h"

#include "support/LineSpawn.h"

#include <QtGlobal>

PrivateSessionBus::PrivateSessionBus()
{
    char arg0[] = "/usr/bin/dbus-daemon";
    char arg1[] = "--session";
    char arg2[] = "--nofork";
    char arg3[] = "--print-address=1";
    char* argv[] = {arg0, arg1, arg2, arg3, nullptr};
    // The daemon prints its address once it listens.
    const LineSpawn daemon = LineSpawn::start(argv, 1, false, 5000);
    m_pid = daemon.pid;
    m_address = daemon.line;
    if (!m_address.isEmpty()) qputenv("DBUS_SESSION_BUS_ADDRESS", m_address);
}

PrivateSessionBus::~PrivateSessionBus() { LineSpawn::stop(m_pid); }
