#pragma once

// The seven managers the dashboard reads, built for one test: real classes over readers that
// point nowhere (nothing is sampled), with their published state set by the test.
#include "actions/ActionGate.h"
#include "assistant/AssistantServices.h"
#include "assistant/DnsFlusher.h"
#include "assistant/InsightSource.h"
#include "assistant/ModelBackendClient.h"
#include "assistant/ModelRouter.h"
#include "assistant/TavrilonChatController.h"
#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "monitoring/AutoProfileChoice.h"
#include "monitoring/BatteryMonitor.h"
#include "monitoring/CacheCleaner.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/NetworkMonitor.h"
#include "monitoring/Notifier.h"
#include "monitoring/PerformanceMonitor.h"
#include "monitoring/ProcessManager.h"
#include "monitoring/ProcessStopper.h"
#include "monitoring/TemperatureSource.h"
#include "monitoring/ThrottleAdvisor.h"
#include "optimisation/AIEngine.h"
#include "optimisation/PerformanceProfileManager.h"
#include "platform/ProcessControl.h"
#include "platform/linux/LinuxProcessControl.h"
#include "platform/linux/ProcHostCpuSource.h"
#include "platform/linux/ProcMemorySource.h"
#include "platform/linux/ProcTcpTableReader.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "platform/linux/StatvfsVolumeSource.h"
#include "platform/linux/SysfsNetStatsReader.h"
#include "platform/linux/SysfsPowerSupplyReader.h"
#include "platform/linux/SysfsThermalStateSource.h"
#include "support/InlineExecutor.h"
#include "support/ManualClock.h"
#include "support/ManualScheduler.h"
#include "ui/dashboard/DashboardEnvironment.h"
#include "ui/theme/ThemeManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QWidget>
#include <QTemporaryDir>

