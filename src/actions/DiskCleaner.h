#pragma once

#include "core/SerialQueue.h"
#include "monitoring/CacheCleaner.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

// Measures the folders where developer tools and browsers keep rebuildable caches and empties
// them into the user's Trash. Users trust it with their home directory, so every walk stays
// below its root (no symlink is ever followed), only the folders of the table can be emptied,
// and the only way out of a folder is Trash::moveAt.
//
// The operations are synchronous and safe to call from any thread; the window uses the
// ...InBackground variants. lastScanResults, isScanning, isCleaning and skippedPaths are
// published on the main thread (the thread that owns the object).
class DiskCleaner final : public QObject, public CacheCleaner {
    Q_OBJECT
public:
    enum class Disposition { regenerable, recoverable, neverAuto };

    struct Row {
        QString path;
        QString name;
        CleanupCategory category;
        Disposition disposition;
    };

    // What a walk found: allocated bytes, and the folders it could not read (left out).
    struct TreeSize {
        uint64_t bytes = 0;
        QStringList unreadable;
    };

    // The outcome of emptying one folder. `accepted` is false when the folder was refused or
    // could not be listed; otherwise the entries that stayed are listed in `failed`.
    struct Removal {
        bool accepted = false;
        uint64_t bytesMoved = 0;
        int itemsMoved = 0;
        QStringList failed;
        explicit operator bool() const { return accepted; }
    };

    explicit DiskCleaner(QObject* parent = nullptr);
    ~DiskCleaner() override;

    static DiskCleaner& shared();

    // The cleanup table as it stands now (the XDG folders are read at each call); rows that
    // have no place on this system, or repeat an earlier path, are left out.
    QList<Row> cleanupTargets() const;
    static bool isSafeCategory(CleanupCategory category);
    const QString& homeDir() const { return m_homeDir; }

    QList<CleanupTarget> scanTargets();
    QList<CleanupTarget> cleanSafeTargets() override;
    QList<CleanupTarget> emergencyCleanup() override;
    // Refuses the Trash; the logs row trashes the user's old log files (oldUserLogs);
    // otherwise removeContents of the target's path.
    Removal cleanTarget(const CleanupTarget& target);
    // Moves every entry inside one folder of the table to the Trash; the folder stays.
    Removal removeContents(const QString& path);

    // Allocated size of everything below `path` (hidden entries skipped), never following a
    // symlink, not even at the root or, below the home folder, on the way to it. Missing or
    // unreadable: 0.
    static uint64_t directorySize(const QString& path);
    static TreeSize measureTree(const QString& path, bool includeHidden);

    // The user's own log files last modified before `now` - days: those named *.log, *.log.N,
    // *.log.gz, *.log.xz or *.log.zst anywhere below $XDG_STATE_HOME and $XDG_CACHE_HOME (links
    // are never followed), and ~/.xsession-errors.old. The logs row measures and empties these.
    struct UserLog {
        QString parent;
        QByteArray name;
        uint64_t bytes = 0;
    };
    static QList<UserLog> oldUserLogs(qint64 days, const QDateTime& now);
    // Each one into the Trash through its parent, opened without following a link.
    static Removal trashUserLogs(const QList<UserLog>& logs);
    static bool isLogFileName(const QString& name);
    // The age in days past which the logs row counts a log as old (the "logCleanupDays"
    // setting); any thread.
    void setLogCleanupDays(qint64 days) { m_logCleanupDays.store(days); }
    qint64 logCleanupDays() const { return m_logCleanupDays.load(); }

    // Free space of the file system holding the home folder, in GiB.
    static double freeDiskSpace();

    // The disposition a scan recorded for a path, if any.
    std::optional<Disposition> disposition(const QString& path) const;

    // Off the main thread, one after the other; results arrive on the main thread.
    void scanInBackground(std::function<void(QList<CleanupTarget>)> done = {});
    void cleanInBackground(QList<CleanupTarget> targets, std::function<void(QList<CleanupTarget>)> done);
    // cleanTarget on the worker; `done` gets its outcome on the main thread.
    void cleanTargetInBackground(CleanupTarget target, std::function<void(Removal)> done);

    // Main thread.
    const QList<CleanupTarget>& lastScanResults() const { return m_lastScanResults; }
    uint64_t reclaimableBytes() const;
    bool isScanning() const { return m_scanning > 0; }
    bool isCleaning() const { return m_cleaning > 0; }
    // Folders the latest scan could not read and entries the latest cleanup could not move.
    const QStringList& skippedPaths() const { return m_skippedPaths; }

Q_SIGNALS:
    void lastScanResultsChanged();
    void isScanningChanged();
    void isCleaningChanged();
    void skippedPathsChanged();

private:
    QList<CleanupTarget> cleanAutomatically(const std::function<bool(CleanupCategory)>& categoryAllowed);
    std::optional<QString> acceptedRoot(const QString& path) const;
    void onMain(std::function<void()> work);
    void publishSkipped(QStringList paths);

    QString m_homeDir;
    std::atomic<qint64> m_logCleanupDays{7};
    mutable QMutex m_dispositionsMutex;
    QHash<QString, Disposition> m_dispositions;
    // Two cleanups never empty the same folders at once; the second one rescans afterwards.
    QMutex m_cleanMutex;

    QList<CleanupTarget> m_lastScanResults;
    int m_scanning = 0;
    int m_cleaning = 0;
    QStringList m_skippedPaths;

    // Last, so its thread has finished before the members it uses go.
    std::unique_ptr<SerialQueue> m_worker;
};
