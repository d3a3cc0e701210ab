#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class Clock;

// The read-and-restore side of the snapshot store. Every call reads the store afresh and
// none changes it: a restore copies a revision out and leaves it in place. Names starting with
// a dot in a bucket are revisions still being written, never listed. Nothing at the
// destination is ever lost: what stands there is kept under a ".workguard-restore-<seconds>.bak"
// name (shortened at the front part to fit the longest file name), and the revision, copied in
// full beside it first, replaces it in one rename, so a crash at any point leaves a whole file
// at the path.
class WorkRecovery {
public:
    // One protected file: one bucket of the store.
    struct RecoverableFile {
        QString id;  // the bucket folder
        QString originalPath;
        int snapshotCount = 0;
        QDateTime mostRecentAt;
        QString mostRecentURL;
        qint64 mostRecentBytes = 0;
        bool operator==(const RecoverableFile&) const = default;
    };

    struct SnapshotRevision {
        QString id;  // the revision file
        QDateTime capturedAt;
        qint64 bytes = 0;
        bool operator==(const SnapshotRevision&) const = default;
    };

    struct RestoreResult {
        enum class Kind { success, originalNewer, failure };
        Kind kind = Kind::failure;
        QString restoredTo;                     // success
        QDateTime originalMtime, snapshotMtime;  // originalNewer
        QString message;                        // failure

        static RestoreResult success(QString to) { return {Kind::success, std::move(to), {}, {}, {}}; }
        static RestoreResult newer(QDateTime original, QDateTime snapshot)
        {
            return {Kind::originalNewer, {}, std::move(original), std::move(snapshot), {}};
        }
        static RestoreResult failure(QString text) { return {Kind::failure, {}, {}, {}, std::move(text)}; }
    };

    static inline const QString noMtimeText = QStringLiteral("Snapshot has no mtime");
    static inline const QString noManifestText = QStringLiteral("No manifest for snapshot \u2014 destination unknown");
    static inline const QString foreignManifestText =
        QStringLiteral("The snapshot's manifest does not name the file it was taken of \u2014 nothing restored");

    // `ownWrite` is told each path a restore is about to write, so the file-event stream can
    // leave our own writes out.
    WorkRecovery(QString snapshotsRoot, const Clock& clock, std::function<void(const QString&)> ownWrite = {});

    QList<RecoverableFile> recoverableFiles() const;
    QList<SnapshotRevision> listRevisions(const QString& bucket) const;
    RestoreResult restoreSnapshot(const QString& revision, const std::optional<QString>& destination, bool force) const;

private:
    QString m_root;
    const Clock& m_clock;
    std::function<void(const QString&)> m_ownWrite;
};
