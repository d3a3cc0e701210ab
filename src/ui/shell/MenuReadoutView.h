#pragma once

#include "ui/shell/MenuReadout.h"
#include "ui/theme/ThemeBinding.h"

#include <QWidget>

#include <functional>

class AppSettings;
class GPUMonitor;
class NetworkMonitor;
class PerformanceMonitor;
class PerformanceProfileManager;
class QLabel;
class QuickOptimizer;
class ScanLineOverlay;
class TavrilonHeroButton;
class TavrilonModePicker;
class TavrilonSwitchRow;
class ThemeManager;

struct MenuReadoutDeps {
    PerformanceMonitor& perf;
    NetworkMonitor& net;
    GPUMonitor* gpu;  // none: no GPU reading
    ThemeManager& themes;
    PerformanceProfileManager& profiles;
    AppSettings& settings;
    QuickOptimizer& optimizer;
    std::function<void()> openDashboard;
    std::function<void()> openSettings;
};

// The popover's content: a live readout of the machine (health ring, CPU, memory and disk
// cards, network, thermals, the busiest processes) and the quick controls below it. It keeps
// nothing of its own: every figure is read from the shared managers when they publish.
class MenuReadoutView : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 340;

    explicit MenuReadoutView(MenuReadoutDeps deps, QWidget* parent = nullptr);

    TavrilonModePicker* modePicker() const { return m_picker; }
    TavrilonHeroButton* optimizeButton() const { return m_hero; }
    QLabel* resultLine() const { return m_result; }
    QList<TavrilonSwitchRow*> switchRows() const { return m_switches; }
    QWidget* dashboardButton() const { return m_dashboardButton; }
    QWidget* settingsButton() const { return m_settingsButton; }

    // The readout's text as drawn, one section a line (what a screen reader is given).
    QString readoutText() const;

Q_SIGNALS:
    // The Dashboard or Settings button is about to open its window: the popover gives way.
    void openingWindow();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    class Body;
    class ModeHeading;
    class SwitchCard;
    class ClosingRule;
    void syncControls();

    MenuReadoutDeps m_d;
    ThemeBinding m_theme;
    MenuReadout::CoreCounts m_cores;
    Body* m_body = nullptr;
    TavrilonModePicker* m_picker = nullptr;
    TavrilonHeroButton* m_hero = nullptr;
    QLabel* m_result = nullptr;
    QList<TavrilonSwitchRow*> m_switches;
    QWidget* m_dashboardButton = nullptr;
    QWidget* m_settingsButton = nullptr;
    ScanLineOverlay* m_scanLines = nullptr;
};
