#pragma once

#include "core/Lifecycle.h"
#include "core/Scheduler.h"
#include "monitoring/BatteryInfo.h"
#include "monitoring/BatteryLevelSource.h"

#include <QList>
#include <QObject>

class Clock;
class Executor;
class PowerSupplyReader;
struct PowerSupplyReading;

// Reads the battery every 30 s off the main thread and publishes it on the main thread, with a
// history of the charge level for the chart and the health and time texts of the dashboard.
class BatteryMonitor final : public QObject, public Lifecycle, public BatteryLevelSource {
    Q_OBJECT
public:
    enum class HealthColor { green, yellow, red };
    static constexpr int kHistoryLimit = 500;
    static constexpr std::chrono::milliseconds kInterval{30000};

    // `background` runs the readings; the reader must outlive every reading queued on it.
    BatteryMonitor(const PowerSupplyReader& reader, Executor& background, const Clock& clock, Scheduler& scheduler,
                   QObject* parent = nullptr);

    static BatteryMonitor& shared();

    // Lifecycle: start = startMonitoring; stop cancels the timer.
    void start() override { startMonitoring(); }
    void stop() override;

    void startMonitoring();
    void refresh();

    const BatteryInfo& batteryInfo() const { return m_batteryInfo; }
    const QList<BatteryDataPoint>& batteryHistory() const { return m_batteryHistory; }
    bool isAvailable() const { return m_isAvailable; }
    const WorkHandle& timer() const { return m_timer; }

    QString healthStatus() const { return healthStatusText(m_batteryInfo.healthPercent); }
    HealthColor healthColor() const { return healthColorOf(m_batteryInfo.healthPercent); }
    QString timeRemainingText() const { return timeRemainingTextOf(m_batteryInfo); }

    // BatteryLevelSource
    int batteryLevel() const override { return int(m_batteryInfo.level); }
    bool isCharging() const override { return m_batteryInfo.isCharging; }

    static BatteryInfo readPowerSource(const PowerSupplyReading& reading);
    static QString healthStatusText(double healthPercent);
    static HealthColor healthColorOf(double healthPercent);
    static QString timeRemainingTextOf(const BatteryInfo& info);

    // Main thread: what a finished reading publishes.
    void publish(const BatteryInfo& info);

Q_SIGNALS:
    void changed();

private:
    const PowerSupplyReader& m_reader;
    Executor& m_background;
    const Clock& m_clock;
    Scheduler& m_scheduler;

    BatteryInfo m_batteryInfo;
    QList<BatteryDataPoint> m_batteryHistory;
    bool m_isAvailable = false;
    WorkHandle m_timer;
};
