#pragma once

#include "core/Models.h"
#include "ui/dashboard/NamedColor.h"

#include <QString>

// What the Processes tab shows for the published process list, no display needed.
namespace ProcessListModel {

// "N processes": the count has no singular form.
QString countText(qsizetype count);

struct Row {
    QString pidText;
    QString name;
    bool showsShield = false;  // protected: a shield before the name, a lock instead of buttons
    QString cpuText;
    NamedColor cpuColor = NamedColor::green;
    QString memoryText;
    QString statusText;
    NamedColor statusColor = NamedColor::green;
    bool highlighted = false;  // the faint red background of a runaway
    bool hasButtons = true;
};
Row row(const ProcessInfoItem& process);

// Red above 80 %, yellow above 50 %, green otherwise.
NamedColor cpuColor(double cpuUsage);

inline const QString throttleHelp = QStringLiteral("Throttle process");
inline const QString killHelp = QStringLiteral("Kill process");

}  // namespace ProcessListModel
