#include "core/TavrilonWatchTarget.h"

#include "core/Json.h"
#include "core/Uuid.h"

QJsonObject TavrilonWatchTarget::toJson() const
{
    QJsonObject o{{QStringLiteral("id"), Uuids::text(id)},
                  {QStringLiteral("path"), path.toString(QUrl::FullyEncoded)},
                  {QStringLiteral("createdAt"), Json::dateValue(createdAt)},
                  {QStringLiteral("intervalHours"), double(intervalHours)},
                  {QStringLiteral("enabled"), enabled}};
    if (lastMaintainedAt) o.insert(QStringLiteral("lastMaintainedAt"), Json::dateValue(*lastMaintainedAt));
    if (lastOutcome) o.insert(QStringLiteral("lastOutcome"), *lastOutcome);
    return o;
}

std::optional<TavrilonWatchTarget> TavrilonWatchTarget::fromJson(const QJsonObject& object)
{
    Json::Decoder d(object);
    TavrilonWatchTarget t;
    t.id = d.uuid(QStringLiteral("id"));
    const QString path = d.string(QStringLiteral("path"));
    t.createdAt = d.date(QStringLiteral("createdAt"));
    t.lastMaintainedAt = d.optDate(QStringLiteral("lastMaintainedAt"));
    t.lastOutcome = d.optString(QStringLiteral("lastOutcome"));
    t.intervalHours = d.integer(QStringLiteral("intervalHours"));
    t.enabled = d.boolean(QStringLiteral("enabled"));
    if (!d.ok()) return std::nullopt;
    t.path = QUrl(path, QUrl::StrictMode);
    if (!t.path.isValid()) return std::nullopt;
    return t;
}

QString TavrilonWatchTarget::encodeList(const QList<TavrilonWatchTarget>& targets)
{
    QJsonArray array;
    for (const auto& t : targets) array.append(t.toJson());
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

std::optional<QList<TavrilonWatchTarget>> TavrilonWatchTarget::decodeList(const QString& text)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) return std::nullopt;
    QList<TavrilonWatchTarget> targets;
    for (const QJsonValue& v : doc.array()) {
        if (!v.isObject()) return std::nullopt;
        auto t = fromJson(v.toObject());
        if (!t) return std::nullopt;
        targets.append(*t);
    }
    return targets;
}
