#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

class Clock;

// The snapshot store: one bucket folder per protected file, named by a hash of the file's
// path, holding "manifest.txt" (the path and a line feed) and up to a few revisions. A
// revision is a clone or copy of the file with the file's own modification time, named by the
// moment it was taken. A revision is written under a hidden temporary name, synced, given its
// times and only then renamed into place, so a reader never meets a torn one: readers skip
// every hidden entry of a bucket. What is pruned is deleted: revisions are our own copies and
// never go to the user's Trash. Every operation is synchronous and runs on Work Guard's serial
// queue.
class WorkSnapshotter {
public:
    static inline const QString manifestName = QStringLiteral("manifest.txt");
    // Hidden entries of a bucket: revisions being written, and the mark of a file saved on
    // its own (not by a bulk writer), whose modification time is that of the last such save.
    static inline const QString partialPrefix = QStringLiteral(".partial-");
    static inline const QString singleSaveMark = QStringLiteral(".single");
    // A bucket whose file was saved on its own this recently outranks every bulk bucket.
    static constexpr double singleSaveProtection = 604'800;

    // Free space of the store's file system; nothing when it cannot be read.
    struct Space {
        uint64_t total = 0;
        uint64_t available = 0;
    };
    using SpaceSource = std::function<std::optional<Space>()>;
    // The worth of keeping a bucket, from the protected file's path (higher is worth more).
    using BucketValue = std::function<double(const QString& originalPath)>;

    enum class Outcome {
        written,    // a new revision is in the bucket
        unchanged,  // the newest revision already holds the file as it is
        deferred,   // changed, but the last capture is too recent: try again at `dueAt`
        gone,       // no regular file under that name (any more)
        refused,    // too large, on another volume
        lowSpace,   // the copy would leave too little free space
        failed,     // the copy failed
    };
    struct Result {
        Outcome outcome = Outcome::failed;
        QDateTime dueAt;  // deferred
        explicit operator bool() const { return outcome == Outcome::written; }
    };

    // `root` defaults to <data home>/Veltranmoor/Snapshots; it is created at once. Without a
    // space source the store's file system is asked with statvfs.
    explicit WorkSnapshotter(const Clock& clock, QString root = defaultRoot(), SpaceSource space = {});
    static QString defaultRoot();

    const QString& snapshotsRoot() const { return m_root; }

    // The first 16 hex digits of the SHA-256 of the path's UTF-8 bytes.
    static QString bucketName(const QString& absolutePath);
    QString bucketURL(const QString& file) const;

    // Folders below which files are opened relative to the folder's own descriptor, no link
    // followed on the way down. Files elsewhere are opened from their parent folder.
    void setConfinedRoots(const QStringList& roots) { m_roots = roots; }
    void setBucketValue(BucketValue value) { m_value = std::move(value); }

    // A change is captured unless the newest revision already holds it; a change made within
    // `minStepSeconds` of the last capture is deferred, never dropped. `single` marks a save
    // the user made, as opposed to one file of a bulk write.
    Result snapshotFile(const QString& file, int keep, qint64 maxBytes, double minStepSeconds, bool single = true);
    void writeManifest(const QString& bucket, const QString& path);
    void pruneBucket(const QString& bucket, int keep);
    // The latest modification time among the bucket's revisions (its newest revision's source
    // time).
    std::optional<QDateTime> newestRevisionDate(const QString& bucket) const;
    // When the bucket's last revision was taken, from the stamps of the revision names.
    std::optional<QDateTime> lastCaptureDate(const QString& bucket) const;
    // The latest modification time of the bucket's visible entries, the manifest included;
    // else the folder's own; else the distant past. Buckets age by it.
    QDateTime bucketDate(const QString& bucket) const;
    int countSnapshots() const;
    // Both prunes drop the buckets worth least first: bulk buckets before those of files
    // saved on their own within `singleSaveProtection`, then the lowest value, then the oldest.
    void pruneByTotalBytes(qint64 limit);
    void pruneByAgeAndCount(double maxAgeSeconds, int maxBuckets);
    // Start-up: deletes revisions left half-written by a stop mid-copy. Returns how many.
    int removeLeftovers();

    // The free space a snapshot must leave: max(1 GiB, 5 % of the file system).
    static uint64_t spaceFloor(uint64_t total);
    // Set while snapshots are held back for want of space; the text says so.
    std::optional<QString> spaceNotice() const { return m_spaceNotice; }

    // The revision's file name for a capture at `at`: the stamp, then the file's extension.
    static QString revisionName(const QDateTime& at, const QString& file);

private:
    struct BucketFacts;
    std::optional<BucketFacts> bucketFacts(const QString& bucket) const;
    void removeBucket(const QString& bucket);
    bool enoughSpaceFor(qint64 bytes);

    const Clock& m_clock;
    QString m_root;
    SpaceSource m_space;
    QStringList m_roots;
    BucketValue m_value;
    std::optional<QString> m_spaceNotice;
};
