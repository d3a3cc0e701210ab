#pragma once

#include "ui/dashboard/DashboardEnvironment.h"

#include <QList>
#include <QWidget>

class DiskCard;
class HealthRing;
class HistoryChartCard;
class IconTextRow;
class NetworkCard;
class ProfileLabelView;
class ScoreBar;
class ThermalCard;
class TopProcessCard;

// The Overview tab: the health header (ring, part scores, profile, warnings), the CPU and
// memory-pressure charts and the four status cards. It keeps nothing: whenever a manager it
// reads publishes, it reads them all again once the current event is done.
class OverviewTab : public QWidget {
    Q_OBJECT
public:
    explicit OverviewTab(const DashboardEnvironment& env, QWidget* parent = nullptr);

    // Reads the managers and shows what they publish now.
    void refresh();

    HealthRing* healthRing() const { return m_ring; }
    const QList<ScoreBar*>& scoreBars() const { return m_bars; }
    ProfileLabelView* profileLabel() const { return m_profile; }
    IconTextRow* memoryLeakBanner() const { return m_leakBanner; }
    IconTextRow* diskFullBanner() const { return m_diskBanner; }
    HistoryChartCard* cpuChart() const { return m_cpuChart; }
    HistoryChartCard* memoryChart() const { return m_memoryChart; }
    DiskCard* diskCard() const { return m_diskCard; }
    ThermalCard* thermalCard() const { return m_thermalCard; }
    TopProcessCard* topProcessCard() const { return m_topProcessCard; }
    NetworkCard* networkCard() const { return m_networkCard; }

private:
    void scheduleRefresh();
    void refreshNetwork();

    DashboardEnvironment m_env;
    bool m_refreshQueued = false;
    bool m_stale = false;
    HealthRing* m_ring;
    QList<ScoreBar*> m_bars;
    ProfileLabelView* m_profile;
    IconTextRow* m_leakBanner;
    IconTextRow* m_diskBanner;
    HistoryChartCard* m_cpuChart;
    HistoryChartCard* m_memoryChart;
    DiskCard* m_diskCard;
    ThermalCard* m_thermalCard;
    TopProcessCard* m_topProcessCard;
    NetworkCard* m_networkCard;
};
