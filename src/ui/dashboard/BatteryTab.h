#pragma once

#include <QWidget>

class BatteryMonitor;
class ThemeManager;
class QLabel;
class QVBoxLayout;

// The Battery tab: the level ring with the charging word, the detail rows and the level chart,
// or a notice when the machine has no battery. It keeps nothing; it redraws from the monitor.
class BatteryTab : public QWidget {
    Q_OBJECT
public:
    BatteryTab(BatteryMonitor& monitor, ThemeManager& themes, QWidget* parent = nullptr);

    void refresh();
    QWidget* placeholder() const { return m_placeholder; }
    QWidget* statusCard() const { return m_status; }
    QWidget* historyCard() const { return m_history; }
    // Label and value of each shown detail row.
    QList<QPair<QString, QString>> shownRows() const;
    QString ringText() const;
    QString ringWord() const;

private:
    void scheduleRefresh();

    BatteryMonitor& m_monitor;
    ThemeManager& m_themes;
    bool m_refreshQueued = false;
    QWidget* m_placeholder;
    QWidget* m_status;
    class BatteryRing* m_ring;
    QVBoxLayout* m_rows;
    QWidget* m_history;
    class BatteryChart* m_chart;
};
