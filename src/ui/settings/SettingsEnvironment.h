#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class AIShieldControls;
class AppSettings;
class AutoPilot;
class Clock;
class IncidentLedger;
class PerformanceProfileManager;
class PermissionsCenter;
class TelemetryService;
class ThemeManager;
class UpdateFeed;
class UserDataFeed;
class UserDefaults;
class VRAXStatusFeed;

// The shared stores and managers the settings window reads and drives (all on the main thread,
// all outliving every window). Each host, the settings window and the dashboard's Settings tab,
// builds its own view over the same ones.
struct SettingsEnvironment {
    AppSettings& settings;
    UserDefaults& defaults;  // the HUD hotkey's "hudHotkey"
    ThemeManager& themeManager;
    PerformanceProfileManager& profileManager;
    AutoPilot& autoPilot;
    PermissionsCenter& permissions;
    IncidentLedger& incidents;
    TelemetryService& telemetry;
    const Clock& clock;
    VRAXStatusFeed& vrax;
    AIShieldControls& aiShield;
    UpdateFeed* updates = nullptr;
    UserDataFeed* userData = nullptr;
    // Snooze Guard's switch: stores the setting, then starts or stops the guard.
    std::function<void(bool)> setSnoozeGuardEnabled;
    // The watcher page's panel; absent: the page names itself only.
    std::function<QWidget*()> makeWatcherPanel;
    // The application's version; empty when unknown.
    QString appVersion;
};
