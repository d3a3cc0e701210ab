#pragma once

#include "actions/MaintenanceRun.h"
#include "core/Lifecycle.h"
#include "core/Scheduler.h"

#include <QObject>
#include <QTimeZone>

#include <memory>
#include <optional>

class AppSettings;
class CacheCleaner;
class Clock;
class IncidentLedger;
class MonitorState;
class Notifier;
class SerialQueue;

// The nightly maintenance: once a day in the first minutes of the chosen hour (never twice
// within 12 h), or at once on request. A run cleans the safe caches, prunes old downloads and
// logs into the Trash, notes recurring offenders and the machine's health, and is kept in
// "autopilot_history.json" (newest first, at most 50 runs).
//
// Published state lives on the main thread; the file work of a run happens on a worker that
// sees only a copy of the settings it needs.
class AutoPilot final : public QObject, public Lifecycle {
    Q_OBJECT
public:
    struct Collaborators {
        AppSettings& settings;
        CacheCleaner& cleaner;
        MonitorState& monitor;
        IncidentLedger& incidents;
        Notifier& notifier;
        const Clock& clock;
        Scheduler& scheduler;
    };

    // `zone` is the user's time zone, in which the scheduled hour is meant.
    explicit AutoPilot(Collaborators collaborators, QTimeZone zone = QTimeZone::systemTimeZone(),
                       QObject* parent = nullptr);
    ~AutoPilot() override;

    static AutoPilot& shared();

    static constexpr const char* lastRunKey = "autopilot_last_run";
    static QString historyPath();

    // Lifecycle: start subscribes the 60 s tick (and ticks once); stop cancels it.
    void start() override;
    void stop() override;

    void tick();
    // Starts a run unless one is running; false when refused.
    bool runNow(RunTrigger trigger);
    void computeNextRun();
    void loadHistory();

    // Moves the entries of `folder` last modified before `now` - days to the Trash. Hidden
    // entries stay; a folder that is the home directory, "/" or a symlink is left alone.
    struct Pruned {
        int count = 0;
        uint64_t bytes = 0;
    };
    static Pruned trashOldFiles(const QString& folder, qint64 days, const QDateTime& now);
    // The user's own log files, last modified before `now` - days, to the Trash: those named
    // *.log, *.log.N, *.log.gz, *.log.xz or *.log.zst anywhere below $XDG_STATE_HOME and
    // $XDG_CACHE_HOME (links are never followed), and ~/.xsession-errors.old.
    static Pruned trashOldLogs(qint64 days, const QDateTime& now);
    static bool isLogFileName(const QString& name);
    // XDG_DOWNLOAD_DIR from user-dirs.dirs, else ~/Downloads.
    static QString downloadsFolder();

    bool isRunning() const { return m_isRunning; }
    const QString& currentTaskDescription() const { return m_currentTaskDescription; }
    const std::optional<QDateTime>& lastRunDate() const { return m_lastRunDate; }
    const std::optional<QDateTime>& nextRunDate() const { return m_nextRunDate; }
    const QList<MaintenanceRun>& runHistory() const { return m_runHistory; }
    const std::optional<MaintenanceRun>& lastSummary() const { return m_lastSummary; }

Q_SIGNALS:
    void changed();

private:
    struct Plan;
    void performRun(const Plan& plan);
    void completeRun(MaintenanceRun run);
    void finishRun(const MaintenanceRun& run);
    void setProgress(const QString& text);

    Collaborators m_c;
    QTimeZone m_zone;
    QString m_homeDir;
    WorkHandle m_tickTimer;

    bool m_isRunning = false;
    QString m_currentTaskDescription;
    std::optional<QDateTime> m_lastRunDate;
    std::optional<QDateTime> m_nextRunDate;
    QList<MaintenanceRun> m_runHistory;
    std::optional<MaintenanceRun> m_lastSummary;

    // Last, so a run in progress ends before the members it uses go.
    std::unique_ptr<SerialQueue> m_worker;
};
