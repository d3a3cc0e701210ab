#pragma once

#include "ui/dashboard/TavrilonTab.h"

#include <functional>

class AIEngine;
class AppSettings;
class Clock;
class IncidentLedger;
class ProcessControl;
class ProcessStopper;
class BatteryMonitor;
class DiskCleaner;
class EpitopeLibrary;
class MaintenanceTools;
class NetworkMonitor;
class PerformanceMonitor;
class PerformanceProfileManager;
class TavrilonWatcher;
class ThemeManager;
struct SettingsEnvironment;

// What the Processes tab's buttons act through: the process manager (its stopping and its
// incident count), the priority control, and the clock that stamps the history entries.
struct ProcessTabDeps {
    ProcessStopper& stopper;
    IncidentLedger& incidents;
    ProcessControl& control;
    const Clock& clock;
};

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
    ProcessTabDeps processes;
    // The Disk tab's cleaner and where it records the measured outcome; without a cleaner the
    // tab stays a title.
    DiskCleaner* diskCleaner = nullptr;
    EpitopeLibrary* epitopes = nullptr;
    // What the Settings tab's settings view is built with; without it the tab stays a title.
    const SettingsEnvironment* settingsView = nullptr;
    // The Maintenance tab's tools; without them the tab stays a title.
    MaintenanceTools* maintenanceTools = nullptr;
    // The watchers, whose settings the Settings tab shows until the settings window hosts them.
    TavrilonWatcher* watcher = nullptr;
    // Quits the application with the same shutdown as the tray's Quit.
    std::function<void()> quit;
    // Whether a tray shows the application's icon now. Without one nothing could bring a closed
    // dashboard back, so closing it quits.
    std::function<bool()> trayHostPresent;
};
