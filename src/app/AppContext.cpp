#include "app/AppContext.h"

#include "actions/ActionGate.h"
#include "actions/AutoPilot.h"
#include "actions/EpitopeLibrary.h"
#include "actions/MaintenanceTools.h"
#include "actions/MemoryReliefAction.h"
#include "actions/OutcomeHarness.h"
#include "actions/ReversibleShell.h"
#include "assistant/AssistantServices.h"
#include "assistant/DnsFlusher.h"
#include "assistant/InsightSource.h"
#include "assistant/MemoryRelief.h"
#include "actions/DiskCleaner.h"
#include "assistant/ModelBackendClient.h"
#include "assistant/ModelRouter.h"
#include "monitoring/BatteryLevelSource.h"
#include "monitoring/CacheCleaner.h"
#include "monitoring/IncidentLedger.h"
#include "core/AppSettings.h"
#include "core/Executor.h"
#include "core/Json.h"
#include "core/MainThread.h"
#include "core/Paths.h"
#include "core/Trash.h"
#include "core/UserDefaults.h"
#include "core/WriteFailureReporter.h"
#include "guards/AIShield.h"
#include "guards/AIShieldV1.h"
#include "core/SerialQueue.h"
#include "platform/linux/SessionServicePids.h"
#include "platform/linux/LsofOpenFilesReader.h"
#include "platform/linux/ProcOpenFilesReader.h"
#include "platform/linux/ProcProcessInventory.h"
#include "guards/SnoozeGuard.h"
#include "guards/StuckKeyWatcher.h"
#include "app/SnoozePauseForwarder.h"
#include "guards/DrowsinessDetector.h"
#include "assistant/TavrilonChatController.h"
#include "guards/TavrilonWatcher.h"
#include "guards/WorkGuard.h"
#include "monitoring/BatteryMonitor.h"
#include "monitoring/GPUMonitor.h"
#include "monitoring/HIDThermalReader.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/MonitorState.h"
#include "monitoring/NetworkMonitor.h"
#include "monitoring/NotificationManager.h"
#include "monitoring/PerformanceMonitor.h"
#include "monitoring/SMCReader.h"
#include "monitoring/ProcessManager.h"
#include "monitoring/ThrottleAdvisor.h"
#include "optimisation/AIEngine.h"
#include "optimisation/AIWorkloadMode.h"
#include "optimisation/PerformanceProfileManager.h"
#include "optimisation/ProactiveOptimizer.h"
#include "optimisation/iCloudManager.h"
#include "platform/linux/ApplesmcKeySource.h"
#include "platform/linux/AutostartLoginItem.h"
#include "platform/linux/ProcTcpTableReader.h"
#include "platform/linux/SysfsHwmonReader.h"
#include "platform/linux/SysfsNetStatsReader.h"
#include "platform/linux/SysfsPowerSupplyReader.h"
#include "platform/linux/SysfsThermalZoneReader.h"
#include "platform/linux/CameraModule.h"
#include "platform/linux/LinuxProcessControl.h"
#include "platform/linux/ProcHostCpuSource.h"
#include "platform/linux/ProcMemorySource.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "platform/linux/StatvfsVolumeSource.h"
#include "platform/linux/SysfsThermalStateSource.h"
#include "platform/linux/SysfsWakeupSourceReader.h"
#include "platform/linux/LinuxHostFacts.h"
#include "services/MachineIdentity.h"
#include "services/TavrilonFleetClient.h"
#include "services/TelemetryCollector.h"
#include "services/UpdateChecker.h"
#include "services/UserDataCenter.h"
#include "services/VRAXClient.h"
#include "ui/dashboard/DashboardWindowController.h"
#include "ui/QuitShortcut.h"

#include <QSystemTrayIcon>
#include "assistant/IntentActions.h"
#include "platform/linux/FileManager.h"
#include "platform/linux/LinuxPermissionProbes.h"
#include "platform/linux/LogindSleepWatch.h"
#include "platform/linux/XcbAllDesktopsPin.h"
#include "platform/linux/XcbGlobalShortcut.h"
#include "platform/linux/UserAccount.h"
#include "platform/linux/XInputKeyEventSource.h"
#include "platform/linux/PactlOutputVolume.h"
#include "services/SnoozeBlackoutAI.h"
#include "ui/snooze/PaplayAlarmSound.h"
#include "ui/snooze/SnoozeAlertWindow.h"
#include "ui/recovery/RecoveryView.h"
#include "ui/shell/ConsentPrompt.h"
#include "ui/shell/DesktopHUDController.h"
#include "ui/shell/HUDWidgetView.h"
#include "ui/shell/MenuReadoutView.h"
#include "ui/shell/PermissionsCenter.h"
#include "ui/shell/QuickOptimizer.h"
#include "ui/shell/HotkeyManager.h"
#include "ui/shell/LoginItemController.h"
#include "ui/shell/StatusItemController.h"
#include "ui/theme/ThemeManager.h"
#include "app/SettingsBridges.h"
#include "ui/settings/SettingsEnvironment.h"
#include "ui/settings/SettingsServices.h"
#include "ui/settings/SettingsWindowController.h"
#include "ui/settings/TavrilonWatcherSettingsPanel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QThreadPool>

