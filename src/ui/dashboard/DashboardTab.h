#pragma once

#include <QString>
#include <array>
#include <optional>

// The dashboard's tabs in sidebar order; the raw value is the title on the tab's button.
enum class DashboardTab { overview, tavrilon, aiInsights, processes, network, battery, disk, maintenance, history, settings };

namespace DashboardTabs {

inline constexpr std::array<DashboardTab, 10> all = {
    DashboardTab::overview, DashboardTab::tavrilon, DashboardTab::aiInsights,  DashboardTab::processes,
    DashboardTab::network,  DashboardTab::battery,  DashboardTab::disk,        DashboardTab::maintenance,
    DashboardTab::history,  DashboardTab::settings};

QString rawValue(DashboardTab tab);
// Exactly one of the ten titles, case-sensitive.
std::optional<DashboardTab> fromRaw(const QString& raw);
QString icon(DashboardTab tab);

}  // namespace DashboardTabs
