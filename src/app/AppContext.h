#pragma once

#include "app/AppDelegate.h"
#include "core/Clock.h"
#include "core/Scheduler.h"

#include <memory>

class AIShield;
class AIWorkloadMode;
class AppSettings;
class AutoPilot;
class BatteryMonitor;
class DesktopHUDController;
class GPUMonitor;
class HotkeyManager;
class LoginItemController;
class NetworkMonitor;
class NotificationManager;
class PerformanceMonitor;
class PerformanceProfileManager;
class ProactiveOptimizer;
class ProcessManager;
class SnoozeGuard;
class StatusItemController;
class TavrilonFleetClient;
class TavrilonWatcher;
class TelemetryCollector;
class ThemeManager;
class UserDefaults;
class VRAXClient;
class WorkGuard;
class iCloudManager;

// The composition root: builds every manager once, in dependency order, on the real Linux
// platform, and owns them for the life of the process. X::shared() answers from here.
class AppContext {
public:
    AppContext();
    ~AppContext();

    static AppContext& instance();

    Clock& clock() { return m_clock; }
    Scheduler& scheduler() { return m_scheduler; }
    UserDefaults& defaults() { return *m_defaults; }
    AppSettings& settings() { return *m_settings; }
    AppDelegate& delegate() { return *m_delegate; }

    StatusItemController& statusItem() { return *m_statusItem; }
    DesktopHUDController& desktopHUD() { return *m_desktopHUD; }
    LoginItemController& loginItem() { return *m_loginItem; }
    HotkeyManager& hotkey() { return *m_hotkey; }
    VRAXClient& vrax() { return *m_vrax; }
    TavrilonFleetClient& fleet() { return *m_fleet; }
    TelemetryCollector& telemetry() { return *m_telemetry; }
    SnoozeGuard& snoozeGuard() { return *m_snoozeGuard; }
    AIShield& aiShield() { return *m_aiShield; }
    WorkGuard& workGuard() { return *m_workGuard; }
    TavrilonWatcher& watcher() { return *m_watcher; }
    ProactiveOptimizer& proactiveOptimizer() { return *m_proactiveOptimizer; }
    ProcessManager& processManager() { return *m_processManager; }
    NotificationManager& notifications() { return *m_notifications; }
    PerformanceMonitor& performanceMonitor() { return *m_performanceMonitor; }
    BatteryMonitor& batteryMonitor() { return *m_batteryMonitor; }
    NetworkMonitor& networkMonitor() { return *m_networkMonitor; }
    GPUMonitor& gpuMonitor() { return *m_gpuMonitor; }
    iCloudManager& cloudManager() { return *m_cloudManager; }
    AutoPilot& autoPilot() { return *m_autoPilot; }
    AIWorkloadMode& aiWorkloadMode() { return *m_aiWorkloadMode; }
    PerformanceProfileManager& profiles() { return *m_profiles; }
    ThemeManager& theme() { return *m_theme; }

private:
    SystemClock m_clock;
    QtScheduler m_scheduler;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<ThemeManager> m_theme;
    std::unique_ptr<StatusItemController> m_statusItem;
    std::unique_ptr<DesktopHUDController> m_desktopHUD;
    std::unique_ptr<LoginItemController> m_loginItem;
    std::unique_ptr<HotkeyManager> m_hotkey;
    std::unique_ptr<VRAXClient> m_vrax;
    std::unique_ptr<TavrilonFleetClient> m_fleet;
    std::unique_ptr<TelemetryCollector> m_telemetry;
    std::unique_ptr<SnoozeGuard> m_snoozeGuard;
    std::unique_ptr<AIShield> m_aiShield;
    std::unique_ptr<WorkGuard> m_workGuard;
    std::unique_ptr<TavrilonWatcher> m_watcher;
    std::unique_ptr<ProactiveOptimizer> m_proactiveOptimizer;
    // The Linux readers and the stand-ins for engines not built yet, which the monitors use.
    struct MonitoringParts;
    std::unique_ptr<MonitoringParts> m_monitoringParts;
    std::unique_ptr<ProcessManager> m_processManager;
    std::unique_ptr<NotificationManager> m_notifications;
    std::unique_ptr<PerformanceMonitor> m_performanceMonitor;
    std::unique_ptr<BatteryMonitor> m_batteryMonitor;
    std::unique_ptr<NetworkMonitor> m_networkMonitor;
    std::unique_ptr<GPUMonitor> m_gpuMonitor;
    std::unique_ptr<iCloudManager> m_cloudManager;
    std::unique_ptr<AutoPilot> m_autoPilot;
    std::unique_ptr<AIWorkloadMode> m_aiWorkloadMode;
    std::unique_ptr<PerformanceProfileManager> m_profiles;
    std::unique_ptr<AppDelegate> m_delegate;
};
