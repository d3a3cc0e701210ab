#include "core/Uuid.h"


namespace Uuids {

QUuid make() { return QUuid::createUuid(); }

QString text(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

QUuid parse(const QString& text)
{
    if (text.size() != 36) return {};
    QUuid id = QUuid::fromString(text);
    return id;
}

}  // namespace Uuids
