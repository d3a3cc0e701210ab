#include "ui/dashboard/DashboardTab.h"

namespace DashboardTabs {

QString rawValue(DashboardTab tab)
{
    switch (tab) {
    case DashboardTab::overview: return QStringLiteral("Overview");
    case DashboardTab::tavrilon: return QStringLiteral("Tavrilon");
    case DashboardTab::aiInsights: return QStringLiteral("AI Insights");
    case DashboardTab::processes: return QStringLiteral("Processes");
    case DashboardTab::network: return QStringLiteral("Network");
    case DashboardTab::battery: return QStringLiteral("Battery");
    case DashboardTab::disk: return QStringLiteral("Disk");
    case DashboardTab::maintenance: return QStringLiteral("Maintenance");
    case DashboardTab::history: return QStringLiteral("History");
    case DashboardTab::settings: return QStringLiteral("Settings");
    }
    return {};
}

std::optional<DashboardTab> fromRaw(const QString& raw)
{
    for (DashboardTab tab : all) {
        if (rawValue(tab) == raw) return tab;
    }
    return std::nullopt;
}

QString icon(DashboardTab tab)
{
    switch (tab) {
    case DashboardTab::overview: return QStringLiteral("gauge.with.dots.needle.33percent");
    case DashboardTab::tavrilon: return QStringLiteral("bubble.left.and.text.bubble.right.fill");
    case DashboardTab::aiInsights: return QStringLiteral("brain.head.profile");
    case DashboardTab::processes: return QStringLiteral("list.bullet.rectangle");
    case DashboardTab::network: return QStringLiteral("network");
    case DashboardTab::battery: return QStringLiteral("battery.100");
    case DashboardTab::disk: return QStringLiteral("internaldrive");
    case DashboardTab::maintenance: return QStringLiteral("wrench.and.screwdriver");
    case DashboardTab::history: return QStringLiteral("clock.arrow.circlepath");
    case DashboardTab::settings: return QStringLiteral("gearshape");
    }
    return {};
}

}  // namespace DashboardTabs
