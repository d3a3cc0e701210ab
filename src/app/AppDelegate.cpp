#include "app/AppDelegate.h"

#include "core/AppSettings.h"
#include "core/Lifecycle.h"
#include "core/Log.h"
#include "core/MainThread.h"
#include "core/UserDefaults.h"
#include "guards/SnoozeGuardService.h"
#include "monitoring/NotificationAuthorizer.h"
#include "optimisation/ProactiveSweepService.h"
#include "optimisation/ProfileService.h"
#include "services/TelemetryService.h"

using namespace std::chrono_literals;

AppDelegate::AppDelegate(AppServices services, QObject* parent) : QObject(parent), m_services(std::move(services)) {}

void AppDelegate::applicationDidFinishLaunching()
{
    if (m_launched) return;
    m_launched = true;
    launchServices();
}

void AppDelegate::applicationWillTerminate()
{
    if (m_terminated) return;
    m_terminated = true;
    Log::line(QStringLiteral("[Veltranmoor] Shutting down: stopping the engines and saving state"));
    shutdownServices();
}

void AppDelegate::launchServices()
{
    auto& s = m_services;
    s.setAccessoryPolicy();
    s.statusItem.start();
    if (s.defaults.getBool(QStringLiteral("tavrilon.hud.showOnLaunch")).value_or(false)) s.desktopHUD.start();
    AppSettings& settings = s.settings();
    s.loginItem.start();
    s.hotkey.start();
    s.vrax.start();
    s.fleet.start();

    if (!settings.telemetryConsentDecided()) settings.setTelemetryEnabled(!s.telemetry.isEURegion());
    s.telemetry.start();
    TelemetryService* telemetry = &s.telemetry;
    postTo(this, [telemetry] { telemetry->presentConsentPrompt(); });

    Log::line(QStringLiteral("[SnoozeGuard] AppDelegate hook fired, enabled=") +
              (settings.snoozeGuardEnabled() ? QStringLiteral("true") : QStringLiteral("false")));
    s.snoozeGuard.start();
    s.aiShield.start();
    s.workGuard.start();

    ProactiveSweepService* optimizer = &s.proactiveOptimizer;
    m_proactiveSweepTimer = s.scheduler.every(1800s, this, [optimizer] { optimizer->runAutonomousSweep(); });
    s.scheduler.after(180s, this, [optimizer] { optimizer->runAutonomousSweep(); });

    s.notifications.requestAuthorization([](std::optional<QString> error) {
        if (error) Log::line(QStringLiteral("[Veltranmoor] Notification auth error: ") + *error);
    });

    s.performanceMonitor.start();
    s.batteryMonitor.start();
    s.networkMonitor.start();
    s.cloudManager.start();
    s.autoPilot.start();

    Lifecycle* workload = &s.aiWorkloadMode;
    Lifecycle* gpu = &s.gpuMonitor;
    Lifecycle* watcher = &s.watcher;
    postTo(this, [workload, gpu, watcher] {
        workload->start();
        gpu->start();
        watcher->start();
    });

    s.profiles.applyMode(s.profiles.activeProfile());
}

void AppDelegate::shutdownServices()
{
    auto& s = m_services;
    s.performanceMonitor.stop();
    s.batteryMonitor.stop();
    s.networkMonitor.stop();
    s.cloudManager.stop();
    s.autoPilot.stop();
    s.watcher.stop();
    s.snoozeGuard.stopDrowsinessDetector();
    s.snoozeGuard.stopStuckKeyWatcher();
    s.snoozeGuard.dismissAlert();
    s.snoozeGuard.setIsRunning(false);
    s.aiShield.stop();
    s.workGuard.stop();
}
