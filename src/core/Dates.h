#pragma once

#include <QDateTime>
#include <optional>

// Stored dates are seconds since 2001-01-01T00:00:00Z as a double.
namespace Dates {

QDateTime referenceDate();
double toReferenceSeconds(const QDateTime& time);
// Invalid when the seconds are not finite or too large for a QDateTime.
QDateTime fromReferenceSeconds(double seconds);
// A date read from a stored file: nothing when it lies outside the years 2001 to 2200, which no
// file of ours can hold (a damaged or hand-edited value).
std::optional<QDateTime> fromStoredSeconds(double seconds);
// Seconds from a to b (b - a), with millisecond precision.
double secondsBetween(const QDateTime& a, const QDateTime& b);
// ISO-8601 in UTC with milliseconds, as file logs and exports write it.
QString isoText(const QDateTime& time);

}  // namespace Dates
