#include "app/AppDelegate.h"
#include "core/AppSettings.h"
#include "core/Lifecycle.h"
#include "core/Log.h"
#include "core/UserDefaults.h"
#include "guards/SnoozeGuardService.h"
#include "monitoring/NotificationAuthorizer.h"
#include "optimisation/ProactiveSweepService.h"
#include "optimisation/ProfileService.h"
#include "services/TelemetryService.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

using namespace std::chrono_literals;

namespace {

// Every collaborator writes its calls into one shared journal.
struct Journal {
    QStringList calls;
    void add(const QString& call) { calls << call; }
};

class RecordingLifecycle final : public Lifecycle {
public:
    RecordingLifecycle(Journal& j, QString start, QString stop = {}) : m_j(j), m_start(std::move(start)), m_stop(std::move(stop)) {}
    void start() override { m_j.add(m_start); }
    void stop() override
    {
        if (!m_stop.isEmpty()) m_j.add(m_stop);
    }

private:
    Journal& m_j;
    QString m_start, m_stop;
};

class RecordingTelemetry final : public TelemetryService {
public:
    RecordingTelemetry(Journal& j, AppSettings*& settings) : m_j(j), m_settings(settings) {}
    bool isEURegion() const override { return eu; }
    void start() override { m_j.add(QStringLiteral("TelemetryCollector.start enabled=%1").arg(m_settings->telemetryEnabled())); }
    void presentConsentPrompt() override { m_j.add(QStringLiteral("TelemetryCollector.presentConsentPrompt")); }
    bool eu = false;

private:
    Journal& m_j;
    AppSettings*& m_settings;
};

class RecordingSnooze final : public SnoozeGuardService {
public:
    explicit RecordingSnooze(Journal& j) : m_j(j) {}
    void start() override { m_j.add(QStringLiteral("SnoozeGuard.start")); }
    void stopDrowsinessDetector() override { m_j.add(QStringLiteral("DrowsinessDetector.stop")); }
    void stopStuckKeyWatcher() override { m_j.add(QStringLiteral("StuckKeyWatcher.stop")); }
    void setIsRunning(bool running) override { m_j.add(QStringLiteral("SnoozeGuard.isRunning=%1").arg(running)); }
    void dismissAlert() override { m_j.add(QStringLiteral("SnoozeAlertWindow.dismiss")); }

private:
    Journal& m_j;
};

class RecordingSweep final : public ProactiveSweepService {
public:
    explicit RecordingSweep(Journal& j) : m_j(j) {}
    void runAutonomousSweep() override { m_j.add(QStringLiteral("ProactiveOptimizer.runAutonomousSweep")); }

private:
    Journal& m_j;
};

class RecordingNotifications final : public NotificationAuthorizer {
public:
    explicit RecordingNotifications(Journal& j) : m_j(j) {}
    void requestAuthorization(std::function<void(std::optional<QString>)> completion) override
    {
        m_j.add(QStringLiteral("NotificationManager.requestAuthorization"));
        completion(error);
    }
    std::optional<QString> error;

private:
    Journal& m_j;
};

class RecordingProfiles final : public ProfileService {
public:
    explicit RecordingProfiles(Journal& j) : m_j(j) {}
    PerformanceMode activeProfile() const override
    {
        m_j.add(QStringLiteral("PerformanceProfileManager.activeProfile"));
        return PerformanceMode::developer;
    }
    void applyMode(PerformanceMode mode) override
    {
        m_j.add(QStringLiteral("PerformanceProfileManager.applyMode ") + PerformanceModes::rawValue(mode));
    }
    void switchProfile(PerformanceMode mode) override
    {
        m_j.add(QStringLiteral("PerformanceProfileManager.switchProfile ") + PerformanceModes::rawValue(mode));
    }

private:
    Journal& m_j;
};

struct Harness {
    Journal j;
    QTemporaryDir dir;
    ManualClock clock;
    ManualScheduler scheduler{clock};
    UserDefaults defaults{dir.path() + QStringLiteral("/settings.json")};
    std::unique_ptr<AppSettings> settingsStore;
    AppSettings* settingsPtr = nullptr;
    QStringList log;

