#include "monitoring/NetworkMonitor.h"

#include "core/Clock.h"
#include "core/Executor.h"
#include "core/MainThread.h"
#include "platform/NetStatsReader.h"
#include "platform/TcpTableReader.h"

#include <QPointer>

NetworkMonitor::NetworkMonitor(const NetStatsReader& counters, const TcpTableReader& tcp, Executor& background,
                               const Clock& clock, Scheduler& scheduler, QObject* parent)
    : QObject(parent), m_counters(counters), m_tcp(tcp), m_background(background), m_clock(clock), m_scheduler(scheduler)
{
}

void NetworkMonitor::startMonitoring()
{
    if (m_isMonitoring) return;
    m_isMonitoring = true;
    const InterfaceByteCounters now = m_counters.readInterfaceCounters();
    m_previous = Previous{now.bytesIn, now.bytesOut, m_clock.now()};
    m_timer = m_scheduler.every(kInterval, this, [this] { sample(); });
    Q_EMIT changed();
}

void NetworkMonitor::stopMonitoring()
{
    if (m_timer) m_timer->cancel();
    m_timer.reset();
    if (m_isMonitoring) {
        m_isMonitoring = false;
        Q_EMIT changed();
    }
}

void NetworkMonitor::sample()
{
    // The worker gets a copy of the previous reading; it never reads this object's state.
    const NetStatsReader* counters = &m_counters;
    const TcpTableReader* tcp = &m_tcp;
    const Clock* clock = &m_clock;
    const Previous previous = m_previous;
    QPointer<NetworkMonitor> self(this);
    m_background.async([counters, tcp, clock, previous, self] {
        const Measurement m = measure(*counters, *tcp, previous, clock->now());
        if (!self) return;
        postTo(self.get(), [self, m] {
            if (self) self->publish(m);
        });
    });
}

NetworkMonitor::Measurement NetworkMonitor::measure(const NetStatsReader& counters, const TcpTableReader& tcp,
                                                    const Previous& previous, const QDateTime& now)
{
    const InterfaceByteCounters c = counters.readInterfaceCounters();
    Measurement m;
    m.bytesIn = c.bytesIn;
    m.bytesOut = c.bytesOut;
    m.timestamp = now;
    m.noCountedInterface = c.interfaces == 0;
    // A counter below the stored one was reset (interface restarted): no traffic this interval.
    const uint64_t deltaIn = c.bytesIn >= previous.bytesIn ? c.bytesIn - previous.bytesIn : 0;
    const uint64_t deltaOut = c.bytesOut >= previous.bytesOut ? c.bytesOut - previous.bytesOut : 0;
    if (previous.timestamp) {
        const double elapsed = double(previous.timestamp->msecsTo(now)) / 1000.0;
        m.rateIn = elapsed > 0 ? double(deltaIn) / elapsed : 0;
        m.rateOut = elapsed > 0 ? double(deltaOut) / elapsed : 0;
    } else {
        m.rateIn = double(deltaIn) / 5.0;
        m.rateOut = double(deltaOut) / 5.0;
    }
    m.connections = tcp.countEstablishedTCP();
    // The socket tool only stands in for tables that cannot be read; zero is an answer.
    if (m.connections < 0) m.connections = tcp.readEstablishedConnections();
    return m;
}

void NetworkMonitor::publish(const Measurement& m)
{
    m_totalBytesIn = m.bytesIn;
    m_totalBytesOut = m.bytesOut;
    m_currentRateIn = m.rateIn;
    m_currentRateOut = m.rateOut;
    m_previous = Previous{m.bytesIn, m.bytesOut, m.timestamp};
    m_topNetworkProcesses.clear();
    m_activeConnectionCount = m.connections;
    m_noCountedInterface = m.noCountedInterface;
    m_networkHistory.push_back(NetworkSnapshot{QUuid::createUuid(), m.timestamp, m.bytesIn, m.bytesOut, m.rateIn, m.rateOut});
    if (m_networkHistory.size() > kHistoryLimit) m_networkHistory.remove(0, m_networkHistory.size() - kHistoryLimit);
    Q_EMIT changed();
}
