#include "ui/dashboard/SidebarModel.h"

namespace SidebarModel {

QList<TabButton> tabList(DashboardTab selected, qsizetype insightCount)
{
    QList<TabButton> rows;
    for (DashboardTab tab : DashboardTabs::all) {
        rows.append(TabButton{
            .tab = tab,
            .icon = DashboardTabs::icon(tab),
            .label = DashboardTabs::rawValue(tab),
            .isSelected = tab == selected,
            .badge = tab == DashboardTab::aiInsights ? insightCount : 0,
        });
    }
    return rows;
}

StatusFooter statusFooter(bool isMonitoring, const QString& personality, qsizetype actionCount)
{
    return StatusFooter{
        .dot = isMonitoring ? NamedColor::green : NamedColor::red,
        .monitoringText = isMonitoring ? QStringLiteral("Monitoring Active") : QStringLiteral("Paused"),
        .personalityText = QStringLiteral("AI: ") + personality,
        .actionsText = QStringLiteral("Actions: %1").arg(qint64(actionCount)),
    };
}

}  // namespace SidebarModel
