#include "core/ByteCountFormatter.h"

#include <cmath>
#include <cstdlib>

namespace {

QString trimZeros(QString number)
{
    if (!number.contains(QLatin1Char('.'))) return number;
    while (number.endsWith(QLatin1Char('0'))) number.chop(1);
    if (number.endsWith(QLatin1Char('.'))) number.chop(1);
    return number;
}

}  // namespace

QString formatByteCount(qint64 bytes)
{
    if (bytes == 0) return QStringLiteral("Zero KB");
    const QString sign = bytes < 0 ? QStringLiteral("-") : QString();
    const double magnitude = std::fabs(double(bytes));
    if (magnitude < 1000) {
        return sign + QString::number(qint64(magnitude)) + (magnitude == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
    }
    static const char* units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    static const int decimals[] = {0, 1, 2, 2, 2, 2};
    double v = magnitude / 1000.0;
    int unit = 0;
    while (unit < 5) {
        const double scale = std::pow(10.0, decimals[unit]);
        const double rounded = std::round(v * scale) / scale;
        if (rounded < 1000.0) break;
        v /= 1000.0;
        ++unit;
    }
    const QString number = trimZeros(QString::number(v, 'f', decimals[unit]));
    return sign + number + QLatin1Char(' ') + QLatin1String(units[unit]);
}