    RecordingLifecycle statusItem{j, "StatusItemController.install"};
    RecordingLifecycle hud{j, "DesktopHUDController.show"};
    RecordingLifecycle loginItem{j, "LoginItemController.start"};
    RecordingLifecycle hotkey{j, "HotkeyManager.start"};
    RecordingLifecycle vrax{j, "VRAXClient.start"};
    RecordingLifecycle fleet{j, "TavrilonFleetClient.start"};
    RecordingTelemetry telemetry{j, settingsPtr};
    RecordingSnooze snooze{j};
    RecordingLifecycle aiShield{j, "AIShield.start", "AIShield.stop"};
    RecordingLifecycle workGuard{j, "WorkGuard.start", "WorkGuard.stop"};
    RecordingSweep sweep{j};
    RecordingNotifications notifications{j};
    RecordingLifecycle performance{j, "PerformanceMonitor.startMonitoring", "PerformanceMonitor.stopMonitoring"};
    RecordingLifecycle battery{j, "BatteryMonitor.startMonitoring", "BatteryMonitor.cancelTimer"};
    RecordingLifecycle network{j, "NetworkMonitor.startMonitoring", "NetworkMonitor.stopMonitoring"};
    RecordingLifecycle cloud{j, "iCloudManager.startMonitoring", "iCloudManager.cancelMonitorTimer"};
    RecordingLifecycle autoPilot{j, "AutoPilot.start", "AutoPilot.cancelTickTimer"};
    RecordingLifecycle workload{j, "AIWorkloadMode.start"};
    RecordingLifecycle gpu{j, "GPUMonitor.start"};
    RecordingLifecycle watcher{j, "TavrilonWatcher.startWatching", "TavrilonWatcher.stopWatching"};
    RecordingProfiles profiles{j};
    std::unique_ptr<AppDelegate> delegate;

    Harness()
    {
        Log::setSink([this](const QString& line) {
            log << line;
            j.add(QStringLiteral("log ") + line);
        });
        delegate = std::make_unique<AppDelegate>(AppServices{
            .setAccessoryPolicy = [this] { j.add(QStringLiteral("setActivationPolicy accessory")); },
            .statusItem = statusItem,
            .desktopHUD = hud,
            .defaults = defaults,
            .settings = [this]() -> AppSettings& {
                j.add(QStringLiteral("AppSettings.shared"));
                if (!settingsStore) {
                    settingsStore = std::make_unique<AppSettings>(defaults, clock, QLocale(QLocale::English, QLocale::UnitedStates));
                    settingsPtr = settingsStore.get();
                }
                return *settingsStore;
            },
            .loginItem = loginItem,
            .hotkey = hotkey,
            .vrax = vrax,
            .fleet = fleet,
            .telemetry = telemetry,
            .snoozeGuard = snooze,
            .aiShield = aiShield,
            .workGuard = workGuard,
            .proactiveOptimizer = sweep,
            .notifications = notifications,
            .performanceMonitor = performance,
            .batteryMonitor = battery,
            .networkMonitor = network,
            .cloudManager = cloud,
            .autoPilot = autoPilot,
            .aiWorkloadMode = workload,
            .gpuMonitor = gpu,
            .watcher = watcher,
            .profiles = profiles,
            .scheduler = scheduler,
        });
    }
    ~Harness() { Log::setSink({}); }

    void launchAndDrain()
    {
        delegate->applicationDidFinishLaunching();
        j.add(QStringLiteral("-- launchServices returned"));
        QCoreApplication::processEvents();
    }
};

}  // namespace

TEST(AppDelegate, LaunchRunsEveryStepInOrderThenTheQueuedWork)
{
    Harness h;
    h.launchAndDrain();
    const QStringList expected = {
        "setActivationPolicy accessory",
        "StatusItemController.install",
        "AppSettings.shared",
        "LoginItemController.start",
        "HotkeyManager.start",
        "VRAXClient.start",
        "TavrilonFleetClient.start",
        "TelemetryCollector.start enabled=1",
        "log [SnoozeGuard] AppDelegate hook fired, enabled=false",
        "SnoozeGuard.start",
        "AIShield.start",
        "WorkGuard.start",
        "NotificationManager.requestAuthorization",
        "PerformanceMonitor.startMonitoring",
        "BatteryMonitor.startMonitoring",
        "NetworkMonitor.startMonitoring",
        "iCloudManager.startMonitoring",
        "AutoPilot.start",
        "PerformanceProfileManager.activeProfile",
        "PerformanceProfileManager.applyMode Developer",
        "-- launchServices returned",
        "TelemetryCollector.presentConsentPrompt",
        "AIWorkloadMode.start",
        "GPUMonitor.start",
        "TavrilonWatcher.startWatching",
    };
    EXPECT_EQ(h.j.calls, expected);

    // A second launch notification changes nothing.
    h.j.calls.clear();
    h.delegate->applicationDidFinishLaunching();
    QCoreApplication::processEvents();
    EXPECT_TRUE(h.j.calls.isEmpty());
}

