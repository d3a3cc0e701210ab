#include "guards/WorkRecovery.h"

#include "core/Clock.h"
#include "core/FileClone.h"
#include "core/Log.h"
#include "guards/WorkSnapshotter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTimeZone>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QDateTime toDate(const struct timespec& t)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000, QTimeZone::utc());
}

bool later(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// The manifest's path, or nothing when it cannot be read or is not UTF-8.
std::optional<QString> readManifest(const QString& bucket)
{
    QFile f(bucket + QLatin1Char('/') + WorkSnapshotter::manifestName);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = f.readAll();
    auto decode = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decode(bytes);
    if (decode.hasError()) return std::nullopt;
    return text.trimmed();
}

// Moves `from` to `to` unless something already stands at `to`.
bool renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: a hard link cannot replace either.
    if (::link(from.constData(), to.constData()) != 0) return false;
    ::unlink(from.constData());
    return true;
}

}  // namespace

WorkRecovery::WorkRecovery(QString snapshotsRoot, const Clock& clock, std::function<void(const QString&)> ownWrite)
    : m_root(std::move(snapshotsRoot)), m_clock(clock), m_ownWrite(std::move(ownWrite))
{
}

QList<WorkRecovery::RecoverableFile> WorkRecovery::recoverableFiles() const
{
    QList<RecoverableFile> out;
    const QDir root(m_root);
    if (!root.exists()) return out;
    const QStringList names = root.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                             QDir::NoSort);
    for (const QString& name : names) {
        const QString bucket = m_root + QLatin1Char('/') + name;
        const auto path = readManifest(bucket);
        if (!path) continue;
        const QList<SnapshotRevision> revisions = listRevisions(bucket);
        if (revisions.isEmpty()) continue;
        const SnapshotRevision& newest = revisions.first();
        out.append({bucket, *path, int(revisions.size()), newest.capturedAt, newest.id, newest.bytes});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const RecoverableFile& a, const RecoverableFile& b) { return a.mostRecentAt > b.mostRecentAt; });
    return out;
}

QList<WorkRecovery::SnapshotRevision> WorkRecovery::listRevisions(const QString& bucket) const
{
    QList<SnapshotRevision> out;
    const QDir dir(bucket);
    if (!dir.exists()) return out;
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                            QDir::NoSort);
    for (const QString& name : names) {
        // Hidden entries are the store's own: revisions still being written, marks.
        if (name == WorkSnapshotter::manifestName || name.startsWith(QLatin1Char('.'))) continue;
        const QString path = bucket + QLatin1Char('/') + name;
        struct stat st;
        // A folder or anything else without a file size is no revision.
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        out.append({path, toDate(st.st_mtim), qint64(st.st_size)});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const SnapshotRevision& a, const SnapshotRevision& b) { return a.capturedAt > b.capturedAt; });
    return out;
}

WorkRecovery::RestoreResult WorkRecovery::restoreSnapshot(const QString& revision, const std::optional<QString>& destination,
                                                          bool force) const
{
    const QByteArray revisionNative = QFile::encodeName(revision);
    struct stat rev;
    if (::lstat(revisionNative.constData(), &rev) != 0 || !S_ISREG(rev.st_mode)) return RestoreResult::failure(noMtimeText);
    const QDateTime snapshotMtime = toDate(rev.st_mtim);

    QString target;
    if (destination) {
        target = *destination;
    } else {
        const QString bucket = QFileInfo(revision).absolutePath();
        const auto path = readManifest(bucket);
        if (!path) return RestoreResult::failure(noManifestText);
        // The store names each bucket by its file's path: a manifest naming another place
        // was not written by the store, and is not followed.
        if (!QDir::isAbsolutePath(*path) || QDir::cleanPath(*path) != *path ||
            WorkSnapshotter::bucketName(*path) != QFileInfo(bucket).fileName())
            return RestoreResult::failure(foreignManifestText);
        target = *path;
    }
    const QByteArray targetNative = QFile::encodeName(target);

    struct stat current;
    const bool exists = ::lstat(targetNative.constData(), &current) == 0;
    if (!force && exists && later(current.st_mtim, rev.st_mtim))
        return RestoreResult::newer(toDate(current.st_mtim), snapshotMtime);

    const QString folder = QFileInfo(target).absolutePath();
    QDir().mkpath(folder);

    const int src = ::open(revisionNative.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (src < 0) return RestoreResult::failure(errno == ENOENT ? noMtimeText : errorText(errno));

    const QString backup = target + QStringLiteral(".workguard-restore-") +
                           QString::number(m_clock.now().toSecsSinceEpoch()) + QStringLiteral(".bak");
    const QByteArray backupNative = QFile::encodeName(backup);
    if (m_ownWrite) {
        m_ownWrite(target);
        m_ownWrite(backup);
    }
    // A failure here leaves the file where it is; the exclusive create below then refuses.
    const bool movedAside = exists && renameNoReplace(targetNative, backupNative);
    const auto putBack = [&] {
        if (movedAside) renameNoReplace(backupNative, targetNative);
    };

    const int dst = ::open(targetNative.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, rev.st_mode & 0777);
    if (dst < 0) {
        const int error = errno;
        ::close(src);
        putBack();
        return RestoreResult::failure(errorText(error));
    }
    Status copied = cloneFileContents(src, dst);
    ::close(src);
    if (copied.ok()) {
        const struct timespec times[2] = {rev.st_atim, rev.st_mtim};
        ::futimens(dst, times);
    }
    if (::close(dst) != 0 && copied.ok()) copied = Status::failure(errorText(errno));
    if (!copied.ok()) {
        ::unlink(targetNative.constData());
        putBack();
        return RestoreResult::failure(copied.error());
    }

    Log::line(QStringLiteral("[WorkGuard] restored snapshot ") + QFileInfo(revision).fileName() + QStringLiteral(" -> ") + target);
    return RestoreResult::success(target);
}
