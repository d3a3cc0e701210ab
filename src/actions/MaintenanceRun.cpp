#include "actions/MaintenanceRun.h"

#include "core/Json.h"
#include "core/Uuid.h"

QString MaintenanceRun::rawValue(RunTrigger trigger)
{
    return trigger == RunTrigger::scheduled ? QStringLiteral("Scheduled") : QStringLiteral("Manual");
}

std::optional<RunTrigger> MaintenanceRun::triggerFromRaw(const QString& raw)
{
    if (raw == QLatin1String("Scheduled")) return RunTrigger::scheduled;
    if (raw == QLatin1String("Manual")) return RunTrigger::manual;
    return std::nullopt;
}

QJsonObject MaintenanceRun::toJson() const
{
    QJsonArray stepArray;
    for (const MaintenanceStep& step : steps) stepArray.append(step.toJson());
    return QJsonObject{
        {QStringLiteral("id"), Uuids::text(id)},
        {QStringLiteral("startedAt"), Json::dateValue(startedAt)},
        {QStringLiteral("finishedAt"), Json::dateValue(finishedAt)},
        {QStringLiteral("trigger"), rawValue(trigger)},
        {QStringLiteral("steps"), stepArray},
        {QStringLiteral("bytesFreed"), double(bytesFreed)},
        {QStringLiteral("finalHealthScore"), qint64(finalHealthScore)},
    };
}

std::optional<MaintenanceRun> MaintenanceRun::fromJson(const QJsonObject& object)
{
    Json::Decoder d(object);
    MaintenanceRun run;
    run.id = d.uuid(QStringLiteral("id"));
    run.startedAt = d.date(QStringLiteral("startedAt"));
    run.finishedAt = d.date(QStringLiteral("finishedAt"));
    const std::optional<RunTrigger> trigger = triggerFromRaw(d.string(QStringLiteral("trigger")));
    const QJsonArray stepArray = d.array(QStringLiteral("steps"));
    const qint64 bytes = d.integer(QStringLiteral("bytesFreed"));
    run.finalHealthScore = d.integer(QStringLiteral("finalHealthScore"));
    if (!d.ok() || !trigger || bytes < 0) return std::nullopt;
    run.trigger = *trigger;
    run.bytesFreed = uint64_t(bytes);
    for (const QJsonValue& value : stepArray) {
        if (!value.isObject()) return std::nullopt;
        std::optional<MaintenanceStep> step = MaintenanceStep::fromJson(value.toObject());
        if (!step) return std::nullopt;
        run.steps << *step;
    }
    return run;
}

QJsonArray MaintenanceRun::encodeHistory(const QList<MaintenanceRun>& runs)
{
    QJsonArray array;
    for (const MaintenanceRun& run : runs) array.append(run.toJson());
    return array;
}

std::optional<QList<MaintenanceRun>> MaintenanceRun::decodeHistory(const QJsonDocument& document)
{
    if (!document.isArray()) return std::nullopt;
    QList<MaintenanceRun> runs;
    for (const QJsonValue& value : document.array()) {
        if (!value.isObject()) return std::nullopt;
        std::optional<MaintenanceRun> run = fromJson(value.toObject());
        if (!run) return std::nullopt;
        runs << *run;
    }
    return runs;
}
