#include "core/Dates.h"

#include <QTimeZone>
#include <cmath>

namespace Dates {

QDateTime referenceDate()
{
    static const QDateTime ref(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return ref;
}

double toReferenceSeconds(const QDateTime& time)
{
    return double(time.toMSecsSinceEpoch() - referenceDate().toMSecsSinceEpoch()) / 1000.0;
}

QDateTime fromReferenceSeconds(double seconds)
{
    if (!std::isfinite(seconds)) return {};
    return QDateTime::fromMSecsSinceEpoch(referenceDate().toMSecsSinceEpoch() + qint64(std::llround(seconds * 1000.0)),
                                          QTimeZone::utc());
}

double secondsBetween(const QDateTime& a, const QDateTime& b)
{
    return double(b.toMSecsSinceEpoch() - a.toMSecsSinceEpoch()) / 1000.0;
}

QString isoText(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

}  // namespace Dates
