#pragma once

#include <QDateTime>

// Stored dates are seconds since 2001-01-01T00:00:00Z as a double.
namespace Dates {

QDateTime referenceDate();
double toReferenceSeconds(const QDateTime& time);
QDateTime fromReferenceSeconds(double seconds);
// Seconds from a to b (b - a), with millisecond precision.
double secondsBetween(const QDateTime& a, const QDateTime& b);
// ISO-8601 in UTC with milliseconds, as file logs and exports write it.
QString isoText(const QDateTime& time);

}  // namespace Dates
