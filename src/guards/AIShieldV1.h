#pragma once

#include "core/Lifecycle.h"
#include "core/Scheduler.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

class AIShield;
class AppSettings;
class Clock;
class Executor;
class Notifier;
class OpenFilesReader;
class SnoozeTriggerSource;

// One open file of an AI process.
struct AIOpenFile {
    QString id;  // pid ":" path
    int32_t pid = 0;
    QString path;  // as the open-files tool names it
    QString fd;    // the descriptor field before it (a number, cwd, txt, mem ...); empty when none
    friend bool operator==(const AIOpenFile&, const AIOpenFile&) = default;
};

// One connected network endpoint of an AI process.
struct AINetworkEndpoint {
    QString id;  // pid ":" remote
    int32_t pid = 0;
    QString processName;
    QString remote;  // the text after "->"
    friend bool operator==(const AINetworkEndpoint&, const AINetworkEndpoint&) = default;
};

// One advisory breach: an AI process holds a file inside a boundary folder open.
struct AIBoundaryAlert {
    QString id;  // pid ":" open path; an alert is raised once per id
    int32_t pid = 0;
    QString processName;
    QString openPath;
    QString boundary;
    QDateTime observedAt;
    friend bool operator==(const AIBoundaryAlert&, const AIBoundaryAlert&) = default;
};

// AI Shield's boundary watch. Every 30 s it lists, for each process the process watch lists,
// the files it has open and the endpoints it is connected to (on a worker, through the reader it
// is given: the application's reads /proc and starts no process), and raises an advisory alert, once per process and path, for every open
// file inside a boundary folder: two log lines, the process watch's suspicious event and a
// notice. It never stops, pauses or freezes a process. It also follows the quiet hours and
// Snooze Guard's alerts, and logs that pausing is suppressed.
class AIShieldV1 final : public QObject, public Lifecycle {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds lsofInterval{30};
    static constexpr std::chrono::seconds quietHoursTickInterval{30};
    static constexpr int maxAlerts = 50;

    struct Collaborators {
        AIShield& shield;
        AppSettings& settings;
        OpenFilesReader& reader;  // used only on `worker`
        Executor& worker;
        Notifier& notifier;
        SnoozeTriggerSource& snooze;
        Scheduler& scheduler;
        const Clock& clock;
    };

    explicit AIShieldV1(Collaborators c, QObject* parent = nullptr);
    ~AIShieldV1() override;
    static AIShieldV1& shared();

    void start() override;
    void stop() override;
    // One scan; the timer's handler.
    void scanOpenFilesAndEndpoints();
    void quietHoursTick();
    void handleSnoozeFire(const std::optional<QDateTime>& lastTriggerAt);
    void resumePausedProcesses(const QString& reason);
    void raiseBoundaryAlert(int32_t pid, const QString& processName, const QString& openPath, const QString& boundary);

    // The settings window's actions.
    void clearAlerts();
    void resumeManually();  // both flags off, then resume with "manual override"

    bool isRunning() const { return m_isRunning; }
    bool isScanning() const { return m_scanInFlight; }
    QList<AIOpenFile> openFiles() const { return m_openFiles; }
    QList<AINetworkEndpoint> endpoints() const { return m_endpoints; }
    QList<AIBoundaryAlert> boundaryAlerts() const { return m_boundaryAlerts; }
    std::optional<AIBoundaryAlert> lastBoundaryAlert() const { return m_lastBoundaryAlert; }
    bool quietHoursActive() const { return m_quietHoursActive; }
    bool snoozePauseActive() const { return m_snoozePauseActive; }

    // The open-files tool's field output, parsed.
    static QList<AIOpenFile> parseLsofFiles(const QString& output, int32_t pid);
    static QList<AINetworkEndpoint> parseLsofEndpoints(const QString& output, int32_t pid, const QString& processName);
    // The first boundary that is the path or one of its parent folders, compared exactly.
    static std::optional<QString> matchBoundary(const QString& path, const QStringList& boundaries);
    static bool isInQuietHours(const QDateTime& date, const AppSettings& settings);
    static QString normalizeBoundaryPath(const QString& path);

    static QStringList defaultBoundaryPaths();
    static QStringList loadBoundaryPaths(const AppSettings& settings);
    static void saveBoundaryPaths(AppSettings& settings, const QStringList& paths);
    static void addBoundaryPath(AppSettings& settings, const QString& path);
    static void removeBoundaryPath(AppSettings& settings, const QString& path);

Q_SIGNALS:
    // Any published value changed.
    void changed();
    // A scan has been published.
    void scanFinished();

private:
    struct ScanResult;
    void applyScan(const ScanResult& result);
    void appendLog(const QString& message);
    void suppressedPause(const QString& reason);

    Collaborators m_c;
    WorkHandle m_lsofTimer;
    WorkHandle m_quietHoursTimer;
    std::optional<int> m_snoozeToken;
    bool m_scanInFlight = false;

    bool m_isRunning = false;
    QList<AIOpenFile> m_openFiles;
    QList<AINetworkEndpoint> m_endpoints;
    QList<AIBoundaryAlert> m_boundaryAlerts;
    std::optional<AIBoundaryAlert> m_lastBoundaryAlert;
    bool m_quietHoursActive = false;
    bool m_snoozePauseActive = false;
    // Nothing adds to it: AI Shield never pauses a process.
    QSet<int32_t> m_pausedPIDs;
};
