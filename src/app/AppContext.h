#pragma once

#include "app/AppDelegate.h"
#include "core/Clock.h"
#include "core/Scheduler.h"

#include <functional>
#include <memory>

class AIEngine;
class AIShield;
class AIShieldV1;
class LsofOpenFilesReader;
class ProcOpenFilesReader;
class ProcProcessInventory;
class SerialQueue;
class DashboardWindowController;
class QuitShortcut;
class AssistantStandIns;
class ModelBackendClient;
class ModelRouter;
class TavrilonChatController;
struct AssistantServices;
class ActionGate;
class AIWorkloadMode;
class AppSettings;
class AutoPilot;
class BatteryMonitor;
class DesktopHUDController;
class XcbAllDesktopsPin;
class KeyEventSource;
class SnoozeWatcher;
class SnoozeAlertPresenter;
class OutputVolume;
class PaplayAlarmSound;
class SnoozeBlackoutAI;
class SnoozePauseForwarder;
class QWidget;
class Executor;
class EpitopeLibrary;
class DiskCleaner;
class GPUMonitor;
class HIDThermalReader;
class HwmonReader;
class IncidentLedger;
class MonitorState;
class NetStatsReader;
class PowerSupplyReader;
class ProcessControl;
class SMCKeySource;
class SMCReader;
class TcpTableReader;
class ThermalZoneReader;
class HotkeyManager;
class LinuxPermissionProbes;
class PermissionsCenter;
class QuickOptimizer;
class XcbGlobalShortcut;
class LoginItemController;
class AutostartLoginItem;
class MaintenanceTools;
class MemoryReliefAction;
class MonitorState;
class NetworkMonitor;
class NotificationManager;
class OutcomeHarness;
class PerformanceMonitor;
class PerformanceProfileManager;
class ProactiveOptimizer;
class ReversibleShell;
class ProcessManager;
class SnoozeGuard;
class StatusItemController;
class TavrilonFleetClient;
class TavrilonWatcher;
class TelemetryCollector;
class ThemeManager;
class UpdateChecker;
class LinuxHostFacts;
class MachineIdentity;
class UserDataCenter;
class UserDefaults;
class VRAXClient;
class WorkGuard;
class LogindSleepWatch;
class iCloudManager;
class ClientVRAXFeed;
class CheckerUpdateFeed;
class CenterUserDataFeed;
class ShieldSettingsControls;
class SettingsWindowController;
struct SettingsEnvironment;

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
    ActionGate& actionGate() { return *m_actionGate; }
    EpitopeLibrary& epitopes() { return *m_epitopes; }
    ReversibleShell& reversibleShell() { return *m_shell; }
    OutcomeHarness& outcomeHarness() { return *m_outcomeHarness; }
    MemoryReliefAction& memoryRelief() { return *m_memoryRelief; }
    ModelRouter& modelRouter() { return *m_modelRouter; }
    // What the chat controllers are built with.
    const AssistantServices& assistantServices() { return *m_assistantServices; }

    StatusItemController& statusItem() { return *m_statusItem; }
    DesktopHUDController& desktopHUD() { return *m_desktopHUD; }
    LoginItemController& loginItem() { return *m_loginItem; }
    HotkeyManager& hotkey() { return *m_hotkey; }
    PermissionsCenter& permissions() { return *m_permissions; }
    VRAXClient& vrax() { return *m_vrax; }
    TavrilonFleetClient& fleet() { return *m_fleet; }
    TelemetryCollector& telemetry() { return *m_telemetry; }
    UpdateChecker& updateChecker() { return *m_updateChecker; }
    UserDataCenter& userDataCenter() { return *m_userDataCenter; }
    SnoozeGuard& snoozeGuard() { return *m_snoozeGuard; }
    AIShield& aiShield() { return *m_aiShield; }
    AIShieldV1& aiShieldBoundaryWatch() { return *m_aiShieldV1; }
    WorkGuard& workGuard() { return *m_workGuard; }
    TavrilonWatcher& watcher() { return *m_watcher; }
    ProactiveOptimizer& proactiveOptimizer() { return *m_proactiveOptimizer; }
    ProcessManager& processManager() { return *m_processManager; }
    NotificationManager& notifications() { return *m_notifications; }
    DiskCleaner& diskCleaner() { return *m_diskCleaner; }
    PerformanceMonitor& performanceMonitor() { return *m_performanceMonitor; }
    BatteryMonitor& batteryMonitor() { return *m_batteryMonitor; }
    NetworkMonitor& networkMonitor() { return *m_networkMonitor; }
    GPUMonitor& gpuMonitor() { return *m_gpuMonitor; }
    HIDThermalReader& hidThermalReader() { return *m_hidThermalReader; }
    SMCReader& smcReader() { return *m_smcReader; }
    iCloudManager& cloudManager() { return *m_cloudManager; }
    AutoPilot& autoPilot() { return *m_autoPilot; }
    AIWorkloadMode& aiWorkloadMode() { return *m_aiWorkloadMode; }
    PerformanceProfileManager& profiles() { return *m_profiles; }
    ThemeManager& theme() { return *m_theme; }
    AIEngine& aiEngine() { return *m_aiEngine; }
    MaintenanceTools& maintenanceTools() { return *m_maintenanceTools; }
    // The dashboard window (opened at launch, by the address and by a second start).
    DashboardWindowController& dashboard() { return *m_dashboard; }
    // The settings window (the status menu, the popover's Settings button).
    SettingsWindowController& settingsWindow() { return *m_settingsWindow; }

