#include "monitoring/BatteryMonitor.h"

#include "core/Clock.h"
#include "core/Executor.h"
#include "core/MainThread.h"
#include "platform/PowerSupplyReader.h"

#include <QPointer>
#include <algorithm>

BatteryMonitor::BatteryMonitor(const PowerSupplyReader& reader, Executor& background, const Clock& clock,
                               Scheduler& scheduler, QObject* parent)
    : QObject(parent), m_reader(reader), m_background(background), m_clock(clock), m_scheduler(scheduler)
{
}

void BatteryMonitor::startMonitoring()
{
    refresh();
    if (m_timer) m_timer->cancel();
    m_timer = m_scheduler.every(kInterval, this, [this] { refresh(); });
}

void BatteryMonitor::stop()
{
    if (m_timer) m_timer->cancel();
    m_timer.reset();
}

void BatteryMonitor::refresh()
{
    const PowerSupplyReader* reader = &m_reader;
    QPointer<BatteryMonitor> self(this);
    m_background.async([reader, self] {
        const BatteryInfo info = readPowerSource(reader->read());
        if (!self) return;
        postTo(self.get(), [self, info] {
            if (self) self->publish(info);
        });
    });
}

void BatteryMonitor::publish(const BatteryInfo& info)
{
    m_batteryInfo = info;
    m_isAvailable = info.level >= 0;
    if (info.level >= 0) {
        m_batteryHistory.push_back(BatteryDataPoint{QUuid::createUuid(), m_clock.now(), info.level, info.isCharging});
        if (m_batteryHistory.size() > kHistoryLimit) m_batteryHistory.remove(0, m_batteryHistory.size() - kHistoryLimit);
    }
    Q_EMIT changed();
}

BatteryInfo BatteryMonitor::readPowerSource(const PowerSupplyReading& reading)
{
    if (!reading.source) return BatteryInfo{};
    const PowerSourceDescription& source = *reading.source;
    const int64_t current = source.currentCapacity.value_or(-1);
    const int64_t max = source.maxCapacity.value_or(-1);
    const bool charging = source.isCharging.value_or(false);

    BatteryInfo info;
    // Whole percent in integer arithmetic: 57 of 100 is 57, where 57.0 / 100 * 100 truncates to 56.
    info.level = max >= 1 ? int64_t(__int128(current) * 100 / max) : current;
    info.isCharging = charging;
    info.isFullyCharged = source.isCharged.value_or(false);
    info.timeRemaining = charging ? source.timeToFullCharge : source.timeToEmpty;
    info.powerSource =
        source.powerSourceState.value_or(QStringLiteral("Unknown")) == QLatin1String("AC Power") ? QStringLiteral("AC Power")
                                                                                                   : QStringLiteral("Battery");
    info.maxCapacity = max;
    info.currentCapacity = current;

    const SmartBatteryEntry entry = reading.battery.value_or(SmartBatteryEntry{});
    info.cycleCount = entry.cycleCount.value_or(0);
    info.designCapacity = entry.designCapacity.value_or(0);
    const int64_t full = entry.maxCapacity.value_or(0);
    info.temperature = double(entry.temperature.value_or(0)) / 100.0;
    info.voltage = double(entry.voltage.value_or(0)) / 1000.0;
    info.amperage = double(entry.amperage.value_or(0)) / 1000.0;
    info.healthPercent =
        info.designCapacity >= 1 ? std::min(double(full) / double(info.designCapacity) * 100.0, 100.0) : 100.0;
    return info;
}

QString BatteryMonitor::healthStatusText(double h)
{
    if (h >= 90 && h <= 100) return QStringLiteral("Excellent");
    if (h >= 80 && h < 90) return QStringLiteral("Good");
    if (h >= 70 && h < 80) return QStringLiteral("Fair");
    if (h >= 50 && h < 70) return QStringLiteral("Service Recommended");
    return QStringLiteral("Replace Soon");
}

BatteryMonitor::HealthColor BatteryMonitor::healthColorOf(double h)
{
    if (h >= 80 && h <= 100) return HealthColor::green;
    if (h >= 60 && h < 80) return HealthColor::yellow;
    return HealthColor::red;
}

QString BatteryMonitor::timeRemainingTextOf(const BatteryInfo& info)
{
    if (info.timeRemaining && *info.timeRemaining >= 1) {
        const int64_t t = *info.timeRemaining;
        const QString time = t >= 60 ? QStringLiteral("%1h %2m ").arg(t / 60).arg(t % 60) : QStringLiteral("%1m ").arg(t);
        return time + (info.isCharging ? QStringLiteral("to full") : QStringLiteral("remaining"));
    }
    if (info.isFullyCharged) return QStringLiteral("Fully Charged");
    // Plugged in and held below full (a charge limit, or a battery the charger leaves alone):
    // nothing is being calculated.
    if (!info.isCharging && info.powerSource == QLatin1String("AC Power")) return QStringLiteral("Plugged in, not charging");
    return QStringLiteral("Calculating...");
}