namespace {
AppContext* g_instance = nullptr;

// The monitors' background readings, on a pool of their own so that shutdown can wait for
// exactly these.
class ThreadPoolExecutor final : public Executor {
public:
    ThreadPoolExecutor() { m_pool.setMaxThreadCount(2); }
    ~ThreadPoolExecutor() override { m_pool.waitForDone(); }
    void async(std::function<void()> work) override { m_pool.start(std::move(work)); }

private:
    QThreadPool m_pool;
};

// The temperature monitor is built after the sampler (it reads the sampler's processes), so
// the sampler reaches it through this, set once both exist.
class LateTemperatureSource final : public TemperatureSource {
public:
    std::optional<double> cpuTempC() const override { return source ? source->cpuTempC() : std::nullopt; }
    std::optional<double> throttleTripC() const override { return source ? source->throttleTripC() : std::nullopt; }
    const TemperatureSource* source = nullptr;
};

// The learning engine needs the sampler (its action history) and the sampler asks the engine
// for verdicts, so the sampler reaches it through this, set once the engine exists.
class LateThrottleAdvisor final : public ThrottleAdvisor {
public:
    void submitSnapshot(const PerformanceSnapshot& snapshot, const QList<ProcessInfoItem>& processes) override
    {
        if (advisor) advisor->submitSnapshot(snapshot, processes);
    }
    ThrottleVerdict judgeProcessCPU(const ProcessInfoItem& process) override
    {
        if (advisor) return advisor->judgeProcessCPU(process);
        return {QStringLiteral("Within threshold"), true};
    }
    void throttleSucceeded(const ProcessInfoItem& process) override
    {
        if (advisor) advisor->throttleSucceeded(process);
    }
    ThrottleAdvisor* advisor = nullptr;
};

}  // namespace

// The assistant reads the learning engine's published insights through its own narrow view.
class AssistantStandIns final : public InsightSource {
public:
    explicit AssistantStandIns(const std::unique_ptr<AIEngine>& engine) : m_engine(engine) {}
    QList<InsightItem> insights() const override
    {
        QList<InsightItem> items;
        if (!m_engine) return items;
        for (const AIInsight& insight : m_engine->insights()) {
            items.append(InsightItem{.severity = InsightItem::Severity(int(insight.severity)),
                                     .title = insight.title,
                                     .detail = insight.detail});
        }
        return items;
    }

private:
    const std::unique_ptr<AIEngine>& m_engine;
};

namespace {

// The assistant's DNS flush is the maintenance tools' own; the assistant sits above actions/
// and names its need as DnsFlusher, which this hands on.
class MaintenanceDnsFlusher final : public DnsFlusher {
public:
    explicit MaintenanceDnsFlusher(MaintenanceTools& tools) : m_tools(tools) {}
    void flushDNS(std::function<void(Status)> completion) override
    {
        m_tools.flushDNS([completion = std::move(completion)](bool success, std::optional<QString> message) {
            completion(success ? Status::success() : Status::failure(message.value_or(QString())));
        });
    }

private:
    MaintenanceTools& m_tools;
};

}  // namespace

struct AppContext::MonitoringParts {
    ProcHostCpuSource hostCpu;
    ProcMemorySource memory;
    // The file system the cleaner frees is the one that matters; "/" is watched as well.
    StatvfsVolumeSource volume{QDir::homePath()};
    StatvfsVolumeSource rootVolume{QStringLiteral("/")};
    SysfsThermalStateSource thermal;
    ProcfsProcessTable processTable;
    LinuxProcessControl processControl;
    LateTemperatureSource temperature;
    LateThrottleAdvisor advisor;
    // The cloud-sync throttling's own table (main thread), read when it acts on the clients;
    // the sampler's is read on the sampler's queue.
    ProcfsProcessTable syncClientTable;
    SysfsWakeupSourceReader wakeupSources;
    std::unique_ptr<MaintenanceDnsFlusher> dnsFlusher;
};

