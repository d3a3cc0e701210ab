#include "actions/MaintenanceStep.h"

#include "core/Json.h"
#include "core/Uuid.h"

QJsonObject MaintenanceStep::toJson() const
{
    return QJsonObject{
        {QStringLiteral("id"), Uuids::text(id)},
        {QStringLiteral("name"), name},
        {QStringLiteral("succeeded"), succeeded},
        {QStringLiteral("detail"), detail},
    };
}

std::optional<MaintenanceStep> MaintenanceStep::fromJson(const QJsonObject& object)
{
    Json::Decoder d(object);
    MaintenanceStep step;
    step.id = d.uuid(QStringLiteral("id"));
    step.name = d.string(QStringLiteral("name"));
    step.succeeded = d.boolean(QStringLiteral("succeeded"));
    step.detail = d.string(QStringLiteral("detail"));
    if (!d.ok()) return std::nullopt;
    return step;
}
