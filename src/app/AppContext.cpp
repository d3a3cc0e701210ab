#include "app/AppContext.h"

#include "actions/AutoPilot.h"
#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "guards/AIShield.h"
#include "guards/SnoozeGuard.h"
#include "guards/TavrilonWatcher.h"
#include "guards/WorkGuard.h"
#include "monitoring/BatteryMonitor.h"
#include "monitoring/GPUMonitor.h"
#include "monitoring/ManualProfileChoice.h"
#include "monitoring/NetworkMonitor.h"
#include "monitoring/NoBatteryLevelSource.h"
#include "monitoring/NoCacheCleaner.h"
#include "monitoring/NoTemperatureSource.h"
#include "monitoring/NotificationManager.h"
#include "monitoring/PerformanceMonitor.h"
#include "monitoring/ProcessManager.h"
#include "monitoring/ThresholdThrottleAdvisor.h"
#include "optimisation/AIWorkloadMode.h"
#include "optimisation/PerformanceProfileManager.h"
#include "optimisation/ProactiveOptimizer.h"
#include "optimisation/iCloudManager.h"
#include "platform/linux/LinuxProcessControl.h"
#include "platform/linux/ProcHostCpuSource.h"
#include "platform/linux/ProcMemorySource.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "platform/linux/StatvfsVolumeSource.h"
#include "platform/linux/SysfsThermalStateSource.h"
#include "services/TavrilonFleetClient.h"
#include "services/TelemetryCollector.h"
#include "services/VRAXClient.h"
#include "ui/shell/DesktopHUDController.h"
#include "ui/shell/HotkeyManager.h"
#include "ui/shell/LoginItemController.h"
#include "ui/shell/StatusItemController.h"
#include "ui/theme/ThemeManager.h"

#include <QGuiApplication>

namespace {
AppContext* g_instance = nullptr;
}

struct AppContext::MonitoringParts {
    ProcHostCpuSource hostCpu;
    ProcMemorySource memory;
    StatvfsVolumeSource volume;
    SysfsThermalStateSource thermal;
    ProcfsProcessTable processTable;
    LinuxProcessControl processControl;
    // Stand-ins until the temperature monitor, the disk cleaner, the battery monitor, the
    // learning engine and the profile engine implement these.
    NoTemperatureSource temperature;
    NoCacheCleaner cleaner;
    NoBatteryLevelSource battery;
    ThresholdThrottleAdvisor advisor;
    ManualProfileChoice profileChoice;
};

AppContext::AppContext()
{
    Q_ASSERT(!g_instance);
    g_instance = this;

    m_defaults = std::make_unique<UserDefaults>(UserDefaults::defaultPath());
    m_settings = std::make_unique<AppSettings>(*m_defaults, m_clock);
    m_theme = std::make_unique<ThemeManager>();
    m_statusItem = std::make_unique<StatusItemController>();
    m_desktopHUD = std::make_unique<DesktopHUDController>();
    m_loginItem = std::make_unique<LoginItemController>();
    m_hotkey = std::make_unique<HotkeyManager>();
    m_vrax = std::make_unique<VRAXClient>();
    m_fleet = std::make_unique<TavrilonFleetClient>();
    m_telemetry = std::make_unique<TelemetryCollector>(*m_settings);
    m_snoozeGuard = std::make_unique<SnoozeGuard>();
    m_aiShield = std::make_unique<AIShield>();
    m_workGuard = std::make_unique<WorkGuard>();
    m_watcher = std::make_unique<TavrilonWatcher>();
    m_proactiveOptimizer = std::make_unique<ProactiveOptimizer>();
    m_monitoringParts = std::make_unique<MonitoringParts>();
    MonitoringParts& parts = *m_monitoringParts;
    m_processManager = std::make_unique<ProcessManager>(parts.processControl, m_scheduler);
    m_notifications = std::make_unique<NotificationManager>(m_clock);
    m_performanceMonitor = std::make_unique<PerformanceMonitor>(
        SamplerPlatform{parts.hostCpu, parts.memory, parts.volume, parts.thermal, parts.processTable},
        MonitorCollaborators{
            .settings = *m_settings,
            .clock = m_clock,
            .scheduler = m_scheduler,
            .processControl = parts.processControl,
            .incidents = *m_processManager,
            .notifier = *m_notifications,
            .temperature = parts.temperature,
            .cleaner = parts.cleaner,
            .battery = parts.battery,
            .advisor = parts.advisor,
            .profiles = parts.profileChoice,
        });
    m_batteryMonitor = std::make_unique<BatteryMonitor>();
    m_networkMonitor = std::make_unique<NetworkMonitor>();
    m_gpuMonitor = std::make_unique<GPUMonitor>();
    m_cloudManager = std::make_unique<iCloudManager>();
    m_autoPilot = std::make_unique<AutoPilot>();
    m_aiWorkloadMode = std::make_unique<AIWorkloadMode>();
    m_profiles = std::make_unique<PerformanceProfileManager>(*m_defaults);

    m_delegate = std::make_unique<AppDelegate>(AppServices{
        .setAccessoryPolicy = [] { QGuiApplication::setQuitOnLastWindowClosed(false); },
        .statusItem = *m_statusItem,
        .desktopHUD = *m_desktopHUD,
        .defaults = *m_defaults,
        .settings = [this]() -> AppSettings& { return *m_settings; },
        .loginItem = *m_loginItem,
        .hotkey = *m_hotkey,
        .vrax = *m_vrax,
        .fleet = *m_fleet,
        .telemetry = *m_telemetry,
        .snoozeGuard = *m_snoozeGuard,
        .aiShield = *m_aiShield,
        .workGuard = *m_workGuard,
        .proactiveOptimizer = *m_proactiveOptimizer,
        .notifications = *m_notifications,
        .performanceMonitor = *m_performanceMonitor,
        .batteryMonitor = *m_batteryMonitor,
        .networkMonitor = *m_networkMonitor,
        .cloudManager = *m_cloudManager,
        .autoPilot = *m_autoPilot,
        .aiWorkloadMode = *m_aiWorkloadMode,
        .gpuMonitor = *m_gpuMonitor,
        .watcher = *m_watcher,
        .profiles = *m_profiles,
        .scheduler = m_scheduler,
    });
}