AppContext::AppContext()
{
    Q_ASSERT(!g_instance);
    g_instance = this;

    // A stop mid-save leaves temporary copies beside our files (one may hold the API key):
    // gone before anything reads or writes them again.
    for (const QString& folder : {Paths::configDir(), Paths::appSupportDir(), Paths::aiDir()}) {
        Json::removeTemporarySiblings(folder);
    }
    m_defaults = std::make_unique<UserDefaults>(UserDefaults::defaultPath());
    m_defaults->watchForExternalChanges();
    m_settings = std::make_unique<AppSettings>(*m_defaults, m_clock);
    m_powerSupply = std::make_unique<SysfsPowerSupplyReader>();
    m_netStats = std::make_unique<SysfsNetStatsReader>();
    m_tcpTables = std::make_unique<ProcTcpTableReader>();
    m_hwmon = std::make_unique<SysfsHwmonReader>();
    m_thermalZones = std::make_unique<SysfsThermalZoneReader>();
    m_smcKeys = std::make_unique<ApplesmcKeySource>(*m_hwmon);
    m_hidThermalReader = std::make_unique<HIDThermalReader>(*m_hwmon, *m_thermalZones);
    m_smcReader = std::make_unique<SMCReader>(*m_smcKeys);
    m_utilityQueue = std::make_unique<ThreadPoolExecutor>();
    // Records a stop left without their item (a large Trash takes a while: off the main thread).
    m_utilityQueue->async([] { Trash::removeIncompleteRecords(); });
    m_actionGate = std::make_unique<ActionGate>(*m_defaults, m_clock);
    m_epitopes = std::make_unique<EpitopeLibrary>(m_clock);
    m_shell = std::make_unique<ReversibleShell>(*m_actionGate, m_scheduler);
    m_assistantStandIns = std::make_unique<AssistantStandIns>(m_aiEngine);
    m_modelBackends = std::make_unique<ModelBackendClient>(*m_settings);
    m_modelRouter = std::make_unique<ModelRouter>(*m_settings, *m_modelBackends,
                                                  [this](const QString& label, bool isFrontier) {
                                                      ActionGate::recordActiveModel(*m_defaults, label, isFrontier);
                                                  });
    m_theme = std::make_unique<ThemeManager>(*m_defaults);
    m_allDesktopsPin = std::make_unique<XcbAllDesktopsPin>(QByteArray(), XcbGlobalShortcut::isWaylandSession());
    m_desktopHUD = std::make_unique<DesktopHUDController>(DesktopHUDDeps{
        .defaults = *m_defaults,
        .makeContent = [this](std::function<void()> close) -> QWidget* { return makeHUDContent(std::move(close)); },
        .pin = m_allDesktopsPin.get(),
    });
    m_autostart = std::make_unique<AutostartLoginItem>(
        AutostartLoginItem::preferredExecutable(QCoreApplication::applicationFilePath()));
    m_loginItem = std::make_unique<LoginItemController>(*m_settings, *m_autostart);
    m_hostFacts = std::make_unique<LinuxHostFacts>();
    m_machineIdentity = std::make_unique<MachineIdentity>();
    m_telemetry = std::make_unique<TelemetryCollector>(TelemetryCollector::Collaborators{
        .settings = *m_settings,
        .clock = m_clock,
        .scheduler = m_scheduler,
        .identity = *m_machineIdentity,
        .host = *m_hostFacts,
        .ask = &askConsent,
    });
    m_updateChecker = std::make_unique<UpdateChecker>(m_clock);
    m_userDataCenter = std::make_unique<UserDataCenter>(UserDataCenter::Collaborators{
        .defaults = *m_defaults,
        .worker = *m_utilityQueue,
        .clock = m_clock,
        .executablePath = QCoreApplication::applicationFilePath(),
        .revealFile = [](const QString& path) { FileManager::showItem(path); },
        .quit = [] { QCoreApplication::quit(); },
    });
    m_keyEvents = std::make_unique<XInputKeyEventSource>(QByteArray(), XcbGlobalShortcut::isWaylandSession());
    m_stuckKeyWatcher = std::make_unique<StuckKeyWatcher>(*m_keyEvents, m_clock, m_scheduler);
    // The camera (V4L2) and dlib's landmarks, from the camera library loaded at the first start.
    m_drowsinessDetector = std::make_unique<DrowsinessDetector>(
        m_clock, [] { return CameraModule::makeCameraSource(); },
        [](QString* error) { return CameraModule::makeLandmarker(error); });
    m_outputVolume = std::make_unique<PactlOutputVolume>();
    m_alarmSound = std::make_unique<PaplayAlarmSound>();
    m_blackoutAI = std::make_unique<SnoozeBlackoutAI>(SnoozeBlackoutAI::Collaborators{.settings = *m_settings});
    m_snoozePause = std::make_unique<SnoozePauseForwarder>();
    m_snoozeAlert = std::make_unique<SnoozeAlertWindow>(SnoozeAlertWindow::Collaborators{
        .guard = *m_snoozePause,
        .verdicts = *m_blackoutAI,
        .volume = *m_outputVolume,
        .alarm = *m_alarmSound,
        .clock = m_clock,
        .addressee = UserAccount::currentFirstName(),
    });
    m_snoozeGuard = std::make_unique<SnoozeGuard>(m_clock, *m_settings, *m_drowsinessDetector, *m_stuckKeyWatcher,
                                                  *m_snoozeAlert);
    m_snoozePause->setTarget(m_snoozeGuard.get());
    m_shieldQueue = std::make_unique<SerialQueue>(QStringLiteral("AI Shield"));
    m_boundaryQueue = std::make_unique<SerialQueue>(QStringLiteral("AI Shield boundary"));
    m_aiProcessInventory = std::make_unique<ProcProcessInventory>();
    // Open files come from /proc; the tool is asked only about a process of ours whose
    // descriptors /proc keeps closed.
    m_lsof = std::make_unique<LsofOpenFilesReader>(LsofOpenFilesReader::findProgram(), std::chrono::seconds(5));
    m_procOpenFiles = std::make_unique<ProcOpenFilesReader>(QStringLiteral("/proc"), m_lsof.get());
    m_aiShield = std::make_unique<AIShield>(AIShield::Collaborators{
        .inventory = *m_aiProcessInventory,
        .queue = *m_shieldQueue,
        .scheduler = m_scheduler,
        .clock = m_clock,
        .logPath = Paths::appSupportDir() + QStringLiteral("/ai-shield.log"),
    });
    m_sleepWatch = std::make_unique<LogindSleepWatch>(QDBusConnection::systemBus());
    m_workGuard = std::make_unique<WorkGuard>(WorkGuard::Collaborators{
        .clock = m_clock,
        .scheduler = m_scheduler,
        .sleep = m_sleepWatch.get(),
    });
    m_watcher = std::make_unique<TavrilonWatcher>(TavrilonWatcher::Collaborators{
        .settings = *m_settings,
        .scheduler = m_scheduler,
        .clock = m_clock,
        .askModel =
            [this](const QString& prompt, std::function<void(std::optional<QString>)> done) {
                m_modelRouter->respond(prompt, std::nullopt, false, [done = std::move(done)](Result<ModelAnswer> answer) {
                    done(answer.ok() ? std::optional<QString>(answer.value().text) : std::nullopt);
                });
            },
    });
    m_profiles = std::make_unique<PerformanceProfileManager>(*m_settings, m_clock);
    m_monitoringParts = std::make_unique<MonitoringParts>();
    MonitoringParts& parts = *m_monitoringParts;
    m_processManager = std::make_unique<ProcessManager>(parts.processControl, m_scheduler);
    m_notifications = std::make_unique<NotificationManager>(m_clock);
    // Writes fail on worker threads too; the notice is posted from the main thread.
    WriteFailureReporter::setLostDataHook([this](const QString& path, const QString& reason) {
        postTo(m_notifications.get(), [this, path, reason] {
            if (!m_settings->notificationsEnabled()) return;
            m_notifications->notify(QStringLiteral("Veltranmoor cannot save its data"),
                                    QStringLiteral("%1 cannot be written (%2). What it holds is lost when Veltranmoor quits.")
                                        .arg(QFileInfo(path).fileName(), reason));
        });
    });
    m_aiShieldV1 = std::make_unique<AIShieldV1>(AIShieldV1::Collaborators{
        .shield = *m_aiShield,
        .settings = *m_settings,
        .reader = *m_procOpenFiles,
        .worker = *m_boundaryQueue,
        .notifier = *m_notifications,
        .snooze = *m_snoozeGuard,
        .scheduler = m_scheduler,
        .clock = m_clock,
    });
    m_aiShield->setBoundaryWatch(m_aiShieldV1.get());
    m_diskCleaner = std::make_unique<DiskCleaner>();
    m_diskCleaner->setLogCleanupDays(m_settings->logCleanupDays());
    QObject::connect(m_settings.get(), &AppSettings::changed, m_diskCleaner.get(), [this](const QString& key) {
        if (key == QLatin1String("logCleanupDays")) m_diskCleaner->setLogCleanupDays(m_settings->logCleanupDays());
    });
    m_batteryMonitor = std::make_unique<BatteryMonitor>(*m_powerSupply, *m_utilityQueue, m_clock, m_scheduler);
    m_performanceMonitor = std::make_unique<PerformanceMonitor>(
        SamplerPlatform{parts.hostCpu, parts.memory, parts.volume, parts.thermal, parts.processTable, &parts.rootVolume},
        MonitorCollaborators{
            .settings = *m_settings,
            .clock = m_clock,
            .scheduler = m_scheduler,
            .processControl = parts.processControl,
            .incidents = *m_processManager,
            .notifier = *m_notifications,
            .temperature = parts.temperature,
            .cleaner = *m_diskCleaner,
            .battery = *m_batteryMonitor,
            .advisor = parts.advisor,
            .profiles = *m_profiles,
        });
    m_networkMonitor = std::make_unique<NetworkMonitor>(*m_netStats, *m_tcpTables, *m_utilityQueue, m_clock, m_scheduler);
    m_gpuMonitor = std::make_unique<GPUMonitor>(GPUMonitor::Collaborators{
        .settings = *m_settings,
        .monitor = *m_performanceMonitor,
        .incidents = *m_processManager,
        .processes = parts.processControl,
        .hwmon = *m_hwmon,
        .zones = *m_thermalZones,
        .hid = *m_hidThermalReader,
        .smc = *m_smcReader,
        .clock = m_clock,
        .scheduler = m_scheduler,
    });
    // The sampler reads the temperature monitor, which reads the sampler's processes.
    parts.temperature.source = m_gpuMonitor.get();
    m_outcomeHarness = std::make_unique<OutcomeHarness>(*m_performanceMonitor, m_scheduler, m_clock);
    m_proactiveOptimizer = std::make_unique<ProactiveOptimizer>(ProactiveOptimizer::Collaborators{
        .settings = *m_settings,
        .cleaner = *m_diskCleaner,
        .gate = *m_actionGate,
        .epitopes = *m_epitopes,
        .harness = *m_outcomeHarness,
        .monitor = *m_performanceMonitor,
        .clock = m_clock,
    });
    m_memoryRelief = std::make_unique<MemoryReliefAction>(*m_outcomeHarness, *m_actionGate, *m_shell, *m_epitopes,
                                                          &performMemoryRelief);
    // Before AI workload mode, which pauses cloud sync through it.
    m_cloudManager = std::make_unique<iCloudManager>(iCloudManager::Collaborators{
        .monitor = *m_performanceMonitor,
        .processTable = parts.syncClientTable,
        .processes = parts.processControl,
        .clock = m_clock,
        .scheduler = m_scheduler,
    });
    // Each sample finds the sync clients in its own walk of the process table.
    m_performanceMonitor->watchProcessNames(iCloudManager::iCloudProcesses());
    m_autoPilot = std::make_unique<AutoPilot>(AutoPilot::Collaborators{
        .settings = *m_settings,
        .cleaner = *m_diskCleaner,
        .monitor = *m_performanceMonitor,
        .incidents = *m_processManager,
        .notifier = *m_notifications,
        .clock = m_clock,
        .scheduler = m_scheduler,
    });
    m_aiWorkloadMode = std::make_unique<AIWorkloadMode>(AIWorkloadMode::Collaborators{
        .settings = *m_settings,
        .monitor = *m_performanceMonitor,
        .incidents = *m_processManager,
        .processes = parts.processControl,
        .notifier = *m_notifications,
        .cloud = *m_cloudManager,
        .relieveMemory = [] { performMemoryRelief(); },
        .clock = m_clock,
        .scheduler = m_scheduler,
    });
    m_workGuard->setTriggerSources({
        .snoozeLastTriggerAt = {[this] { return m_snoozeGuard->lastTriggerAt(); },
                                [this](QObject* receiver, std::function<void()> changed) {
                                    return QObject::connect(m_snoozeGuard.get(), &SnoozeGuard::lastTriggerAtChanged, receiver,
                                                            [changed = std::move(changed)] { changed(); });
                                }},
        .aiShieldLastSuspiciousAt = {[this] { return m_aiShield->lastSuspiciousAt(); },
                                     [this](QObject* receiver, std::function<void()> changed) {
                                         return QObject::connect(m_aiShield.get(), &AIShield::suspiciousEventRaised, receiver,
                                                                 [changed = std::move(changed)] { changed(); });
                                     }},
        .aiWorkloadActive = {[this] { return m_aiWorkloadMode->isActive(); },
                             [this](QObject* receiver, std::function<void()> changed) {
                                 return QObject::connect(m_aiWorkloadMode.get(), &AIWorkloadMode::isActiveChanged, receiver,
                                                         [changed = std::move(changed)](bool) { changed(); });
                             }},
    });
    m_aiEngine = std::make_unique<AIEngine>(AIEngine::Collaborators{
        .settings = *m_settings,
        .clock = m_clock,
        .monitor = *m_performanceMonitor,
        .incidents = *m_processManager,
        .processControl = parts.processControl,
        .runMemoryRelief = [this] { m_memoryRelief->run(); },
        .sessionServices = [] { return sessionServicePids(); },
    });
    parts.advisor.advisor = m_aiEngine.get();
    m_maintenanceTools =
        std::make_unique<MaintenanceTools>(*m_performanceMonitor, m_clock, parts.wakeupSources, parts.processControl);
    parts.dnsFlusher = std::make_unique<MaintenanceDnsFlusher>(*m_maintenanceTools);
    m_vrax = std::make_unique<VRAXClient>(VRAXClient::Collaborators{
        .settings = *m_settings,
        .monitor = *m_performanceMonitor,
        .battery = *m_batteryMonitor,
        .identity = *m_machineIdentity,
        .host = *m_hostFacts,
        .clock = m_clock,
        .scheduler = m_scheduler,
    });
    m_fleet = std::make_unique<TavrilonFleetClient>(TavrilonFleetClient::Collaborators{
        .settings = *m_settings,
        .monitor = *m_performanceMonitor,
        .gate = *m_actionGate,
        .identity = *m_machineIdentity,
        .clock = m_clock,
        .scheduler = m_scheduler,
        .worker = *m_utilityQueue,
        .optimizerSummary = [this] { return m_proactiveOptimizer->lastSweepSummary(); },
        .cleanCaches = [this] { return performCacheCleanup(*m_diskCleaner); },
        .relieveMemory = [] { return performMemoryRelief(); },
        .showHUD = [this] { m_desktopHUD->show(); },
        .hideHUD = [this] { m_desktopHUD->hide(); },
    });
    m_assistantServices = std::make_unique<AssistantServices>(AssistantServices{
        .monitor = *m_performanceMonitor,
        .battery = *m_batteryMonitor,
        .profiles = *m_profiles,
        .insights = *m_assistantStandIns,
        .cleaner = *m_diskCleaner,
        .dns = *parts.dnsFlusher,
        .processes = *m_processManager,
    });

    m_globalShortcut = std::make_unique<XcbGlobalShortcut>(QByteArray(), XcbGlobalShortcut::isWaylandSession());
    m_hotkey = std::make_unique<HotkeyManager>(*m_defaults, *m_globalShortcut, [this] { m_desktopHUD->toggle(); });
    m_quickOptimizer = std::make_unique<QuickOptimizer>(QuickOptimizer::Collaborators{
        .gate = *m_actionGate,
        .history = *m_performanceMonitor,
        .scheduler = m_scheduler,
        .worker = *m_utilityQueue,
        .cleanCaches = [this] { return performCacheCleanup(*m_diskCleaner); },
        .relieveMemory = [] { return performMemoryRelief(); },
    });
    m_statusItem = std::make_unique<StatusItemController>(StatusItemDeps{
        .perf = *m_performanceMonitor,
        .battery = *m_batteryMonitor,
        .settings = *m_settings,
        .defaults = *m_defaults,
        .themes = *m_theme,
        .profiles = *m_profiles,
        .snoozeControl = *m_snoozeGuard,
        .snooze = *m_snoozeGuard,
        .aiShield = *m_aiShield,
        .workGuardState = *m_workGuard,
        .workGuard = *m_workGuard,
        .hud = *m_desktopHUD,
        .clock = m_clock,
        .makeReadout =
            [this]() -> QWidget* {
                return new MenuReadoutView(MenuReadoutDeps{
                    .perf = *m_performanceMonitor,
                    .net = *m_networkMonitor,
                    .gpu = m_gpuMonitor.get(),
                    .themes = *m_theme,
                    .profiles = *m_profiles,
                    .settings = *m_settings,
                    .optimizer = *m_quickOptimizer,
                    .openDashboard = [this] { m_dashboard->open(); },
                    .openSettings = [this] { m_settingsWindow->open(); },
                });
            },
        .openDashboard = [this] { m_dashboard->open(); },
        .openSettings = [this] { m_settingsWindow->open(); },
        .revealFile = [](const QString& path) { FileManager::showItem(path); },
        .openFolder = [](const QString& path) { FileManager::openFolder(path); },
        .quit = [] { QCoreApplication::quit(); },
        .makeRecoveryView = [this]() -> QWidget* {
            return new RecoveryView(RecoveryView::Deps{
                .recovery = m_workGuard->recovery(),
                .clock = m_clock,
                .themes = *m_theme,
                .revealFile = [](const QString& path) { FileManager::showItem(path); },
            });
        },
    });
    // The Snooze dot follows the guard's running flag and its watchers' permission state.
    QObject::connect(m_snoozeGuard.get(), &SnoozeGuard::statusChanged, m_statusItem.get(), &StatusItemController::refresh);
    m_permissionProbes = std::make_unique<LinuxPermissionProbes>(
        LinuxPermissionProbes::Roots{.wayland = XcbGlobalShortcut::isWaylandSession()});
    m_permissions = std::make_unique<PermissionsCenter>(*m_permissionProbes, m_scheduler, m_clock);

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

    m_vraxFeed = std::make_unique<ClientVRAXFeed>(*m_vrax);
    m_updateFeed = std::make_unique<CheckerUpdateFeed>(*m_updateChecker);
    m_userDataFeed = std::make_unique<CenterUserDataFeed>(*m_userDataCenter,
                                                          [](const QString& path) { FileManager::showItem(path); });
    m_shieldControls = std::make_unique<ShieldSettingsControls>(*m_settings, *m_aiShield, QDir::homePath(), m_aiShieldV1.get());
    m_settingsEnvironment = std::make_unique<SettingsEnvironment>(SettingsEnvironment{
        .settings = *m_settings,
        .defaults = *m_defaults,
        .themeManager = *m_theme,
        .profileManager = *m_profiles,
        .autoPilot = *m_autoPilot,
        .permissions = *m_permissions,
        .incidents = *m_processManager,
        .telemetry = *m_telemetry,
        .clock = m_clock,
        .vrax = *m_vraxFeed,
        .aiShield = *m_shieldControls,
        .updates = m_updateFeed.get(),
        .userData = m_userDataFeed.get(),
        .setSnoozeGuardEnabled =
            [this](bool on) {
                // The guard's switch: stored first, then the guard starts or stops.
                m_snoozeGuard->setEnabled(on);
            },
        .makeWatcherPanel = [this]() -> QWidget* { return new TavrilonWatcherSettingsPanel(*m_settings, *m_watcher); },
        .appVersion = QCoreApplication::applicationVersion(),
    });
    m_settingsWindow = std::make_unique<SettingsWindowController>(*m_settingsEnvironment);

    m_chat = std::make_unique<TavrilonChatController>(*m_actionGate, *m_modelRouter, *m_assistantServices);
    m_dashboard = std::make_unique<DashboardWindowController>(DashboardEnvironment{
        .monitor = *m_performanceMonitor,
        .settings = *m_settings,
        .profileManager = *m_profiles,
        .batteryMonitor = *m_batteryMonitor,
        .networkMonitor = *m_networkMonitor,
        .aiEngine = *m_aiEngine,
        .themeManager = *m_theme,
        .tavrilon =
            TavrilonTabDeps{
                .themes = *m_theme,
                .gate = *m_actionGate,
                .chat = *m_chat,
            },
        .processes =
            ProcessTabDeps{
                .stopper = *m_processManager,
                .incidents = *m_processManager,
                .control = m_monitoringParts->processControl,
                .clock = m_clock,
            },
        .diskCleaner = m_diskCleaner.get(),
        .epitopes = m_epitopes.get(),
        .settingsView = m_settingsEnvironment.get(),
        .maintenanceTools = m_maintenanceTools.get(),
        .watcher = m_watcher.get(),
        .quit = [] { QCoreApplication::quit(); },
        .trayHostPresent = [] { return QSystemTrayIcon::isSystemTrayAvailable(); },
    });
    // The tray's Quit, the dashboard's and Ctrl+Q all end in the same orderly shutdown.
    m_quitShortcut = std::make_unique<QuitShortcut>([] { QCoreApplication::quit(); });
}

