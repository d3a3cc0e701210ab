#pragma once

#include "core/TavrilonWatchTarget.h"

#include <QLocale>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <optional>

class Clock;
class UserDefaults;

// Every stored setting: type, property, setter, key, UserDefaults accessor kind, default.
// The key texts, types and defaults are read by name elsewhere and must not change.
#define VELTRANMOOR_SETTINGS(X)                                                                          \
    X(double, cpuThreshold, setCpuThreshold, "cpuThreshold", Double, 80.0)                               \
    X(double, sustainedTimeBeforeAction, setSustainedTimeBeforeAction, "sustainedTimeBeforeAction",       \
      Double, 30.0)                                                                                      \
    X(double, diskWarningThresholdGB, setDiskWarningThresholdGB, "diskWarningThresholdGB", Double, 20.0) \
    X(double, diskCriticalThresholdGB, setDiskCriticalThresholdGB, "diskCriticalThresholdGB", Double,    \
      10.0)                                                                                              \
    X(bool, autoThrottleEnabled, setAutoThrottleEnabled, "autoThrottleEnabled", Bool, true)              \
    X(bool, autoCleanupEnabled, setAutoCleanupEnabled, "autoCleanupEnabled", Bool, true)                 \
    X(bool, notificationsEnabled, setNotificationsEnabled, "notificationsEnabled", Bool, true)           \
    X(bool, launchAtLogin, setLaunchAtLogin, "launchAtLogin", Bool, false)                               \
    X(bool, aiWorkloadModeEnabled, setAiWorkloadModeEnabled, "aiWorkloadModeEnabled", Bool, true)        \
    X(qint64, aiWorkloadModePauseDurationMin, setAiWorkloadModePauseDurationMin,                          \
      "aiWorkloadModePauseDurationMin", Int, 10)                                                         \
    X(bool, gpuThermalAutoThrottleEnabled, setGpuThermalAutoThrottleEnabled,                              \
      "gpuThermalAutoThrottleEnabled", Bool, true)                                                       \
    X(double, gpuThermalThresholdC, setGpuThermalThresholdC, "gpuThermalThresholdC", Double, 85.0)       \
    X(bool, temperatureUnitFahrenheit, setTemperatureUnitFahrenheit, "temperatureUnitFahrenheitV2", Bool, \
      m_defaultFahrenheit)                                                                               \
    X(QString, dataRateUnitRaw, setDataRateUnitRaw, "dataRateUnit", String, QStringLiteral("bytes"))     \
    X(bool, storageUnitBinary, setStorageUnitBinary, "storageUnitBinary", Bool, false)                   \
    X(bool, use24HourTime, setUse24HourTime, "use24HourTime", Bool, m_default24Hour)                     \
    X(bool, preemptiveMemoryReliefEnabled, setPreemptiveMemoryReliefEnabled,                              \
      "preemptiveMemoryReliefEnabled", Bool, true)                                                       \
    X(bool, snoozeGuardEnabled, setSnoozeGuardEnabled, "snoozeGuardEnabled", Bool, false)                \
    X(bool, aiShieldQuietHoursEnabled, setAiShieldQuietHoursEnabled, "aiShieldQuietHoursEnabled", Bool,  \
      false)                                                                                             \
    X(qint64, aiShieldQuietHoursStartMin, setAiShieldQuietHoursStartMin, "aiShieldQuietHoursStartMin",    \
      Int, 1380)                                                                                         \
    X(qint64, aiShieldQuietHoursEndMin, setAiShieldQuietHoursEndMin, "aiShieldQuietHoursEndMin", Int,     \
      420)                                                                                               \
    X(QByteArray, aiShieldBoundaryPathsData, setAiShieldBoundaryPathsData, "aiShieldBoundaryPathsData",   \
      Data, QByteArray())                                                                                \
    X(bool, vraxIntegrationEnabled, setVraxIntegrationEnabled, "vraxIntegrationEnabled", Bool, false)    \
    X(QString, vraxEndpointURL, setVraxEndpointURL, "vraxEndpointURL", String,                            \
      QStringLiteral("https://vrax.veltranmoor.app/mcp"))                                                \
    X(bool, aiChatEnabled, setAiChatEnabled, "aiChatEnabled", Bool, true)                                \
    X(bool, aiChatDisclosureAccepted, setAiChatDisclosureAccepted, "aiChatDisclosureAccepted", Bool,     \
      false)                                                                                             \
    X(bool, aiChatPreferOwnKey, setAiChatPreferOwnKey, "aiChatPreferOwnKey", Bool, false)                \
    X(bool, ollamaEnabled, setOllamaEnabled, "ollamaEnabled", Bool, false)                               \
    X(QString, ollamaEndpoint, setOllamaEndpoint, "ollamaEndpoint", String,                               \
      QStringLiteral("http://127.0.0.1:11434"))                                                          \
    X(QString, ollamaModel, setOllamaModel, "ollamaModel", String, QStringLiteral("llama3.2:3b"))        \
    X(bool, byoKeyEnabled, setByoKeyEnabled, "byoKeyEnabled", Bool, false)                               \
    X(QString, byoKeyProvider, setByoKeyProvider, "byoKeyProvider", String, QStringLiteral("anthropic")) \
    X(QString, byoKeyModel, setByoKeyModel, "byoKeyModel", String, QStringLiteral("claude-opus-4-8"))    \
    X(QString, byoKeyValue, setByoKeyValue, "byoKeyValue", String, QString())                            \
    X(QString, openAIBaseURL, setOpenAIBaseURL, "openAIBaseURL", String, QStringLiteral("https://api.openai.com")) \
    X(QString, anthropicBaseURL, setAnthropicBaseURL, "anthropicBaseURL", String, QStringLiteral("https://api.anthropic.com")) \
    X(bool, telemetryEnabled, setTelemetryEnabled, "telemetryEnabled", Bool, true)                       \
    X(bool, telemetryConsentDecided, setTelemetryConsentDecided, "telemetryConsentDecided", Bool, false) \
    X(QString, telemetryEndpoint, setTelemetryEndpoint, "telemetryEndpoint", String,                      \
      QStringLiteral("https://telemetry.veltranmoor.app/api/veltranmoor/telemetry"))                     \
    X(bool, fleetCommsEnabled, setFleetCommsEnabled, "fleetCommsEnabled", Bool, false)                   \
    X(double, pollingIntervalSeconds, setPollingIntervalSeconds, "pollingIntervalSeconds", Double, 10.0) \
    X(double, historyRetentionHours, setHistoryRetentionHours, "historyRetentionHours", Double, 24.0)    \
    X(bool, autoPilotEnabled, setAutoPilotEnabled, "autoPilotEnabled", Bool, true)                       \
    X(bool, autoCleanDownloads, setAutoCleanDownloads, "autoCleanDownloads", Bool, false)                \
    X(qint64, downloadCleanupDays, setDownloadCleanupDays, "downloadCleanupDays", Int, 30)               \
    X(bool, autoCleanTrash, setAutoCleanTrash, "autoCleanTrash", Bool, false)                            \
    X(qint64, trashCleanupDays, setTrashCleanupDays, "trashCleanupDays", Int, 30)                        \
    X(bool, autoCleanLogs, setAutoCleanLogs, "autoCleanLogs", Bool, true)                                \
    X(qint64, logCleanupDays, setLogCleanupDays, "logCleanupDays", Int, 7)                               \
    X(qint64, scheduledMaintenanceHour, setScheduledMaintenanceHour, "scheduledMaintenanceHour", Int, 3) \
    X(QByteArray, protectedProcessesData, setProtectedProcessesData, "protectedProcessesData", Data,      \
      defaultProtectedProcessesData())                                                                   \
    X(bool, tavrilonWatcherEnabled, setTavrilonWatcherEnabled, "tavrilonWatcherEnabled", Bool, true)     \
    X(QString, tavrilonWatchedFoldersJSON, setTavrilonWatchedFoldersJSON, "tavrilonWatchedFoldersJSON",   \
      String, QStringLiteral("[]"))

