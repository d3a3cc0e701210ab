#include "optimisation/PerformanceProfileManager.h"

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

namespace {
const QString activeProfileKey = QStringLiteral("veltranmoor_active_profile");
const QString autoSwitchKey = QStringLiteral("veltranmoor_auto_switch");

const QStringList creativeList = {
    QStringLiteral("Logic Pro"),         QStringLiteral("GarageBand"),          QStringLiteral("Final Cut Pro"),
    QStringLiteral("DaVinci Resolve"),   QStringLiteral("Adobe Premiere"),      QStringLiteral("Adobe After Effects"),
    QStringLiteral("Adobe Photoshop"),   QStringLiteral("Adobe Illustrator"),   QStringLiteral("Ableton Live"),
    QStringLiteral("Pro Tools"),         QStringLiteral("Figma"),               QStringLiteral("Sketch"),
    QStringLiteral("Blender"),           QStringLiteral("Cinema 4D")};
const QStringList developerList = {
    QStringLiteral("Xcode"),         QStringLiteral("swift"),         QStringLiteral("swiftc"),
    QStringLiteral("clang"),         QStringLiteral("lldb"),          QStringLiteral("Code Helper"),
    QStringLiteral("Visual Studio Code"), QStringLiteral("node"),     QStringLiteral("npm"),
    QStringLiteral("python3"),       QStringLiteral("ruby"),          QStringLiteral("cargo"),
    QStringLiteral("rustc"),         QStringLiteral("go"),            QStringLiteral("docker"),
    QStringLiteral("Docker Desktop"), QStringLiteral("Simulator"),    QStringLiteral("IntelliJ IDEA"),
    QStringLiteral("WebStorm"),      QStringLiteral("PyCharm"),       QStringLiteral("iTerm2"),
    QStringLiteral("Terminal"),      QStringLiteral("Warp"),          QStringLiteral("Alacritty"),
    QStringLiteral("Claude"),        QStringLiteral("Cursor"),
    // Linux editors, compilers, build tools and terminals.
    QStringLiteral("code"), QStringLiteral("codium"), QStringLiteral("gcc"), QStringLiteral("cc1plus"), QStringLiteral("make"), QStringLiteral("ninja"), QStringLiteral("cmake"), QStringLiteral("java"), QStringLiteral("gradle"), QStringLiteral("konsole"), QStringLiteral("gnome-terminal-server"), QStringLiteral("kitty"), QStringLiteral("alacritty"), QStringLiteral("wezterm"), QStringLiteral("idea"), QStringLiteral("clion"), QStringLiteral("android-studio")};
const QStringList gamingList = {QStringLiteral("Steam"), QStringLiteral("Epic Games"), QStringLiteral("Battle.net"),
                                QStringLiteral("MTLCompilerService"), QStringLiteral("GPUToolsAgent"),
                                // Linux game clients and runtimes.
                                QStringLiteral("steam"), QStringLiteral("steamwebhelper"), QStringLiteral("gamescope"), QStringLiteral("wine"), QStringLiteral("wine64-preloader"), QStringLiteral("lutris"), QStringLiteral("heroic"), QStringLiteral("gamemoded")};
const QStringList noList;

const QStringList creativeFragments = {
    QStringLiteral("Logic Pro"),       QStringLiteral("GarageBand"),     QStringLiteral("Final Cut Pro"),
    QStringLiteral("DaVinci Resolve"), QStringLiteral("Adobe Premiere"), QStringLiteral("Adobe After Effects"),
    QStringLiteral("Adobe Photoshop"), QStringLiteral("Ableton Live"),   QStringLiteral("Pro Tools"),
    QStringLiteral("Figma"),           QStringLiteral("Blender")};
const QStringList developerFragments = {QStringLiteral("Xcode"),    QStringLiteral("Visual Studio Code"),
                                        QStringLiteral("IntelliJ"), QStringLiteral("WebStorm"),
                                        QStringLiteral("PyCharm"),  QStringLiteral("Cursor"),
                                        QStringLiteral("Android Studio"),
                                        QStringLiteral("code"), QStringLiteral("codium"), QStringLiteral("gcc"), QStringLiteral("cc1plus"), QStringLiteral("make"), QStringLiteral("ninja"), QStringLiteral("cmake"), QStringLiteral("java"), QStringLiteral("gradle"), QStringLiteral("konsole"), QStringLiteral("gnome-terminal-server"), QStringLiteral("kitty"), QStringLiteral("alacritty"), QStringLiteral("wezterm"), QStringLiteral("idea"), QStringLiteral("clion"), QStringLiteral("android-studio")};
const QStringList gamingFragments = {QStringLiteral("Steam"), QStringLiteral("Epic Games"),
                                     QStringLiteral("Battle.net"), QStringLiteral("steam"), QStringLiteral("steamwebhelper"), QStringLiteral("gamescope"), QStringLiteral("wine"), QStringLiteral("wine64-preloader"), QStringLiteral("lutris"), QStringLiteral("heroic"), QStringLiteral("gamemoded")};

bool anyNameContains(const QStringList& names, const QStringList& fragments)
{
    for (const QString& name : names) {
        for (const QString& fragment : fragments) {
            if (name.contains(fragment, Qt::CaseSensitive)) return true;
        }
    }
    return false;
}
}  // namespace

