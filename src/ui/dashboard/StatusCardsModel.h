#pragma once

#include "core/Models.h"
#include "ui/dashboard/NamedColor.h"

#include <QList>
#include <QString>
#include <optional>

class AppSettings;

// What the Overview's four status cards show, and the value axis of the history charts.
namespace StatusCardsModel {

struct Disk {
    double percentUsed = 0;  // 0 when the volume's size is unknown
    QString percentText;
    QString freeText;
};
Disk disk(const PerformanceSnapshot& snapshot);

struct Thermal {
    QString icon;
    NamedColor color;
    QString stateWord;
    QString temperatureText;
    // Present with a reading: the gauge's value in °C, clamped to 0...gaugeMaximum.
    std::optional<double> gaugeValue;
    // The hint under the gauge, or the line shown instead of it without a reading.
    QString note;
};
inline constexpr double thermalGaugeMaximum = 110;
Thermal thermal(const PerformanceSnapshot& snapshot, const AppSettings& settings);

struct TopProcess {
    // Absent when there is no process: "No data".
    std::optional<QString> name;
    QString cpuText;
    QString memoryText;
};
TopProcess topProcess(const QList<ProcessInfoItem>& processes);
inline const QString noDataText = QStringLiteral("No data");

struct Network {
    QString connections;
    QString inText;
    QString outText;
};
Network network(int64_t connections, double rateIn, double rateOut, const AppSettings& settings);

// The history charts' value axis: marks and their labels.
inline const QList<int> percentMarks = {0, 25, 50, 75, 100};
QString chartAxisLabel(double value, const QString& suffix);

}  // namespace StatusCardsModel
