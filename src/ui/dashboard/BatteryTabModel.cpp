#include "ui/dashboard/BatteryTabModel.h"

#include "core/CFormat.h"
#include "monitoring/BatteryMonitor.h"

namespace BatteryTabModel {

RingWord ringWord(const BatteryInfo& info)
{
    if (info.isCharging) return {QStringLiteral("Charging"), true};
    if (info.powerSource == QLatin1String("AC Power")) return {QStringLiteral("Plugged In"), true};
    return {QStringLiteral("On Battery"), false};
}

QString levelText(const BatteryInfo& info) { return cformat("%lld%%", static_cast<long long>(info.level)); }

QList<QPair<QString, QString>> detailRows(const BatteryMonitor& monitor)
{
    const BatteryInfo& info = monitor.batteryInfo();
    QList<QPair<QString, QString>> rows{
        {QStringLiteral("Time Remaining"), monitor.timeRemainingText()},
        {QStringLiteral("Power Source"), info.powerSource},
        {QStringLiteral("Battery Health"),
         cformat("%.0f", info.healthPercent) + QStringLiteral("% (") + monitor.healthStatus() + QStringLiteral(")")},
        {QStringLiteral("Cycle Count"), QString::number(info.cycleCount)},
        {QStringLiteral("Temperature"), cformat("%.1f", info.temperature) + QStringLiteral("°C")},
    };
    if (info.voltage > 0) rows.append({QStringLiteral("Voltage"), cformat("%.2f V", info.voltage)});
    return rows;
}

QList<BatteryDataPoint> chartHistory(const QList<BatteryDataPoint>& history)
{
    return history.size() <= chartPoints ? history : history.mid(history.size() - chartPoints);
}

}  // namespace BatteryTabModel
