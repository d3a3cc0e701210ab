#include "core/Dates.h"

#include "core/Checked.h"

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
    const std::optional<qint64> ms = Checked::toInteger<qint64>(std::round(seconds * 1000.0));
    const std::optional<qint64> epochMs = ms ? Checked::add(referenceDate().toMSecsSinceEpoch(), *ms) : std::nullopt;
    if (!epochMs) return {};
    return QDateTime::fromMSecsSinceEpoch(*epochMs, QTimeZone::utc());
}

std::optional<QDateTime> fromStoredSeconds(double seconds)
{
    static const double end = double(referenceDate().secsTo(QDateTime(QDate(2201, 1, 1), QTime(0, 0), QTimeZone::utc())));
    if (!(seconds >= 0 && seconds < end)) return std::nullopt;
    const QDateTime date = fromReferenceSeconds(seconds);
    if (!date.isValid()) return std::nullopt;
    return date;
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
