#pragma once

#include "core/Scheduler.h"

#include <QObject>
#include <functional>

class AppSettings;
class Lifecycle;
class NotificationAuthorizer;
class ProactiveSweepService;
class ProfileService;
class SnoozeGuardService;
class TelemetryService;
class UserDefaults;

// Everything start-up and shutdown reach, by role.
struct AppServices {
    std::function<void()> setAccessoryPolicy;
    Lifecycle& statusItem;         // install
    Lifecycle& desktopHUD;         // show
    UserDefaults& defaults;
    std::function<AppSettings&()> settings;
    Lifecycle& loginItem;
    Lifecycle& hotkey;
    Lifecycle& vrax;
    Lifecycle& fleet;
    TelemetryService& telemetry;
    SnoozeGuardService& snoozeGuard;
    Lifecycle& aiShield;
    Lifecycle& workGuard;
    ProactiveSweepService& proactiveOptimizer;
    NotificationAuthorizer& notifications;
    Lifecycle& performanceMonitor;
    Lifecycle& batteryMonitor;
    Lifecycle& networkMonitor;
    Lifecycle& cloudManager;
    Lifecycle& autoPilot;
    Lifecycle& aiWorkloadMode;
    Lifecycle& gpuMonitor;
    Lifecycle& watcher;
    ProfileService& profiles;
    Scheduler& scheduler;
};

// Starts every subsystem in one fixed order when the application has finished launching and
// stops the running ones when it is about to terminate.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(AppServices services, QObject* parent = nullptr);

    void applicationDidFinishLaunching();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return false; }
    void applicationWillTerminate();

    const WorkHandle& proactiveSweepTimer() const { return m_proactiveSweepTimer; }

private:
    void launchServices();
    void shutdownServices();

    AppServices m_services;
    WorkHandle m_proactiveSweepTimer;
    bool m_launched = false;
    bool m_terminated = false;
};
