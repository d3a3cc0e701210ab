#pragma once

#include "core/Models.h"
#include "ui/dashboard/NamedColor.h"

#include <QLocale>
#include <QString>

// What the History tab shows for the published action history, no display needed.
namespace ActionHistoryModel {

// The symbol and the fixed colour of each kind of action; the colour ignores the palette.
struct TypeStyle {
    QString symbol;
    NamedColor color;
};
TypeStyle typeStyle(ActionRecord::ActionType type);

// "N actions": the count has no singular form.
QString countText(qsizetype count);

inline const QString emptyTitle = QStringLiteral("No actions recorded yet");
inline const QString emptyHint = QStringLiteral("Veltranmoor will log all automated and manual actions here.");
inline const QString emptySymbol = QStringLiteral("clock.arrow.circlepath");

struct Row {
    TypeStyle style;
    QString title;
    bool showsAutoTag = false;
    // "target — detail"; an empty side stays blank.
    QString subtitle;
    QString timeText;
    QString dateText;
};
// Time and date follow `locale` (the system's, in the view), in its short formats.
Row row(const ActionRecord& record, const QLocale& locale);

}  // namespace ActionHistoryModel