// The application's one settings store: a typed view of UserDefaults, plus the display
// formatters every view uses and the folder watchers' list.
class AppSettings : public QObject {
    Q_OBJECT
public:
    enum class DataRateUnit { bytes, bits };
    static QString rawValue(DataRateUnit unit);
    static std::optional<DataRateUnit> dataRateUnit(const QString& raw);

    // Binds to the store and runs the legacy-defaults migration. The locale decides the
    // temperature-unit and clock defaults.
    AppSettings(UserDefaults& defaults, const Clock& clock, const QLocale& locale = QLocale::system(),
                QObject* parent = nullptr);

    static AppSettings& shared();

#define VELTRANMOOR_DECLARE_SETTING(Type, name, setter, key, kind, def) \
    Type name() const;                                                  \
    void setter(const Type& value);
    VELTRANMOOR_SETTINGS(VELTRANMOOR_DECLARE_SETTING)
#undef VELTRANMOOR_DECLARE_SETTING

    static const QStringList& defaultProtectedProcesses();
    static QByteArray defaultProtectedProcessesData();
    static const QStringList& defaultThrottleCandidates();

    // The protected names decoded from protectedProcessesData (empty when undecodable).
    QStringList protectedProcesses() const;

    QString formatTemperature(std::optional<double> celsius, bool withUnit) const;
    // The same for a unit chosen earlier (workers hand the unit over instead of reading it).
    static QString formatTemperature(std::optional<double> celsius, bool withUnit, bool fahrenheit);
    QString formatDataRate(double bytesPerSecond, bool withUnit) const;
    QString formatStorageSize(double bytes, bool withUnit) const;

    QList<TavrilonWatchTarget> tavrilonWatchedFolders() const;
    void setTavrilonWatchedFolders(const QList<TavrilonWatchTarget>& targets);
    void addWatchTarget(const QUrl& folder, qint64 intervalHours);

    UserDefaults& defaults() const { return m_defaults; }

Q_SIGNALS:
    // A stored value changed (its key), or the watched-folder list was written.
    void changed(const QString& key);

private:
    void migrate();

    UserDefaults& m_defaults;
    const Clock& m_clock;
    bool m_defaultFahrenheit = false;
    bool m_default24Hour = true;
};
