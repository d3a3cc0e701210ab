#include "ui/dashboard/ActionHistoryModel.h"

#include "core/CFormat.h"

namespace ActionHistoryModel {

TypeStyle typeStyle(ActionRecord::ActionType type)
{
    using T = ActionRecord::ActionType;
    switch (type) {
    case T::processKilled: return {QStringLiteral("xmark.octagon.fill"), NamedColor::red};
    case T::processThrottled: return {QStringLiteral("tortoise.fill"), NamedColor::orange};
    case T::cacheCleared: return {QStringLiteral("trash.fill"), NamedColor::blue};
    case T::diskCleaned: return {QStringLiteral("externaldrive.badge.minus"), NamedColor::blue};
    case T::emergencyCleanup: return {QStringLiteral("exclamationmark.triangle.fill"), NamedColor::red};
    case T::memoryFreed: return {QStringLiteral("memorychip"), NamedColor::purple};
    case T::alertSent: return {QStringLiteral("bell.badge.fill"), NamedColor::yellow};
    case T::systemCheck: return {QStringLiteral("checkmark.shield.fill"), NamedColor::green};
    }
    return {QStringLiteral("checkmark.shield.fill"), NamedColor::green};
}

QString countText(qsizetype count)
{
    return cformat("%lld", static_cast<long long>(count)) + (count == 1 ? QStringLiteral(" action") : QStringLiteral(" actions"));
}

Row row(const ActionRecord& record, const QLocale& locale)
{
    // Shown in the machine's own zone, as the rest of the desktop shows times.
    const QDateTime local = record.timestamp.toLocalTime();
    return Row{
        .style = typeStyle(record.action),
        .title = ActionRecord::rawValue(record.action),
        .showsAutoTag = record.wasAutomatic,
        .subtitle = record.target + QStringLiteral(" — ") + record.detail,
        .timeText = locale.toString(local.time(), QLocale::ShortFormat),
        .dateText = locale.toString(local.date(), QLocale::ShortFormat),
    };
}

}  // namespace ActionHistoryModel
