#pragma once

#include "core/Lifecycle.h"
#include "core/Scheduler.h"
#include "monitoring/NetworkSnapshot.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <optional>

class Clock;
class Executor;
class NetStatsReader;
class TcpTableReader;

// Throughput and established TCP connections, measured every 5 s off the main thread and
// published on the main thread with a history for the Network tab and the HUD.
class NetworkMonitor final : public QObject, public Lifecycle {
    Q_OBJECT
public:
    static constexpr int kHistoryLimit = 300;
    static constexpr std::chrono::milliseconds kInterval{5000};

    // What the last reading left behind for the next one to compare with.
    struct Previous {
        uint64_t bytesIn = 0;
        uint64_t bytesOut = 0;
        std::optional<QDateTime> timestamp;
    };
    struct Measurement {
        uint64_t bytesIn = 0;
        uint64_t bytesOut = 0;
        double rateIn = 0;
        double rateOut = 0;
        int64_t connections = 0;
        QDateTime timestamp;
        // No interface of a counted kind could be read: the rates say nothing about traffic.
        bool noCountedInterface = false;
    };

    // The readers must outlive every measurement queued on `background`.
    NetworkMonitor(const NetStatsReader& counters, const TcpTableReader& tcp, Executor& background, const Clock& clock,
                   Scheduler& scheduler, QObject* parent = nullptr);

    static NetworkMonitor& shared();

    void start() override { startMonitoring(); }
    void stop() override { stopMonitoring(); }

    void startMonitoring();
    void stopMonitoring();
    void sample();

    // One measurement against the previous reading; runs on any thread.
    static Measurement measure(const NetStatsReader& counters, const TcpTableReader& tcp, const Previous& previous,
                               const QDateTime& now);
    // Main thread: what a finished measurement publishes.
    void publish(const Measurement& m);

    uint64_t totalBytesIn() const { return m_totalBytesIn; }
    uint64_t totalBytesOut() const { return m_totalBytesOut; }
    double currentRateIn() const { return m_currentRateIn; }
    double currentRateOut() const { return m_currentRateOut; }
    const QList<NetworkProcessInfo>& topNetworkProcesses() const { return m_topNetworkProcesses; }
    const QList<NetworkSnapshot>& networkHistory() const { return m_networkHistory; }
    bool isMonitoring() const { return m_isMonitoring; }
    int64_t activeConnectionCount() const { return m_activeConnectionCount; }
    // Whether the last measurement found no interface to count.
    bool noCountedInterface() const { return m_noCountedInterface; }
    const Previous& previous() const { return m_previous; }

Q_SIGNALS:
    void changed();

private:
    const NetStatsReader& m_counters;
    const TcpTableReader& m_tcp;
    Executor& m_background;
    const Clock& m_clock;
    Scheduler& m_scheduler;

    uint64_t m_totalBytesIn = 0;
    uint64_t m_totalBytesOut = 0;
    double m_currentRateIn = 0;
    double m_currentRateOut = 0;
    QList<NetworkProcessInfo> m_topNetworkProcesses;
    QList<NetworkSnapshot> m_networkHistory;
    bool m_isMonitoring = false;
    int64_t m_activeConnectionCount = 0;
    bool m_noCountedInterface = false;
    WorkHandle m_timer;
    Previous m_previous;
};
