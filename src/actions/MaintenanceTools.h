#pragma once

#include "actions/LocalSnapshot.h"
#include "actions/QuickFix.h"
#include "actions/WakeAnalysis.h"
#include "core/Models.h"
#include "platform/WakeupSourceReader.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class Clock;
class MonitorState;
class ProcessControl;

// The maintenance tab's engine: instant fixes that restart or flush a system service, the
// quick-fix table, local snapshots and the wake analysis. System tools run as child processes
// on worker threads; commands that need root go through pkexec, so the desktop's own
// authentication dialog asks for the password. Published state lives on the main thread, and
// every completion is called there.
class MaintenanceTools final : public QObject {
    Q_OBJECT
public:
    // Where the tools are and how long they may take. Bare names are looked up on PATH.
    struct Tools {
        QString pkexec = QStringLiteral("pkexec");
        QString shell = QStringLiteral("/bin/sh");
        QString snapper = QStringLiteral("snapper");
        QString journalctl = QStringLiteral("journalctl");
        QString killall = QStringLiteral("killall");
        QString systemctl = QStringLiteral("systemctl");
        QString updateDesktopDatabase = QStringLiteral("update-desktop-database");
        QString procRoot = QStringLiteral("/proc");
        // How long a stopped program may take to exit, and then to be started by the session.
        std::chrono::milliseconds exitWait{std::chrono::seconds(5)};
        std::chrono::milliseconds sessionRestartWait{std::chrono::seconds(1)};
        // Whose ALLOW_USERS decides whether snapshots can be deleted without administrator rights.
        QString snapperConfig = QStringLiteral("/etc/snapper/configs/root");
        QString userName;          // empty: the user this process runs as
        QStringList userGroups;    // empty: the groups of userName
        QString applicationsDir;   // empty: ~/.local/share/applications
        std::chrono::milliseconds processDeadline{std::chrono::seconds(120)};
        // Includes the time the authentication dialog waits for the user.
        std::chrono::milliseconds adminDeadline{std::chrono::minutes(10)};
        // How often the wake-up sources' counts are read, so that each sleep can be told by
        // what rose across it; zero reads them never (nor on the login manager's sleep signal).
        std::chrono::milliseconds wakeupReadInterval{std::chrono::minutes(1)};
    };

    struct AdminShellResult {
        bool success = false;
        QString output;
        std::optional<QString> error;
    };

    struct ProcessResult {
        int32_t status = -1;  // -1 when the tool did not start, was killed or crashed
        QString output;
        QString errorOutput;
    };

    // On failure the message is the error; on success, when there is one, what was done.
    using Completion = std::function<void(bool success, std::optional<QString> message)>;
    // The error is the snapshot tool's (or the launcher's) text when it failed.
    using DeleteCompletion = std::function<void(bool success, QString error)>;
    using DeleteAllCompletion = std::function<void(int deleted, QStringList failed)>;
    using WakeCompletion = std::function<void(std::optional<WakeAnalysis>)>;

    // The tools and the stop flag that worker threads share (defined in the source).
    struct Context;

    static constexpr const char* busyText = "Another maintenance task is running";
    // How a restart fix's message begins when none of its programs was running.
    static constexpr const char* nothingToRestartText = "Nothing to restart";

    // `processes` stops the file manager or panel a restart fix restarts; it is used from the
    // workers and must outlive this object.
    MaintenanceTools(MonitorState& monitor, const Clock& clock, const WakeupSourceReader& wakeups,
                     ProcessControl& processes);
    MaintenanceTools(MonitorState& monitor, const Clock& clock, const WakeupSourceReader& wakeups,
                     ProcessControl& processes, Tools tools, QObject* parent = nullptr);
    // Kills tools still running and waits for their workers.
    ~MaintenanceTools() override;

    static MaintenanceTools& shared();

    // Blocking; for worker threads only.
    AdminShellResult runAdminShell(const QString& command, const QStringList& arguments = {}) const;
    ProcessResult runProcess(const QString& path, const QStringList& arguments) const;

    void resetAudioServer(Completion completion);
    void flushDNS(Completion completion);
    void runQuickFix(const QuickFix& fix, Completion completion);
    const QList<QuickFix>& quickFixes() const { return m_quickFixes; }

    // A new listing. When it needs the administrator's password (snapper's configuration does
    // not admit this user), showSnapshots() makes one only on the session's first call, so
    // visiting the tab does not ask every time; refreshSnapshots() always makes one.
    void refreshSnapshots();
    void showSnapshots();
    void deleteSnapshot(const LocalSnapshot& snapshot, DeleteCompletion completion);
    void deleteAllSnapshots(DeleteAllCompletion completion);

