#pragma once

#include "monitoring/NetworkSnapshot.h"

#include <QList>
#include <QStringList>
#include <QWidget>

class AppSettings;
class NetworkMonitor;
class ThemeManager;
class TextView;
class QVBoxLayout;

// The Network tab's texts and chart points from the monitor's published state.
namespace NetworkTabModel {
inline constexpr int chartPoints = 60;
// The newest snapshots the chart draws, oldest first.
QList<NetworkSnapshot> chartHistory(const QList<NetworkSnapshot>& history);
QString totalText(const AppSettings& settings, uint64_t bytes);
QString connectionsText(int64_t count);
// The chart's vertical scale: a round top at or above the highest rate (at least 1 KB/s), in the
// rate formatter's base-1000 units (bits when `bits`), and the labels of its ticks at 0, half
// and the top, bottom first. `top` is in bytes per second.
struct ChartAxis {
    double top = 0;
    QStringList labels;
};
ChartAxis chartAxis(double highestBytesPerSecond, bool bits);
// The line under the connections header when no process list is published.
QString connectionsNote(int64_t activeConnections);
inline const QString collecting = QStringLiteral("Collecting data...");
inline const QString noInterfaceTitle = QStringLiteral("No network interface");
inline const QString noInterfaceHint =
    QStringLiteral("No wired, wireless, bridge, modem or USB tethering interface is present, so there is no traffic to count.");
}  // namespace NetworkTabModel

// The Network tab: download and upload rates with totals, the bandwidth chart and the count of
// established TCP connections. It keeps nothing; it redraws from the monitor and the settings.
class NetworkTab : public QWidget {
    Q_OBJECT
public:
    NetworkTab(NetworkMonitor& monitor, AppSettings& settings, ThemeManager& themes, QWidget* parent = nullptr);

    void refresh();
    TextView* downloadRate() const { return m_inRate; }
    TextView* uploadRate() const { return m_outRate; }
    TextView* downloadTotal() const { return m_inTotal; }
    TextView* connectionCount() const { return m_count; }
    // "Collecting data..." while fewer than two snapshots exist.
    QWidget* collectingNote() const { return m_collecting; }
    QWidget* chart() const;
    // Shown instead of the rates and the chart when the monitor counted no interface.
    QWidget* noInterfaceNotice() const { return m_noInterface; }
    QWidget* ratesRow() const { return m_rates; }
    QStringList connectionLines() const;

private:
    void scheduleRefresh();

    NetworkMonitor& m_monitor;
    AppSettings& m_settings;
    ThemeManager& m_themes;
    bool m_refreshQueued = false;
    QWidget* m_noInterface;
    QWidget* m_rates;
    QWidget* m_bandwidth;
    TextView* m_inRate;
    TextView* m_outRate;
    TextView* m_inTotal;
    TextView* m_outTotal;
    QWidget* m_collecting;
    class BandwidthChart* m_chart;
    TextView* m_count;
    QVBoxLayout* m_lines;
};
