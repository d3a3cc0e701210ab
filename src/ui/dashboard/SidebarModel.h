#pragma once

#include "ui/dashboard/DashboardTab.h"
#include "ui/dashboard/NamedColor.h"

#include <QList>
#include <QString>

// What the sidebar shows, from the managers' published state.
namespace SidebarModel {

struct TabButton {
    DashboardTab tab;
    QString icon;
    QString label;
    bool isSelected = false;
    qsizetype badge = 0;  // the pill is drawn only from 1 up
};

// One button per tab, in order; only AI Insights carries a count (its insights).
QList<TabButton> tabList(DashboardTab selected, qsizetype insightCount);

struct StatusFooter {
    NamedColor dot;
    QString monitoringText;
    QString personalityText;
    QString actionsText;
};
StatusFooter statusFooter(bool isMonitoring, const QString& personality, qsizetype actionCount);

// The texts of the sidebar that are ours to choose.
inline const QString applicationName = QStringLiteral("Veltranmoor AI");
inline const QString makerName = QStringLiteral("VELTRANMOOR LABS");
inline const QString productAddress = QStringLiteral("veltranmoor.app");
inline constexpr int width = 200;

}  // namespace SidebarModel