private:
    // The HUD's content, built at its first show from the managers below.
    QWidget* makeHUDContent(std::function<void()> close);

    SystemClock m_clock;
    QtScheduler m_scheduler;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<AppSettings> m_settings;
    // The platform: declared before the managers so it outlives them and their queued work.
    std::unique_ptr<PowerSupplyReader> m_powerSupply;
    std::unique_ptr<NetStatsReader> m_netStats;
    std::unique_ptr<TcpTableReader> m_tcpTables;
    std::unique_ptr<HwmonReader> m_hwmon;
    std::unique_ptr<ThermalZoneReader> m_thermalZones;
    std::unique_ptr<SMCKeySource> m_smcKeys;
    std::unique_ptr<HIDThermalReader> m_hidThermalReader;
    std::unique_ptr<SMCReader> m_smcReader;
    std::unique_ptr<ActionGate> m_actionGate;
    std::unique_ptr<EpitopeLibrary> m_epitopes;
    std::unique_ptr<ReversibleShell> m_shell;
    std::unique_ptr<AssistantStandIns> m_assistantStandIns;
    std::unique_ptr<ModelBackendClient> m_modelBackends;
    std::unique_ptr<ModelRouter> m_modelRouter;
    std::unique_ptr<AssistantServices> m_assistantServices;
    std::unique_ptr<ThemeManager> m_theme;
    std::unique_ptr<XcbAllDesktopsPin> m_allDesktopsPin;
    std::unique_ptr<DesktopHUDController> m_desktopHUD;
    std::unique_ptr<AutostartLoginItem> m_autostart;
    std::unique_ptr<LoginItemController> m_loginItem;
    std::unique_ptr<LinuxHostFacts> m_hostFacts;
    std::unique_ptr<MachineIdentity> m_machineIdentity;
    std::unique_ptr<TelemetryCollector> m_telemetry;
    std::unique_ptr<UpdateChecker> m_updateChecker;
    std::unique_ptr<KeyEventSource> m_keyEvents;
    std::unique_ptr<SnoozeWatcher> m_stuckKeyWatcher;
    std::unique_ptr<SnoozeWatcher> m_drowsinessDetector;
    // The alert window and what it uses; the guard shows alerts through it and it calls back into
    // the guard through the forwarder, so the window goes after the guard and before these.
    std::unique_ptr<OutputVolume> m_outputVolume;
    std::unique_ptr<PaplayAlarmSound> m_alarmSound;
    std::unique_ptr<SnoozeBlackoutAI> m_blackoutAI;
    std::unique_ptr<SnoozePauseForwarder> m_snoozePause;
    std::unique_ptr<SnoozeAlertPresenter> m_snoozeAlert;
    std::unique_ptr<SnoozeGuard> m_snoozeGuard;
    std::unique_ptr<ProcProcessInventory> m_aiProcessInventory;
    std::unique_ptr<LsofOpenFilesReader> m_lsof;
    std::unique_ptr<ProcOpenFilesReader> m_procOpenFiles;
    std::unique_ptr<AIShield> m_aiShield;
    // Before Work Guard, which holds it.
    std::unique_ptr<LogindSleepWatch> m_sleepWatch;
    std::unique_ptr<AIShieldV1> m_aiShieldV1;
    std::unique_ptr<WorkGuard> m_workGuard;
    std::unique_ptr<TavrilonWatcher> m_watcher;
    std::unique_ptr<ProactiveOptimizer> m_proactiveOptimizer;
    // Before the sampling engine, which drives its automatic choice, so it outlives it.
    std::unique_ptr<PerformanceProfileManager> m_profiles;
    // The Linux readers and the stand-ins for engines not built yet, which the monitors use.
    struct MonitoringParts;
    std::unique_ptr<MonitoringParts> m_monitoringParts;
    std::unique_ptr<ProcessManager> m_processManager;
    std::unique_ptr<NotificationManager> m_notifications;
    std::unique_ptr<DiskCleaner> m_diskCleaner;
    std::unique_ptr<PerformanceMonitor> m_performanceMonitor;
    std::unique_ptr<BatteryMonitor> m_batteryMonitor;
    std::unique_ptr<NetworkMonitor> m_networkMonitor;
    std::unique_ptr<GPUMonitor> m_gpuMonitor;
    std::unique_ptr<OutcomeHarness> m_outcomeHarness;
    std::unique_ptr<MemoryReliefAction> m_memoryRelief;
    std::unique_ptr<iCloudManager> m_cloudManager;
    std::unique_ptr<AutoPilot> m_autoPilot;
    std::unique_ptr<AIWorkloadMode> m_aiWorkloadMode;
    std::unique_ptr<AIEngine> m_aiEngine;
    std::unique_ptr<MaintenanceTools> m_maintenanceTools;
    // They read the monitors, the gate and the optimizer, so they go before them; the fleet's
    // actions run on the utility queue, which goes before it.
    std::unique_ptr<VRAXClient> m_vrax;
    std::unique_ptr<TavrilonFleetClient> m_fleet;
    // Background readings of the monitors. Declared after them so it is destroyed first: its
    // destructor waits for running readings while the managers they report to still exist.
    std::unique_ptr<Executor> m_utilityQueue;
    // Its exports, walks and moves run on the utility queue, so it goes before it.
    std::unique_ptr<UserDataCenter> m_userDataCenter;
    // AI Shield's poll and log lines, and its boundary scans (the open-files tool may take seconds).
    std::unique_ptr<SerialQueue> m_shieldQueue;
    std::unique_ptr<SerialQueue> m_boundaryQueue;
    // The shell: after the managers it reads, so it goes first.
    std::unique_ptr<XcbGlobalShortcut> m_globalShortcut;
    std::unique_ptr<HotkeyManager> m_hotkey;
    std::unique_ptr<QuickOptimizer> m_quickOptimizer;
    std::unique_ptr<StatusItemController> m_statusItem;
    std::unique_ptr<LinuxPermissionProbes> m_permissionProbes;
    std::unique_ptr<PermissionsCenter> m_permissions;
    std::unique_ptr<AppDelegate> m_delegate;
    // What the settings pages read of the services that do not publish it themselves.
    std::unique_ptr<ClientVRAXFeed> m_vraxFeed;
    std::unique_ptr<ShieldSettingsControls> m_shieldControls;
    std::unique_ptr<CheckerUpdateFeed> m_updateFeed;
    std::unique_ptr<CenterUserDataFeed> m_userDataFeed;
    // The dashboard chat's conversation, kept for the life of the process; after the managers
    // it drives, before the window that shows it.
    std::unique_ptr<TavrilonChatController> m_chat;
    // Declared last: the window goes before every manager it reads.
    std::unique_ptr<DashboardWindowController> m_dashboard;
    std::unique_ptr<SettingsEnvironment> m_settingsEnvironment;
    std::unique_ptr<SettingsWindowController> m_settingsWindow;
    std::unique_ptr<QuitShortcut> m_quitShortcut;
};