TEST(AppDelegate, ShutdownStopsTheRunningServicesInOrder)
{
    Harness h;
    h.launchAndDrain();
    h.j.calls.clear();
    EXPECT_FALSE(h.delegate->applicationShouldTerminateAfterLastWindowClosed());
    h.delegate->applicationWillTerminate();
    h.delegate->applicationWillTerminate();
    const QStringList expected = {
        "log [Veltranmoor] Shutting down: stopping the engines and saving state",
        "PerformanceMonitor.stopMonitoring", "BatteryMonitor.cancelTimer", "NetworkMonitor.stopMonitoring",
        "iCloudManager.cancelMonitorTimer",  "AutoPilot.cancelTickTimer", "TavrilonWatcher.stopWatching",
        "DrowsinessDetector.stop",           "StuckKeyWatcher.stop",      "SnoozeAlertWindow.dismiss",
        "SnoozeGuard.isRunning=0",           "AIShield.stop",             "WorkGuard.stop",
    };
    EXPECT_EQ(h.j.calls, expected);
}

TEST(AppDelegate, HudShownRightAfterTheStatusItemWhenAsked)
{
    for (bool show : {false, true}) {
        Harness h;
        h.defaults.setBool(QStringLiteral("tavrilon.hud.showOnLaunch"), show);
        h.launchAndDrain();
        EXPECT_EQ(h.j.calls.at(2) == QStringLiteral("DesktopHUDController.show"), show);
        EXPECT_EQ(h.j.calls.count(QStringLiteral("DesktopHUDController.show")), show ? 1 : 0);
    }
}

TEST(AppDelegate, ProactiveSweepAt180sThenEvery1800s)
{
    Harness h;
    h.launchAndDrain();
    const QDateTime launched = h.clock.now();
    QList<qint64> firedAt;
    h.j.calls.clear();
    for (int step = 0; step < 3700; ++step) {
        h.scheduler.advance(1s);
        if (h.j.calls.contains(QStringLiteral("ProactiveOptimizer.runAutonomousSweep"))) {
            firedAt << launched.secsTo(h.clock.now());
            h.j.calls.clear();
        }
    }
    EXPECT_EQ(firedAt, (QList<qint64>{180, 1800, 3600}));
    ASSERT_TRUE(h.delegate->proactiveSweepTimer());
    EXPECT_TRUE(h.delegate->proactiveSweepTimer()->isActive());
}

TEST(AppDelegate, TelemetryConsentDefaultPerRegion)
{
    const struct {
        bool decided;
        bool stored;
        bool eu;
        bool expected;
    } cases[] = {
        {false, true, true, false},  // first launch in the listed regions: off
        {false, false, false, true}, // first launch elsewhere: on
        {true, false, false, false}, // the user's decision stands
        {true, true, true, true},
    };
    for (const auto& c : cases) {
        Harness h;
        h.defaults.setBool(QStringLiteral("telemetryConsentDecided"), c.decided);
        h.defaults.setBool(QStringLiteral("telemetryEnabled"), c.stored);
        h.telemetry.eu = c.eu;
        h.launchAndDrain();
        EXPECT_EQ(h.settingsStore->telemetryEnabled(), c.expected);
        EXPECT_EQ(h.settingsStore->telemetryConsentDecided(), c.decided) << "launch never decides consent";
        EXPECT_TRUE(h.j.calls.contains(QStringLiteral("TelemetryCollector.start enabled=%1").arg(c.expected)));
    }
}

TEST(AppDelegate, NotificationAuthErrorIsLoggedOnly)
{
    Harness h;
    h.notifications.error = QStringLiteral("service unavailable");
    h.launchAndDrain();
    EXPECT_TRUE(h.log.contains(QStringLiteral("[Veltranmoor] Notification auth error: service unavailable")));
    EXPECT_TRUE(h.j.calls.contains(QStringLiteral("PerformanceMonitor.startMonitoring")));
}
