#include "guards/WorkSnapshotter.h"

#include "core/Clock.h"
#include "core/FileClone.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "core/Trash.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimeZone>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QDateTime distantPast() { return QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc()); }

QDateTime mtimeOf(const struct stat& st)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000, QTimeZone::utc());
}

struct Entry {
    QString path;
    QString name;
    std::optional<QDateTime> mtime;
    qint64 size = 0;
    bool isDir = false;
};

// The direct entries of a folder, hidden ones included, without following links.
std::optional<std::vector<Entry>> listEntries(const QString& folder)
{
    QDir dir(folder);
    if (!dir.exists()) return std::nullopt;
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                            QDir::NoSort);
    std::vector<Entry> out;
    out.reserve(size_t(names.size()));
    for (const QString& name : names) {
        Entry e;
        e.name = name;
        e.path = folder + QLatin1Char('/') + name;
        struct stat st;
        if (::lstat(QFile::encodeName(e.path).constData(), &st) == 0) {
            e.mtime = mtimeOf(st);
            e.size = st.st_size;
            e.isDir = S_ISDIR(st.st_mode);
        }
        out.push_back(std::move(e));
    }
    return out;
}

}  // namespace

WorkSnapshotter::WorkSnapshotter(const Clock& clock, QString root) : m_clock(clock), m_root(std::move(root))
{
    QDir().mkpath(m_root);
    // Revisions of private documents: only the user reads the store.
    ::chmod(QFile::encodeName(m_root).constData(), 0700);
}

QString WorkSnapshotter::defaultRoot() { return Paths::appSupportDir() + QStringLiteral("/Snapshots"); }

