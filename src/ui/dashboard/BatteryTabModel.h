#pragma once

#include "monitoring/BatteryInfo.h"

#include <QList>
#include <QPair>
#include <QString>

class BatteryMonitor;

// The Battery tab's texts from the monitor's published reading.
namespace BatteryTabModel {

inline constexpr int chartPoints = 100;

struct RingWord {
    QString text;
    bool green = false;  // else orange
};

// The power source decides the word: on mains power a battery that is not charging is
// "Plugged In", never "On Battery".
RingWord ringWord(const BatteryInfo& info);
QString levelText(const BatteryInfo& info);
// Label and value rows, top to bottom; the voltage row only with a voltage.
QList<QPair<QString, QString>> detailRows(const BatteryMonitor& monitor);
// The newest points the chart draws, oldest first.
QList<BatteryDataPoint> chartHistory(const QList<BatteryDataPoint>& history);

inline const QString noBatteryTitle = QStringLiteral("No battery detected");
inline const QString noBatteryHint = QStringLiteral("Battery monitoring is available on laptops");
inline const QString historyTitle = QStringLiteral("BATTERY LEVEL HISTORY");

}  // namespace BatteryTabModel