QWidget* AppContext::makeHUDContent(std::function<void()> close)
{
    return new HUDWidgetView(HUDWidgetDeps{
        .monitor = *m_performanceMonitor,
        .ai = *m_aiEngine,
        .themes = *m_theme,
        .settings = *m_settings,
        .epitopes = *m_epitopes,
        .shell = *m_shell,
        .chat =
            HUDMiniChat::Collaborators{
                .gate = *m_actionGate,
                .router = *m_modelRouter,
                .services = *m_assistantServices,
                .shell = *m_shell,
                .harness = *m_outcomeHarness,
                .library = *m_epitopes,
                .worker = *m_utilityQueue,
            },
        .optimize =
            QuickOptimizer::Collaborators{
                .gate = *m_actionGate,
                .history = *m_performanceMonitor,
                .scheduler = m_scheduler,
                .worker = *m_utilityQueue,
                .cleanCaches = [this] { return performCacheCleanup(*m_diskCleaner); },
                .relieveMemory = [] { return performMemoryRelief(); },
            },
        .openDashboard = [this] { m_dashboard->open(); },
        .openSettings = [this] { m_settingsWindow->open(); },
        .onClose = std::move(close),
    });
}

AppContext::~AppContext()
{
    WriteFailureReporter::setLostDataHook({});
    // Members go in reverse order of construction; the windows and the delegate first.
    m_quitShortcut.reset();
    m_settingsWindow.reset();
    m_dashboard.reset();
    m_chat.reset();
    m_delegate.reset();
    // The HUD's content reads the managers below; it goes before them.
    m_desktopHUD.reset();
    // The sampler outlives the learning engine.
    m_monitoringParts->advisor.advisor = nullptr;
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
PermissionsCenter& PermissionsCenter::shared() { return AppContext::instance().permissions(); }
VRAXClient& VRAXClient::shared() { return AppContext::instance().vrax(); }
TavrilonFleetClient& TavrilonFleetClient::shared() { return AppContext::instance().fleet(); }
TelemetryCollector& TelemetryCollector::shared() { return AppContext::instance().telemetry(); }
UpdateChecker& UpdateChecker::shared() { return AppContext::instance().updateChecker(); }
UserDataCenter& UserDataCenter::shared() { return AppContext::instance().userDataCenter(); }
SnoozeGuard& SnoozeGuard::shared() { return AppContext::instance().snoozeGuard(); }
AIShield& AIShield::shared() { return AppContext::instance().aiShield(); }
AIShieldV1& AIShieldV1::shared() { return AppContext::instance().aiShieldBoundaryWatch(); }
WorkGuard& WorkGuard::shared() { return AppContext::instance().workGuard(); }
TavrilonWatcher& TavrilonWatcher::shared() { return AppContext::instance().watcher(); }
ProactiveOptimizer& ProactiveOptimizer::shared() { return AppContext::instance().proactiveOptimizer(); }
ProcessManager& ProcessManager::shared() { return AppContext::instance().processManager(); }
NotificationManager& NotificationManager::shared() { return AppContext::instance().notifications(); }
DiskCleaner& DiskCleaner::shared() { return AppContext::instance().diskCleaner(); }
PerformanceMonitor& PerformanceMonitor::shared() { return AppContext::instance().performanceMonitor(); }
BatteryMonitor& BatteryMonitor::shared() { return AppContext::instance().batteryMonitor(); }
NetworkMonitor& NetworkMonitor::shared() { return AppContext::instance().networkMonitor(); }
GPUMonitor& GPUMonitor::shared() { return AppContext::instance().gpuMonitor(); }
HIDThermalReader& HIDThermalReader::shared() { return AppContext::instance().hidThermalReader(); }
SMCReader& SMCReader::shared() { return AppContext::instance().smcReader(); }
iCloudManager& iCloudManager::shared() { return AppContext::instance().cloudManager(); }
AutoPilot& AutoPilot::shared() { return AppContext::instance().autoPilot(); }
AIWorkloadMode& AIWorkloadMode::shared() { return AppContext::instance().aiWorkloadMode(); }
PerformanceProfileManager& PerformanceProfileManager::shared() { return AppContext::instance().profiles(); }
AIEngine& AIEngine::shared() { return AppContext::instance().aiEngine(); }
MaintenanceTools& MaintenanceTools::shared() { return AppContext::instance().maintenanceTools(); }
