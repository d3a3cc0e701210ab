#include "ui/dashboard/StatusCardsModel.h"

#include "core/AppSettings.h"
#include "core/CFormat.h"

#include <algorithm>
#include <cmath>

namespace StatusCardsModel {

Disk disk(const PerformanceSnapshot& snapshot)
{
    const double percent =
        snapshot.diskTotal == 0 ? 0.0 : double(snapshot.diskUsed) / double(snapshot.diskTotal) * 100.0;
    // A used figure above the total would make the unsigned difference wrap: show nothing free.
    const uint64_t free = snapshot.diskUsed >= snapshot.diskTotal ? 0 : snapshot.diskTotal - snapshot.diskUsed;
    return Disk{
        .percentUsed = percent,
        .percentText = cformat("%.0f%%", percent),
        .freeText = cformat("%.1f GB free", double(free) / 1073741824.0),
    };
}

Thermal thermal(const PerformanceSnapshot& snapshot, const AppSettings& settings)
{
    Thermal t;
    switch (snapshot.thermalState) {
    case ThermalLevel::nominal:
        t.icon = QStringLiteral("thermometer.low");
        t.color = NamedColor::green;
        break;
    case ThermalLevel::fair:
        t.icon = QStringLiteral("thermometer.medium");
        t.color = NamedColor::yellow;
        break;
    case ThermalLevel::serious:
        t.icon = QStringLiteral("thermometer.high");
        t.color = NamedColor::orange;
        break;
    case ThermalLevel::critical:
        t.icon = QStringLiteral("thermometer.sun.fill");
        t.color = NamedColor::red;
        break;
    }
    t.stateWord = PerformanceSnapshot::rawValue(snapshot.thermalState);
    // A reading that is not a number is no reading.
    std::optional<double> celsius = snapshot.cpuTempC;
    if (celsius && !std::isfinite(*celsius)) celsius.reset();
    t.temperatureText = settings.formatTemperature(celsius, true);
    if (celsius) {
        t.gaugeValue = std::clamp(*celsius, 0.0, thermalGaugeMaximum);
        // The firmware's figure for this processor; without one no figure is made up.
        const std::optional<double> trip = snapshot.throttleTripC;
        t.note = trip && std::isfinite(*trip)
                     ? QStringLiteral("CPU die \u2022 throttle at ~") + settings.formatTemperature(trip, true)
                     : QStringLiteral("CPU die");
    } else {
        t.note = QStringLiteral("Sensor unavailable — using system pressure");
    }
    return t;
}

TopProcess topProcess(const QList<ProcessInfoItem>& processes)
{
    if (processes.isEmpty()) return {};
    const ProcessInfoItem& p = processes.first();
    return TopProcess{
        .name = p.name,
        .cpuText = cformat("%.1f%% CPU", p.cpuUsage),
        .memoryText = cformat("%.0f MB", p.memoryMB),
    };
}

Network network(int64_t connections, double rateIn, double rateOut, const AppSettings& settings)
{
    return Network{
        .connections = QString::number(connections),
        .inText = settings.formatDataRate(rateIn, true),
        .outText = settings.formatDataRate(rateOut, true),
    };
}

QString chartAxisLabel(double value, const QString& suffix)
{
    // Marks are whole numbers; anything else reads as 0.
    const bool whole = std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 9.0e15;
    return QString::number(whole ? qint64(value) : 0) + suffix;
}

}  // namespace StatusCardsModel