AppContext::~AppContext()
{
    // Members go in reverse order of construction; the delegate first.
    m_delegate.reset();
    g_instance = nullptr;
}

AppContext& AppContext::instance()
{
    Q_ASSERT(g_instance);
    return *g_instance;
}

// The shared accessors of the managers answer with the composition root's instances.
AppSettings& AppSettings::shared() { return AppContext::instance().settings(); }
ThemeManager& ThemeManager::shared() { return AppContext::instance().theme(); }
StatusItemController& StatusItemController::shared() { return AppContext::instance().statusItem(); }
DesktopHUDController& DesktopHUDController::shared() { return AppContext::instance().desktopHUD(); }
LoginItemController& LoginItemController::shared() { return AppContext::instance().loginItem(); }
HotkeyManager& HotkeyManager::shared() { return AppContext::instance().hotkey(); }
VRAXClient& VRAXClient::shared() { return AppContext::instance().vrax(); }
TavrilonFleetClient& TavrilonFleetClient::shared() { return AppContext::instance().fleet(); }
TelemetryCollector& TelemetryCollector::shared() { return AppContext::instance().telemetry(); }
SnoozeGuard& SnoozeGuard::shared() { return AppContext::instance().snoozeGuard(); }
AIShield& AIShield::shared() { return AppContext::instance().aiShield(); }
WorkGuard& WorkGuard::shared() { return AppContext::instance().workGuard(); }
TavrilonWatcher& TavrilonWatcher::shared() { return AppContext::instance().watcher(); }
ProactiveOptimizer& ProactiveOptimizer::shared() { return AppContext::instance().proactiveOptimizer(); }
ProcessManager& ProcessManager::shared() { return AppContext::instance().processManager(); }
NotificationManager& NotificationManager::shared() { return AppContext::instance().notifications(); }
PerformanceMonitor& PerformanceMonitor::shared() { return AppContext::instance().performanceMonitor(); }
BatteryMonitor& BatteryMonitor::shared() { return AppContext::instance().batteryMonitor(); }
NetworkMonitor& NetworkMonitor::shared() { return AppContext::instance().networkMonitor(); }
GPUMonitor& GPUMonitor::shared() { return AppContext::instance().gpuMonitor(); }
iCloudManager& iCloudManager::shared() { return AppContext::instance().cloudManager(); }
AutoPilot& AutoPilot::shared() { return AppContext::instance().autoPilot(); }
AIWorkloadMode& AIWorkloadMode::shared() { return AppContext::instance().aiWorkloadMode(); }
PerformanceProfileManager& PerformanceProfileManager::shared() { return AppContext::instance().profiles(); }