    void analyzeWakes(int hours, WakeCompletion completion);

    // Parsers of the tools' output (pure, exposed for tests).
    struct SnapshotColumns {
        int number = -1;
        int date = -1;
    };
    static QList<LocalSnapshot> parseSnapshotList(const QString& csv);
    static std::optional<LocalSnapshot> parseSnapshotLine(const QString& line, const SnapshotColumns& columns);
    static QStringList splitCsvLine(const QString& line);
    // Whether snapper's ALLOW_USERS or ALLOW_GROUPS admits the user.
    static bool snapperAllowsUser(const QString& configText, const QString& userName, const QStringList& groups = {});
    static WakeAnalysis parseWakeLog(const QString& log, int hours, const QDateTime& now);
    static QString normalizeWakeReason(const QString& reason);
    // The counts, top five and summary of wakes at or after now - hours.
    static WakeAnalysis summarizeWakes(const QList<WakeEvent>& events, int hours, const QDateTime& now);

    // Each reading of the wake-up sources lands here, with the wall-clock time and the time
    // the machine had been awake (a monotonic clock that stands still during sleep) when it
    // was taken. When the wall clock ran ahead of the awake time since the previous reading,
    // the machine slept in between, and what rose across that sleep is kept for a week.
    void recordWakeupSources(const QDateTime& time, std::chrono::milliseconds awake, const QList<WakeupSource>& sources);
    const QList<WakeupRise>& wakeupRises() const { return m_wakeupRises; }
    // The sources whose count is higher after than before (new ones count whole), largest
    // rise first; equal rises keep the order of `after`.
    static QList<WakeupSource> risenSources(const QList<WakeupSource>& before, const QList<WakeupSource>& after);
    // The kernel journal's suspend and hibernation exits as wakes. Each is attributed to the
    // source that rose most across the one recorded sleep that ended there: a device
    // (deviceName gives its name) or a known kind of source before any other; without such a
    // sleep, or when nothing rose, the wake's reason is "Unknown".
    static QList<WakeEvent> wakesFromJournal(const QString& journal, const QList<WakeupRise>& rises,
                                             const std::function<QString(const QString&)>& deviceName);
    // The reason shown for a source: the device's name when it has one, else the label of
    // its kind ("Lid open", "Scheduled wake", ...), else its own name.
    static QString wakeReasonFor(const QString& sourceName, const QString& deviceName);

    bool isWorking() const { return m_isWorking; }
    const std::optional<QString>& lastError() const { return m_lastError; }
    const std::optional<QDateTime>& lastAudioReset() const { return m_lastAudioReset; }
    const std::optional<QDateTime>& lastDNSFlush() const { return m_lastDNSFlush; }
    const QList<LocalSnapshot>& localSnapshots() const { return m_localSnapshots; }
    const std::optional<WakeAnalysis>& lastWakeAnalysis() const { return m_lastWakeAnalysis; }
    const QHash<QString, QDateTime>& lastQuickFixRun() const { return m_lastQuickFixRun; }

Q_SIGNALS:
    void changed();

private:
    void listSnapshots(bool onVisit);
    struct Outcome {
        bool success = false;
        QString message;
    };

    // onSuccess receives the task's message (what happened).
    void runLocked(std::function<Outcome(const Context&)> task, std::function<void(const QString&)> onSuccess,
                   Completion completion);
    void logLater(ActionType action, const QString& target, const QString& detail);
    void startTask(std::function<void()> work);
    void readWakeupSourcesLater();
    Q_SLOT void onPrepareForSleep(bool sleeping);

    MonitorState& m_monitor;
    const Clock& m_clock;
    std::shared_ptr<const Context> m_context;
    QList<QuickFix> m_quickFixes;

    bool m_isWorking = false;
    std::optional<QString> m_lastError;
    std::optional<QDateTime> m_lastAudioReset;
    std::optional<QDateTime> m_lastDNSFlush;
    QList<LocalSnapshot> m_localSnapshots;
    std::optional<WakeAnalysis> m_lastWakeAnalysis;
    QHash<QString, QDateTime> m_lastQuickFixRun;

    struct WakeupReading {
        QDateTime time;
        std::chrono::milliseconds awake{0};
        QList<WakeupSource> sources;
    };
    std::optional<WakeupReading> m_lastWakeupReading;
    QList<WakeupRise> m_wakeupRises;
    QTimer m_wakeupTimer;

    // Last: destroyed first, after the destructor has stopped and awaited the workers.
    QThreadPool m_pool;
};