PerformanceProfileManager::ProfileValues PerformanceProfileManager::valuesOf(PerformanceMode mode)
{
    switch (mode) {
    case PerformanceMode::maxPerformance: return {60, 5, true, 10};
    case PerformanceMode::balanced: return {80, 10, true, 30};
    case PerformanceMode::batterySaver: return {95, 30, false, 60};
    case PerformanceMode::creativeWork: return {70, 10, true, 20};
    case PerformanceMode::developer: return {75, 10, true, 45};
    case PerformanceMode::gaming: return {50, 5, true, 8};
    }
    return {80, 10, true, 30};
}

const QStringList& PerformanceProfileManager::protectedProcessesOf(PerformanceMode mode)
{
    switch (mode) {
    case PerformanceMode::creativeWork: return creativeList;
    case PerformanceMode::developer: return developerList;
    case PerformanceMode::gaming: return gamingList;
    default: return noList;
    }
}

PerformanceMode PerformanceProfileManager::detectMode(int batteryLevel, bool charging,
                                                      const QStringList& processNames, double cpuUsage)
{
    // A machine without a battery reports level -1 and "not charging"; read literally that
    // would be an empty battery, so the battery rules wait for a battery, and a machine with
    // none counts as plugged in.
    const bool hasBattery = batteryLevel >= 0;
    const bool pluggedIn = charging || !hasBattery;
    if (hasBattery && !charging && batteryLevel < 20) return PerformanceMode::batterySaver;
    if (anyNameContains(processNames, creativeFragments)) return PerformanceMode::creativeWork;
    if (anyNameContains(processNames, developerFragments)) return PerformanceMode::developer;
    if (anyNameContains(processNames, gamingFragments)) return PerformanceMode::gaming;
    if (!pluggedIn) {
        return batteryLevel < 50 ? PerformanceMode::batterySaver : PerformanceMode::balanced;
    }
    return cpuUsage > 70 ? PerformanceMode::maxPerformance : PerformanceMode::balanced;
}

PerformanceProfileManager::PerformanceProfileManager(AppSettings& settings, const Clock& clock, QObject* parent)
    : QObject(parent), m_settings(settings), m_clock(clock)
{
    UserDefaults& defaults = m_settings.defaults();
    m_hadStoredProfile = defaults.getString(activeProfileKey).has_value();
    const QString stored = defaults.getString(activeProfileKey).value_or(QStringLiteral("Balanced"));
    m_activeProfile = PerformanceModes::fromRaw(stored).value_or(PerformanceMode::balanced);
    m_autoSwitchEnabled = defaults.getBool(autoSwitchKey).value_or(false);
    // The switch follows its stored value, also when the settings file is edited outside.
    connect(&m_settings, &AppSettings::changed, this, [this](const QString& key) {
        if (key != autoSwitchKey) return;
        const bool stored = m_settings.defaults().getBool(autoSwitchKey).value_or(false);
        if (stored == m_autoSwitchEnabled) return;
        m_autoSwitchEnabled = stored;
        Q_EMIT changed();
    });
}

