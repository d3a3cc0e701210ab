#include "guards/WorkRecovery.h"

#include "core/Clock.h"
#include "core/FileClone.h"
#include "core/Log.h"
#include "guards/WorkSnapshotter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTimeZone>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <climits>
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

// The manifest's path, or nothing when it cannot be read or is not UTF-8. The manifest is the
// path and one line feed; only that line feed is taken off, so a name that begins or ends with
// blanks keeps them.
std::optional<QString> readManifest(const QString& bucket)
{
    QFile f(bucket + QLatin1Char('/') + WorkSnapshotter::manifestName);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = f.readAll();
    if (bytes.endsWith('\n')) bytes.chop(1);
    auto decode = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decode(bytes);
    if (decode.hasError()) return std::nullopt;
    return text;
}

// A file name made of `head`, shortened as needed, then `tail`, that fits NAME_MAX bytes in
// the file system's encoding. `head` loses whole characters from its end.
QString fittedName(QString head, const QString& tail)
{
    const qsizetype room = NAME_MAX - QFile::encodeName(tail).size();
    while (!head.isEmpty() && QFile::encodeName(head).size() > room) {
        head.chop(head.size() >= 2 && head.at(head.size() - 1).isLowSurrogate() ? 2 : 1);
    }
    return head + tail;
}

// A name nobody else uses for the restore's temporary copy.
QString temporarySuffix()
{
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString out = QStringLiteral(".workguard-restore-");
    quint64 bits = QRandomGenerator::system()->generate64();
    for (int i = 0; i < 8; ++i, bits /= 36) out += QLatin1Char(digits[bits % 36]);
    return out;
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

    const QFileInfo targetInfo(target);
    const QString folder = targetInfo.absolutePath();
    QDir().mkpath(folder);
    const QByteArray folderNative = QFile::encodeName(folder);

    const int src = ::open(revisionNative.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (src < 0) return RestoreResult::failure(errno == ENOENT ? noMtimeText : errorText(errno));

    // 1. The revision is copied in full, with its times, beside the file, before anything at
    // the file's path is touched. The copy has no name while it is written (a crash leaves
    // nothing); where the file system cannot do that, it is written under a hidden name.
    const QString temporary = folder + QLatin1Char('/') +
                              fittedName(QLatin1Char('.') + targetInfo.fileName(), temporarySuffix());
    const QByteArray temporaryNative = QFile::encodeName(temporary);
    if (m_ownWrite) {
        m_ownWrite(target);
        m_ownWrite(temporary);
    }
    bool named = false;
    int dst = ::open(folderNative.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, rev.st_mode & 0777);
    if (dst < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        dst = ::open(temporaryNative.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, rev.st_mode & 0777);
        named = dst >= 0;
    }
    if (dst < 0) {
        const int error = errno;
        ::close(src);
        return RestoreResult::failure(errorText(error));
    }
    Status copied = cloneFileContents(src, dst);
    ::close(src);
    if (copied.ok()) {
        const struct timespec times[2] = {rev.st_atim, rev.st_mtim};
        ::futimens(dst, times);
        if (::fsync(dst) != 0) copied = Status::failure(errorText(errno));
    }
    if (copied.ok() && !named) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(dst);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, temporaryNative.constData(), AT_SYMLINK_FOLLOW) != 0)
            copied = Status::failure(errorText(errno));
        else
            named = true;
    }
    if (::close(dst) != 0 && copied.ok()) copied = Status::failure(errorText(errno));
    const auto dropTemporary = [&] {
        if (named) ::unlink(temporaryNative.constData());
    };
    if (!copied.ok()) {
        dropTemporary();
        return RestoreResult::failure(copied.error());
    }

    // 2. What stands at the path is kept under its backup name. A second link keeps the file at
    // its path meanwhile; only a file system without links has it moved.
    const QString backup =
        folder + QLatin1Char('/') +
        fittedName(targetInfo.fileName(), QStringLiteral(".workguard-restore-") +
                                              QString::number(m_clock.now().toSecsSinceEpoch()) + QStringLiteral(".bak"));
    const QByteArray backupNative = QFile::encodeName(backup);
    if (m_ownWrite) m_ownWrite(backup);
    enum class Aside { nothing, linked, moved } aside = Aside::nothing;
    if (exists) {
        if (::link(targetNative.constData(), backupNative.constData()) == 0) {
            aside = Aside::linked;
        } else if (errno == ENOENT) {
            // Gone since it was looked at: there is nothing to keep.
        } else if (errno != EEXIST && renameNoReplace(targetNative, backupNative)) {
            aside = Aside::moved;
        } else {
            const int error = errno;
            dropTemporary();
            return RestoreResult::failure(errorText(error));
        }
    }

    // 3. The complete copy takes the path in one step: the path holds the old file or the
    // restored one, never part of either.
    const bool placed = aside == Aside::linked
                            ? ::rename(temporaryNative.constData(), targetNative.constData()) == 0
                            : renameNoReplace(temporaryNative, targetNative);
    if (!placed) {
        const int error = errno;
        dropTemporary();
        if (aside == Aside::linked) ::unlink(backupNative.constData());
        if (aside == Aside::moved) renameNoReplace(backupNative, targetNative);
        return RestoreResult::failure(errorText(error));
    }
    const int dir = ::open(folderNative.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }

    Log::line(QStringLiteral("[WorkGuard] restored snapshot ") + QFileInfo(revision).fileName() + QStringLiteral(" -> ") + target);
    return RestoreResult::success(target);
}
