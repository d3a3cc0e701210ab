#pragma once

#include <QString>
#include <QUuid>

// UUIDs travel as 36-character hyphenated text with upper-case hex digits.
namespace Uuids {

QUuid make();
QString text(const QUuid& id);
// Parses the hyphenated form (either case); a null QUuid when it is not one.
QUuid parse(const QString& text);

}  // namespace Uuids