void PerformanceProfileManager::setAutoSwitchEnabled(bool enabled)
{
    // Every later value is stored, also one equal to the current value.
    m_settings.defaults().setBool(autoSwitchKey, enabled);
    if (enabled == m_autoSwitchEnabled) return;
    m_autoSwitchEnabled = enabled;
    Q_EMIT changed();
}

void PerformanceProfileManager::setLastAutoSwitchReason(const QString& reason)
{
    if (reason == m_lastAutoSwitchReason) return;
    m_lastAutoSwitchReason = reason;
    Q_EMIT changed();
}

void PerformanceProfileManager::applyMode(PerformanceMode mode)
{
    // The launch's application of the active profile: nobody switched anything.
    apply(mode, m_activeProfile,
          m_hadStoredProfile ? QStringLiteral("Restored at start-up") : QStringLiteral("Default at start-up"));
}

void PerformanceProfileManager::switchProfile(PerformanceMode mode)
{
    const PerformanceMode previous = m_activeProfile;
    const bool differs = mode != m_activeProfile;
    m_activeProfile = mode;
    m_settings.defaults().setString(activeProfileKey, PerformanceModes::rawValue(mode));
    if (differs) Q_EMIT activeProfileChanged();
    apply(mode, previous);
}

void PerformanceProfileManager::apply(PerformanceMode mode, PerformanceMode previous, const QString& reason)
{
    const ProfileValues values = valuesOf(mode);
    // Each setter announces its key; the sampling engine follows the polling interval at once.
    m_settings.setCpuThreshold(values.cpuThreshold);
    m_settings.setPollingIntervalSeconds(values.pollingIntervalSeconds);
    m_settings.setAutoThrottleEnabled(true);
    m_settings.setAutoCleanupEnabled(values.autoCleanupEnabled);
    m_settings.setSustainedTimeBeforeAction(values.sustainedTimeBeforeAction);

    // Profiles only ever add protected names: switching away never unprotects anything.
    QStringList names;
    QSet<QString> seen;
    for (const QString& name : m_settings.protectedProcesses() + protectedProcessesOf(mode)) {
        if (seen.contains(name)) continue;
        seen.insert(name);
        names.append(name);
    }
    m_settings.setProtectedProcessesData(
        QJsonDocument(QJsonArray::fromStringList(names)).toJson(QJsonDocument::Compact));

    ProfileSwitchEvent event{
        .id = QUuid::createUuid(),
        .from = previous == mode ? QStringLiteral("initial") : PerformanceModes::rawValue(previous),
        .to = PerformanceModes::rawValue(mode),
        .reason = !reason.isEmpty()                 ? reason
                  : m_lastAutoSwitchReason.isEmpty() ? QStringLiteral("Manual switch")
                                                     : m_lastAutoSwitchReason,
        .timestamp = m_clock.now(),
    };
    m_profileHistory.prepend(event);
    if (m_profileHistory.size() > historyLimit) m_profileHistory.resize(historyLimit);
    Q_EMIT changed();
}

QString PerformanceProfileManager::activeProfileName() const { return PerformanceModes::rawValue(m_activeProfile); }

QString PerformanceProfileManager::detectModeFromRunningApps(int batteryLevel, bool charging,
                                                             const QStringList& processNames, double cpuUsage) const
{
    return PerformanceModes::rawValue(detectMode(batteryLevel, charging, processNames, cpuUsage));
}

void PerformanceProfileManager::switchProfile(const QString& mode)
{
    if (const auto parsed = PerformanceModes::fromRaw(mode)) switchProfile(*parsed);
}
