#include "ui/shell/MenuReadout.h"

#include "ui/theme/PaletteTheme.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace MenuReadout {

QColor loadColor(double value, const PaletteTheme& palette)
{
    if (value < 60) return palette.success;
    if (value < 85) return palette.warning;
    return palette.danger;
}

int cpuListCount(const QString& list)
{
    int count = 0;
    for (const QString& part : list.trimmed().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList range = part.split(QLatin1Char('-'));
        bool okA = false, okB = false;
        const int a = range.value(0).toInt(&okA);
        const int b = range.size() == 2 ? range.value(1).toInt(&okB) : a;
        if (!okA || (range.size() == 2 && !okB) || range.size() > 2 || b < a || a < 0) return 0;
        count += b - a + 1;
    }
    return count;
}

CoreCounts readCoreCounts(const QString& sysRoot)
{
    auto listAt = [&](const QString& path) {
        QFile f(sysRoot + path);
        if (!f.open(QIODevice::ReadOnly)) return 0;
        return cpuListCount(QString::fromLatin1(f.read(4096)));
    };
    CoreCounts c;
    c.performance = listAt(QStringLiteral("/devices/cpu_core/cpus"));
    c.efficiency = listAt(QStringLiteral("/devices/cpu_atom/cpus"));
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    c.logical = online < 2 ? 1 : int(online);
    return c;
}

QString coreText(const CoreCounts& counts)
{
    if (counts.performance >= 1 && counts.efficiency >= 1)
        return QString::number(counts.performance) + QStringLiteral("P + ") + QString::number(counts.efficiency) +
               QLatin1Char('E');
    return QString::number(counts.logical) + QStringLiteral(" cores");
}

DiskFigures diskFigures(const PerformanceSnapshot& s)
{
    DiskFigures d;
    const uint64_t freeBytes = s.diskTotal > s.diskUsed ? s.diskTotal - s.diskUsed : 0;
    d.freeGiB = double(freeBytes) / double(1ULL << 30);
    d.usedPercent = s.diskTotal == 0 ? 0 : double(s.diskUsed) / double(s.diskTotal) * 100;
    return d;
}

QColor diskColor(double freeGiB, const PaletteTheme& palette)
{
    if (freeGiB < 20) return palette.danger;
    if (freeGiB < 50) return palette.warning;
    return palette.success;
}

double barFraction(double fraction)
{
    if (fraction > 1) return 1;
    if (std::isnan(fraction)) return 0.01;
    return std::max(fraction, 0.01);
}

QString connectionLine(int64_t count)
{
    return QString::number(count) + QStringLiteral(" active connection") + (count == 1 ? QString() : QStringLiteral("s"));
}

QList<ProcessInfoItem> topRows(QList<ProcessInfoItem> processes)
{
    std::stable_sort(processes.begin(), processes.end(),
                     [](const ProcessInfoItem& a, const ProcessInfoItem& b) { return a.cpuUsage > b.cpuUsage; });
    if (processes.size() > maxProcessRows) processes.resize(maxProcessRows);
    return processes;
}

}  // namespace MenuReadout
