#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

class Clock;

// The snapshot store: one bucket folder per protected file, named by a hash of the file's
// path, holding "manifest.txt" (the path and a line feed) and up to a few revisions. A
// revision is a clone or copy of the file with the file's own modification time, named by the
// moment it was taken. Nothing is ever deleted outright: what is pruned goes to the Trash.
// Every operation is synchronous and runs on Work Guard's serial queue.
class WorkSnapshotter {
public:
    static inline const QString manifestName = QStringLiteral("manifest.txt");

    // `root` defaults to <data home>/Veltranmoor/Snapshots; it is created at once.
    explicit WorkSnapshotter(const Clock& clock, QString root = defaultRoot());
    static QString defaultRoot();

    const QString& snapshotsRoot() const { return m_root; }

    // The first 16 hex digits of the SHA-256 of the path's UTF-8 bytes.
    static QString bucketName(const QString& absolutePath);
    QString bucketURL(const QString& file) const;

    // True when a new revision was written.
    bool snapshotFile(const QString& file, int keep, qint64 maxBytes, double minStepSeconds);
    void writeManifest(const QString& bucket, const QString& path);
    void pruneBucket(const QString& bucket, int keep);
    // The latest modification time among the bucket's revisions, that is the newest revision's
    // source time (the manifest does not count).
    std::optional<QDateTime> newestRevisionDate(const QString& bucket) const;
    // The latest modification time of all the bucket's entries, the manifest included; else
    // the folder's own; else the distant past. Buckets age and sort by it.
    QDateTime bucketDate(const QString& bucket) const;
    int countSnapshots() const;
    void pruneByTotalBytes(qint64 limit);
    void pruneByAgeAndCount(double maxAgeSeconds, int maxBuckets);

    // The revision's file name for a capture at `at`: the stamp, then the file's extension.
    static QString revisionName(const QDateTime& at, const QString& file);

private:
    void trash(const QString& path);

    const Clock& m_clock;
    QString m_root;
};
