#include "app/AppContext.h"

#include "actions/ActionGate.h"
#include "actions/AutoPilot.h"
#include "actions/EpitopeLibrary.h"
#include "actions/MemoryReliefAction.h"
#include "actions/OutcomeHarness.h"
#include "actions/ReversibleShell.h"
#include "assistant/AssistantServices.h"
#include "assistant/DnsFlusher.h"
#include "assistant/InsightSource.h"
#include "assistant/MemoryRelief.h"
#include "assistant/ModelBackendClient.h"
#include "assistant/ModelRouter.h"
#include "monitoring/BatteryLevelSource.h"
#include "monitoring/CacheCleaner.h"
#include "monitoring/IncidentLedger.h"
#include "platform/linux/LinuxProcessSignals.h"
#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "guards/AIShield.h"
#include "guards/SnoozeGuard.h"
#include "guards/TavrilonWatcher.h"
#include "guards/WorkGuard.h"
#include "monitoring/BatteryMonitor.h"
#include "monitoring/GPUMonitor.h"
#include "monitoring/MonitorState.h"
#include "monitoring/NetworkMonitor.h"
#include "monitoring/NotificationManager.h"
#include "monitoring/PerformanceMonitor.h"
#include "optimisation/AIWorkloadMode.h"
#include "optimisation/PerformanceProfileManager.h"
#include "optimisation/ProactiveOptimizer.h"
#include "optimisation/iCloudManager.h"
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

// Stands in for the sampling engine's published state until PerformanceMonitor publishes
// through MonitorState; wire *m_performanceMonitor in its place then. Measurements see no
// samples meanwhile (deltas 0, temperature unmeasurable).
class NoPublishedSamples final : public MonitorState {
public:
    PerformanceSnapshot currentSnapshot() const override { return {}; }
    HealthScore currentHealth() const override { return {}; }
    QList<ProcessInfoItem> topProcesses() const override { return {}; }
    void logAction(const ActionRecord&) override {}
};
}

// What the assistant reads and drives of engines that have not landed yet. Each stands for
// the real class until it does: the battery monitor (BatteryLevelSource), the learning
// engine's insights (InsightSource), the disk cleaner (CacheCleaner), the maintenance tools'
// DNS flush (DnsFlusher) and the process manager's incident ledger (IncidentLedger).
class AssistantStandIns final : public BatteryLevelSource,
                                public InsightSource,
                                public CacheCleaner,
                                public DnsFlusher,
                                public IncidentLedger {
public:
    int batteryLevel() const override { return -1; }
    bool isCharging() const override { return false; }
    QList<InsightItem> insights() const override { return {}; }
    QList<CleanupTarget> cleanSafeTargets() override { return {}; }
    QList<CleanupTarget> emergencyCleanup() override { return {}; }
    void flushDNS(std::function<void(Status)> completion) override
    {
        completion(Status::failure(QStringLiteral("not available")));
    }
    void recordIncident(const QString&) override {}
    QList<QPair<QString, int>> sortedIncidents() const override { return {}; }
};

AppContext::AppContext()
{
    Q_ASSERT(!g_instance);
    g_instance = this;

    m_defaults = std::make_unique<UserDefaults>(UserDefaults::defaultPath());
    m_settings = std::make_unique<AppSettings>(*m_defaults, m_clock);
    m_actionGate = std::make_unique<ActionGate>(*m_defaults, m_clock);
    m_epitopes = std::make_unique<EpitopeLibrary>(m_clock);
    m_shell = std::make_unique<ReversibleShell>(*m_actionGate, m_scheduler);
    m_publishedState = std::make_unique<NoPublishedSamples>();
    m_outcomeHarness = std::make_unique<OutcomeHarness>(*m_publishedState, m_scheduler, m_clock);
    m_memoryRelief = std::make_unique<MemoryReliefAction>(*m_outcomeHarness, *m_actionGate, *m_shell, *m_epitopes,
                                                          &performMemoryRelief);
    m_processSignals = std::make_unique<LinuxProcessSignals>();
    m_assistantStandIns = std::make_unique<AssistantStandIns>();
    m_modelBackends = std::make_unique<ModelBackendClient>(*m_settings);
    m_modelRouter = std::make_unique<ModelRouter>(*m_settings, *m_modelBackends,
                                                  [this](const QString& label, bool isFrontier) {
                                                      ActionGate::recordActiveModel(*m_defaults, label, isFrontier);
                                                  });
    m_theme = std::make_unique<ThemeManager>(*m_defaults);
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
    m_notifications = std::make_unique<NotificationManager>();
    m_performanceMonitor = std::make_unique<PerformanceMonitor>();
    m_batteryMonitor = std::make_unique<BatteryMonitor>();
    m_networkMonitor = std::make_unique<NetworkMonitor>();
    m_gpuMonitor = std::make_unique<GPUMonitor>();
    m_cloudManager = std::make_unique<iCloudManager>();
    m_autoPilot = std::make_unique<AutoPilot>();
    m_aiWorkloadMode = std::make_unique<AIWorkloadMode>();
    m_profiles = std::make_unique<PerformanceProfileManager>(*m_defaults);
    m_assistantServices = std::make_unique<AssistantServices>(AssistantServices{
        .monitor = *m_publishedState,
        .battery = *m_assistantStandIns,
        .profiles = *m_profiles,
        .insights = *m_assistantStandIns,
        .cleaner = *m_assistantStandIns,
        .dns = *m_assistantStandIns,
        .processes = *m_processSignals,
        .incidents = *m_assistantStandIns,
    });

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
ActionGate& ActionGate::shared() { return AppContext::instance().actionGate(); }
EpitopeLibrary& EpitopeLibrary::shared() { return AppContext::instance().epitopes(); }
ReversibleShell& ReversibleShell::shared() { return AppContext::instance().reversibleShell(); }
OutcomeHarness& OutcomeHarness::shared() { return AppContext::instance().outcomeHarness(); }
MemoryReliefAction& MemoryReliefAction::shared() { return AppContext::instance().memoryRelief(); }
ModelRouter& ModelRouter::shared() { return AppContext::instance().modelRouter(); }
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
NotificationManager& NotificationManager::shared() { return AppContext::instance().notifications(); }
PerformanceMonitor& PerformanceMonitor::shared() { return AppContext::instance().performanceMonitor(); }
BatteryMonitor& BatteryMonitor::shared() { return AppContext::instance().batteryMonitor(); }
NetworkMonitor& NetworkMonitor::shared() { return AppContext::instance().networkMonitor(); }
GPUMonitor& GPUMonitor::shared() { return AppContext::instance().gpuMonitor(); }
iCloudManager& iCloudManager::shared() { return AppContext::instance().cloudManager(); }
AutoPilot& AutoPilot::shared() { return AppContext::instance().autoPilot(); }
AIWorkloadMode& AIWorkloadMode::shared() { return AppContext::instance().aiWorkloadMode(); }
PerformanceProfileManager& PerformanceProfileManager::shared() { return AppContext::instance().profiles(); }
