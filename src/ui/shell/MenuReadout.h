#pragma once

#include "core/Models.h"

#include <QColor>
#include <QList>
#include <QString>

struct PaletteTheme;

// The figures of the popover readout, apart from the widgets that show them.
namespace MenuReadout {

// Percentages and Celsius temperatures: success below 60, warning below 85, danger otherwise
// (also for a value that is not a number).
QColor loadColor(double value, const PaletteTheme& palette);

// Core counts of this machine: performance and efficiency cores of a hybrid processor
// (/sys/devices/cpu_core/cpus and cpu_atom/cpus; 0 where absent) and the logical cores online
// (at least 1).
struct CoreCounts {
    int performance = 0;
    int efficiency = 0;
    int logical = 1;
};
CoreCounts readCoreCounts(const QString& sysRoot = QStringLiteral("/sys"));
// The number of CPUs in a kernel CPU list such as "0-11,16".
int cpuListCount(const QString& list);
// "8P + 4E" on a hybrid processor, else "12 cores".
QString coreText(const CoreCounts& counts);

struct DiskFigures {
    double freeGiB = 0;
    double usedPercent = 0;
};
DiskFigures diskFigures(const PerformanceSnapshot& snapshot);
// danger below 20 GiB free, warning below 50, success otherwise.
QColor diskColor(double freeGiB, const PaletteTheme& palette);
// The bar's filled share: 1 past full, never below 1 %.
double barFraction(double fraction);

// "1 active connection", "2 active connections".
QString connectionLine(int64_t count);

// The five busiest processes, highest CPU first.
constexpr int maxProcessRows = 5;
QList<ProcessInfoItem> topRows(QList<ProcessInfoItem> processes);

}  // namespace MenuReadout