QString WorkSnapshotter::bucketName(const QString& absolutePath)
{
    return QString::fromLatin1(QCryptographicHash::hash(absolutePath.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

QString WorkSnapshotter::bucketURL(const QString& file) const
{
    return m_root + QLatin1Char('/') + bucketName(file);
}

QString WorkSnapshotter::revisionName(const QDateTime& at, const QString& file)
{
    QString name = at.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
    const QString fileName = QFileInfo(file).fileName();
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    // A leading dot starts a hidden name, not an extension.
    if (dot > 0 && dot < fileName.size() - 1) name += fileName.mid(dot);
    return name;
}

bool WorkSnapshotter::snapshotFile(const QString& file, int keep, qint64 maxBytes, double minStepSeconds)
{
    const QByteArray native = QFile::encodeName(file);
    struct stat st;
    if (::lstat(native.constData(), &st) != 0) return false;
    // Only plain files: a pipe would block the queue, a link may lead anywhere.
    if (!S_ISREG(st.st_mode)) return false;
    if (st.st_size > maxBytes) return false;

    struct stat rootSt;
    if (::stat(QFile::encodeName(m_root).constData(), &rootSt) == 0 && rootSt.st_dev != st.st_dev) return false;

    const QString bucket = bucketURL(file);
    QDir().mkpath(bucket);

    const QDateTime fileMtime = mtimeOf(st);
    if (const auto newest = newestRevisionDate(bucket)) {
        if (!(*newest < fileMtime.addMSecs(-qint64(minStepSeconds * 1000)))) return false;
    }

    const QString revision = bucket + QLatin1Char('/') + revisionName(m_clock.now(), file);
    const auto fail = [&](int error) {
        Log::line(QStringLiteral("[WorkGuard] snapshot failed for ") + QFileInfo(file).fileName() + QStringLiteral(": ") +
                  QString::fromLocal8Bit(std::strerror(error)));
        return false;
    };

    const int src = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (src < 0) return fail(errno);
    const QByteArray revisionNative = QFile::encodeName(revision);
    const int dst = ::open(revisionNative.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           st.st_mode & 0777);
    if (dst < 0) {
        const int error = errno;
        ::close(src);
        return fail(error);
    }
    const Status copied = cloneFileContents(src, dst);
    if (copied.ok()) {
        // The revision carries the file's own modification time.
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(dst, times);
    }
    ::close(src);
    if (!copied.ok() || ::close(dst) != 0) {
        const int error = copied.ok() ? errno : 0;
        ::unlink(revisionNative.constData());
        Log::line(QStringLiteral("[WorkGuard] snapshot failed for ") + QFileInfo(file).fileName() + QStringLiteral(": ") +
                  (copied.ok() ? QString::fromLocal8Bit(std::strerror(error)) : copied.error()));
        return false;
    }

    writeManifest(bucket, file);
    pruneBucket(bucket, keep);
    return true;
}

void WorkSnapshotter::writeManifest(const QString& bucket, const QString& path)
{
    QSaveFile f(bucket + QLatin1Char('/') + manifestName);
    if (!f.open(QIODevice::WriteOnly)) return;
    f.write(path.toUtf8() + '\n');
    f.commit();
}

void WorkSnapshotter::pruneBucket(const QString& bucket, int keep)
{
    const auto entries = listEntries(bucket);
    if (!entries) return;
    std::vector<Entry> revisions;
    for (const Entry& e : *entries) {
        if (e.name != manifestName) revisions.push_back(e);
    }
    std::stable_sort(revisions.begin(), revisions.end(), [](const Entry& a, const Entry& b) {
        return a.mtime.value_or(distantPast()) > b.mtime.value_or(distantPast());
    });
    for (size_t i = size_t(std::max(keep, 0)); i < revisions.size(); ++i) trash(revisions[i].path);
}

std::optional<QDateTime> WorkSnapshotter::newestRevisionDate(const QString& bucket) const
{
    const auto entries = listEntries(bucket);
    if (!entries) return std::nullopt;
    std::optional<QDateTime> newest;
    for (const Entry& e : *entries) {
        if (e.name == manifestName || !e.mtime) continue;
        if (!newest || *e.mtime > *newest) newest = e.mtime;
    }
    return newest;
}

QDateTime WorkSnapshotter::bucketDate(const QString& bucket) const
{
    std::optional<QDateTime> latest;
    if (const auto entries = listEntries(bucket)) {
        for (const Entry& e : *entries) {
            if (e.mtime && (!latest || *e.mtime > *latest)) latest = e.mtime;
        }
    }
    if (latest) return *latest;
    struct stat st;
    if (::lstat(QFile::encodeName(bucket).constData(), &st) == 0) return mtimeOf(st);
    return distantPast();
}

int WorkSnapshotter::countSnapshots() const
{
    const auto buckets = listEntries(m_root);
    if (!buckets) return 0;
    int total = 0;
    for (const Entry& b : *buckets) {
        if (!b.isDir) continue;
        if (const auto entries = listEntries(b.path)) {
            for (const Entry& e : *entries) total += e.name != manifestName;
        }
    }
    return total;
}

void WorkSnapshotter::pruneByTotalBytes(qint64 limit)
{
    const auto entries = listEntries(m_root);
    if (!entries) return;
    struct Bucket {
        QString path;
        qint64 size = 0;
        QDateTime date;
    };
    std::vector<Bucket> buckets;
    qint64 total = 0;
    for (const Entry& e : *entries) {
        if (!e.isDir) continue;
        Bucket b{e.path, 0, bucketDate(e.path)};
        if (const auto inside = listEntries(e.path)) {
            for (const Entry& f : *inside) b.size += f.isDir ? 0 : f.size;
        }
        total += b.size;
        buckets.push_back(std::move(b));
    }
    if (total <= limit) return;
    std::stable_sort(buckets.begin(), buckets.end(), [](const Bucket& a, const Bucket& b) { return a.date < b.date; });
    for (const Bucket& b : buckets) {
        if (total <= limit) return;
        trash(b.path);
        total -= b.size;
    }
}

void WorkSnapshotter::pruneByAgeAndCount(double maxAgeSeconds, int maxBuckets)
{
    const QDateTime now = m_clock.now();
    const auto entries = listEntries(m_root);
    if (!entries) return;
    struct Bucket {
        QString path;
        QDateTime date;
    };
    std::vector<Bucket> survivors;
    for (const Entry& e : *entries) {
        if (!e.isDir) continue;
        const QDateTime date = bucketDate(e.path);
        const double age = double(date.msecsTo(now)) / 1000.0;
        if (age > maxAgeSeconds) {
            trash(e.path);
        } else {
            survivors.push_back({e.path, date});
        }
    }
    if (survivors.size() <= size_t(std::max(maxBuckets, 0))) return;
    std::stable_sort(survivors.begin(), survivors.end(), [](const Bucket& a, const Bucket& b) { return a.date > b.date; });
    for (size_t i = size_t(std::max(maxBuckets, 0)); i < survivors.size(); ++i) trash(survivors[i].path);
}

void WorkSnapshotter::trash(const QString& path)
{
    // A failure leaves the item; the next prune tries again.
    Trash::move(m_root, path);
}
