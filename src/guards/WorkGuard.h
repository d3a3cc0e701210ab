#pragma once

#include "core/Lifecycle.h"
#include "core/Scheduler.h"
#include "core/SerialQueue.h"
#include "guards/WorkEventStreamer.h"
#include "guards/WorkGuardStatus.h"
#include "guards/WorkRecovery.h"
#include "guards/WorkSnapshotter.h"
#include "platform/SleepWatch.h"

#include <QHash>
#include <QObject>
#include <QSet>

#include <functional>
#include <optional>
#include <vector>

class Clock;

// Keeps recent revisions of the work files on the Desktop and in Documents. A sweep walks
// both folders, ranks the recently modified files and snapshots the best; sweeps run at
// start, every 900 s and when another guard sees trouble or the system is about to sleep.
// Between sweeps the file-event stream snapshots each file as it is saved. All file work runs
// on the guard's serial queue; published values change on the main thread.
class WorkGuard final : public QObject, public Lifecycle, public WorkGuardStatus {
    Q_OBJECT
public:
    using RecoverableFile = WorkRecovery::RecoverableFile;
    using SnapshotRevision = WorkRecovery::SnapshotRevision;
    using RestoreResult = WorkRecovery::RestoreResult;

    static constexpr int topN = 50;
    static constexpr double periodicSweepInterval = 900;
    static constexpr double minMtimeDeltaForNewSnapshot = 30;
    static constexpr int snapshotsPerFile = 3;
    static constexpr double maxModifiedAgeForRanking = 2'592'000;
    static constexpr qint64 maxFileBytesToSnapshot = 26'214'400;
    static constexpr qint64 maxTotalSnapshotBytes = 524'288'000;
    static constexpr int maxSnapshotBuckets = 500;
    static constexpr double maxBucketAge = 604'800;
    static constexpr int rankingDepth = 6;

    struct Collaborators {
        const Clock& clock;
        Scheduler& scheduler;
        SleepWatch* sleep = nullptr;
        QStringList watchedRoots = defaultRoots();
        QString snapshotsRoot = WorkSnapshotter::defaultRoot();
        WorkEventStreamer::Options streamer = {};
        // Free space of the store's file system; statvfs when not given.
        WorkSnapshotter::SpaceSource space = {};
    };

    // A value another component publishes: its current value and a way to hear of changes
    // (on the main thread) until the connection is dropped.
    template <typename T>
    struct Published {
        std::function<T()> current;
        std::function<QMetaObject::Connection(QObject* receiver, std::function<void()> changed)> observe;
        explicit operator bool() const { return current && observe; }
    };
    struct TriggerSources {
        Published<std::optional<QDateTime>> snoozeLastTriggerAt;
        Published<std::optional<QDateTime>> aiShieldLastSuspiciousAt;
        Published<bool> aiWorkloadActive;
    };

    explicit WorkGuard(Collaborators collaborators, QObject* parent = nullptr);
    ~WorkGuard() override;
    static WorkGuard& shared();
    static QStringList defaultRoots();

    // Set before start().
    void setTriggerSources(TriggerSources sources) { m_sources = std::move(sources); }

    void start() override;
    void stop() override;
    void scheduleSweep(const QString& reason, SleepWatch::Delay delay = {});

    // Queue side; public so tests and benchmarks can call them directly.
    void runSweep(const QString& reason);
    // The `limit` best files below the roots, best first (of equal scores, the first found).
    // Only the best are held while walking, never an object per file.
    std::vector<RankedFile> rankRoots(int limit = topN);
    static double rankScore(const QString& file, const QDateTime& modifiedAt, qint64 size, const QDateTime& now);
    void enqueueFSEventsBatch(const QSet<QString>& paths);
    void handleFSEventsBatch(const QSet<QString>& paths);
    static bool isSnapshotCandidate(const QString& path);
    // A save's temporary: "sedXXXXXX", or "NAME.XXXXXX" beside an existing file NAME.
    static bool isSaveTemporary(const QString& path);

    // Recovery, on the caller's thread.
    QList<RecoverableFile> recoverableFiles() const { return m_recovery.recoverableFiles(); }
    QList<SnapshotRevision> listRevisions(const QString& bucket) const { return m_recovery.listRevisions(bucket); }
    RestoreResult restoreSnapshot(const QString& revision, const std::optional<QString>& destination, bool force) const
    {
        return m_recovery.restoreSnapshot(revision, destination, force);
    }
    const WorkRecovery& recovery() const { return m_recovery; }

    bool isRunning() const { return m_isRunning; }
    const QStringList& watchedRoots() const { return m_c.watchedRoots; }
    int64_t totalSnapshots() const override { return m_totalSnapshots; }
    std::optional<QDateTime> lastSweepAt() const override { return m_lastSweepAt; }
    std::optional<QString> lastTrigger() const override { return m_lastTrigger; }
    QList<RankedFile> lastRanked() const override { return m_lastRanked; }
    QString snapshotsRoot() const override { return m_snapshotter.snapshotsRoot(); }
    std::optional<QString> storeNotice() const override { return m_storeNotice; }
    // Files whose last change waits for the 30 s rule (main thread).
    int deferredCount() const { return int(m_deferred.size()); }

    WorkSnapshotter& snapshotter() { return m_snapshotter; }
    WorkEventStreamer& streamer() { return m_streamer; }
    SerialQueue& queue() { return m_queue; }

Q_SIGNALS:
    // Any published value changed.
    void changed();

private:
    struct Deferred {
        WorkHandle timer;
        bool single = false;
    };

    void subscribeTriggers();
    void publishSweepResult(const QList<RankedFile>& top, const QString& reason, int total, int created);
    // Queue side: one capture, whose deferral is handed to the main thread.
    bool capture(const QString& path, bool single);
    void captureLater(const QString& path, const QDateTime& due, bool single);
    void publishBatch(int created);
    void publishStoreNotice();
    void useRoots(const QStringList& resolved);
    const QStringList& sweepRoots();

    Collaborators m_c;
    TriggerSources m_sources;
    WorkSnapshotter m_snapshotter;
    WorkRecovery m_recovery;
    WorkEventStreamer m_streamer;
    WorkHandle m_sweepTimer;
    QList<QMetaObject::Connection> m_cancellables;
    std::optional<QDateTime> m_lastSnooze, m_lastSuspicious;

    bool m_isRunning = false;
    int64_t m_totalSnapshots = 0;
    std::optional<QDateTime> m_lastSweepAt;
    std::optional<QString> m_lastTrigger;
    QList<RankedFile> m_lastRanked;
    std::optional<QString> m_storeNotice;
    QHash<QString, Deferred> m_deferred;  // main thread

    // Queue side: the real folders the roots lead to, once known.
    QStringList m_sweepRoots;
    bool m_rootsKnown = false;

    // Last, so it is the first to go: its thread ends before what its work touches.
    SerialQueue m_queue{QStringLiteral("com.brellowquint.veltranmoor.workguard")};
};