namespace dashboard_rig {

// The monitor's collaborators: none of them is reached unless a test turns automatic actions on.
struct Quiet final : Notifier, IncidentLedger, ProcessControl, TemperatureSource, CacheCleaner, BatteryLevelSource,
                     ThrottleAdvisor, AutoProfileChoice, InsightSource, DnsFlusher, ProcessStopper {
    void notifyProcessThrottled(const QString&, double) override {}
    void notifyEmergencyCleanup(double, std::optional<double>) override {}
    void notifyLowDisk(double, std::optional<double>) override {}
    void notifyLowRootDisk(double) override {}
    void notifyHealthWarning(int64_t) override {}
    void notify(const QString&, const QString&) override {}
    void notifyCleanupComplete(const QString&) override {}
    void recordIncident(const QString&) override {}
    QList<QPair<QString, int>> sortedIncidents() const override { return {}; }
    ProcessStatus lowerPriority(ProcessIdentity, ProcessOwner) override
    {
        return ProcessStatus::failed(QStringLiteral("not in tests"));
    }
    OpenedProcess openProcess(ProcessIdentity, ProcessOwner) override
    {
        return OpenedProcess::refused(ProcessStatus::failed(QStringLiteral("not in tests")));
    }
    std::optional<double> cpuTempC() const override { return std::nullopt; }
    QList<CleanupTarget> cleanSafeTargets() override { return {}; }
    QList<CleanupTarget> emergencyCleanup() override { return {}; }
    int batteryLevel() const override { return -1; }
    bool isCharging() const override { return false; }
    void submitSnapshot(const PerformanceSnapshot&, const QList<ProcessInfoItem>&) override {}
    ThrottleVerdict judgeProcessCPU(const ProcessInfoItem&) override { return {QString(), true}; }
    void throttleSucceeded(const ProcessInfoItem&) override {}
    bool autoSwitchEnabled() const override { return false; }
    QString activeProfileName() const override { return QStringLiteral("Balanced"); }
    QString detectModeFromRunningApps(int, bool, const QStringList&, double) const override
    {
        return QStringLiteral("Balanced");
    }
    void setLastAutoSwitchReason(const QString&) override {}
    void switchProfile(const QString&) override {}
    QList<InsightItem> insights() const override { return {}; }
    void flushDNS(std::function<void(Status)> completion) override { completion(Status::success()); }
    ProcessStatus killProcess(const ProcessInfoItem&, ProcessOwner) override
    {
        return ProcessStatus::failed(QStringLiteral("not in tests"));
    }
};

struct Rig {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("settings.json"))};
    ManualClock clock;
    AppSettings settings{defaults, clock, QLocale(QLocale::English, QLocale::UnitedKingdom)};
    ManualScheduler scheduler{clock};
    InlineExecutor executor;
    Quiet quiet;
    // The Processes tab's buttons act for real, on children the tests start.
    LinuxProcessControl processControl;
    ProcessManager processManager{processControl, scheduler};
    ProcHostCpuSource cpu{QStringLiteral("/nonexistent")};
    ProcMemorySource memory{QStringLiteral("/nonexistent")};
    StatvfsVolumeSource volume{QStringLiteral("/nonexistent")};
    SysfsThermalStateSource thermal{QStringLiteral("/nonexistent")};
    ProcfsProcessTable processes{QStringLiteral("/nonexistent")};
    SysfsPowerSupplyReader power{QStringLiteral("/nonexistent")};
    SysfsNetStatsReader net{QStringLiteral("/nonexistent")};
    ProcTcpTableReader tcp{QStringLiteral("/nonexistent"), QStringLiteral("/nonexistent/ss")};
    PerformanceMonitor monitor{SamplerPlatform{cpu, memory, volume, thermal, processes},
                               MonitorCollaborators{settings, clock, scheduler, quiet, quiet, quiet, quiet, quiet,
                                                    quiet, quiet, quiet}};
    BatteryMonitor battery{power, executor, clock, scheduler};
    NetworkMonitor network{net, tcp, executor, clock, scheduler};
    PerformanceProfileManager profiles{settings, clock};
    AIEngine ai{AIEngine::Collaborators{.settings = settings,
                                        .clock = clock,
                                        .monitor = monitor,
                                        .incidents = quiet,
                                        .processControl = quiet,
                                        .runMemoryRelief = {},
                                        .dataDirectory = dir.filePath(QStringLiteral("AI"))}};
    ThemeManager themes{defaults};
    ActionGate gate{defaults, clock};
    ModelBackendClient backends{settings};
    ModelRouter router{settings, backends, [](const QString&, bool) {}};
    TavrilonChatController chat{gate, router,
                                AssistantServices{monitor, quiet, profiles, quiet, quiet, quiet, quiet}};

    Rig()
    {
        // Automatic actions never run on what a test publishes.
        settings.setAutoThrottleEnabled(false);
        settings.setAutoCleanupEnabled(false);
        settings.setNotificationsEnabled(false);
        themes.setCurrent(PaletteTheme::ember());
    }

    DashboardEnvironment env()
    {
        return DashboardEnvironment{
            .monitor = monitor,
            .settings = settings,
            .profileManager = profiles,
            .batteryMonitor = battery,
            .networkMonitor = network,
            .aiEngine = ai,
            .themeManager = themes,
            .tavrilon = TavrilonTabDeps{.themes = themes, .gate = gate, .chat = chat},
            .processes = ProcessTabDeps{.stopper = processManager,
                                        .incidents = processManager,
                                        .control = processControl,
                                        .clock = clock},
        };
    }

    // Publishes one sample at the current virtual time, then moves time on by 10 s.
    void publishSample(double cpuPercent, double pressure, int64_t score = 100)
    {
        Sample s;
        s.snapshot = monitor.currentSnapshot();
        s.snapshot.cpuUsage = cpuPercent;
        s.snapshot.memoryPressure = pressure;
        s.health = monitor.currentHealth();
        s.health.score = score;
        s.cpu = cpuPercent;
        s.memoryPressure = pressure;
        monitor.applySample(s);
        clock.advance(std::chrono::seconds(10));
    }
};

// Lets queued refreshes run.
inline void settle()
{
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// Saves one tab, on the palette's background as the window shows it, as
// <build tree>/screenshots/<name>.png.
inline bool saveTabShot(QWidget& view, const QString& name)
{
    settle();
    QPalette palette = view.palette();
    palette.setColor(QPalette::Window, PaletteTheme::ember().background);
    view.setPalette(palette);
    view.setAutoFillBackground(true);
    QDir dir(QCoreApplication::applicationDirPath());
    do {
        if (dir.exists(QStringLiteral("CMakeCache.txt"))) break;
    } while (dir.cdUp());
    const QString out = dir.absolutePath() + QStringLiteral("/screenshots");
    QDir().mkpath(out);
    return view.grab().toImage().save(out + QLatin1Char('/') + name + QStringLiteral(".png"));
}

}  // namespace dashboard_rig
