#pragma once

#include "ui/dashboard/TavrilonTab.h"

class AIEngine;
class AppSettings;
class BatteryMonitor;
class NetworkMonitor;
class PerformanceMonitor;
class PerformanceProfileManager;
class ThemeManager;

// The shared managers the dashboard reads (all on the main thread), and what its Tavrilon tab
// is built with. Every one outlives the window.
struct DashboardEnvironment {
    PerformanceMonitor& monitor;
    AppSettings& settings;
    PerformanceProfileManager& profileManager;
    BatteryMonitor& batteryMonitor;
    NetworkMonitor& networkMonitor;
    AIEngine& aiEngine;
    ThemeManager& themeManager;
    TavrilonTabDeps tavrilon;
};
