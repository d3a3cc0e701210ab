#include "guards/WorkSnapshotter.h"

#include "core/CFormat.h"
#include "core/Clock.h"
#include "core/FileClone.h"
#include "core/Log.h"
#include "core/Paths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimeZone>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>

namespace {

QDateTime distantPast() { return QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc()); }

QDateTime toDate(const struct timespec& t)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000, QTimeZone::utc());
}

struct timespec toTimespec(const QDateTime& at)
{
    const qint64 ms = at.toMSecsSinceEpoch();
    return {time_t(ms / 1000), long((ms % 1000) * 1000000)};
}

bool sameTime(const struct timespec& a, const struct timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// A descriptor that closes itself.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(Fd&& o) noexcept : m_fd(std::exchange(o.m_fd, -1)) {}
    Fd& operator=(Fd&& o) noexcept
    {
        if (this != &o) {
            reset();
            m_fd = std::exchange(o.m_fd, -1);
        }
        return *this;
    }
    ~Fd() { reset(); }
    void reset()
    {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

struct Entry {
    QByteArray name;
    struct stat st {};
    bool statted = false;
    bool hidden() const { return name.startsWith('.'); }
    bool isDir() const { return statted && S_ISDIR(st.st_mode); }
};

// The direct entries of the folder open at `fd`, hidden ones included, without following links.
std::vector<Entry> listAt(int fd)
{
    std::vector<Entry> out;
    const int dup = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dup < 0) return out;
    DIR* dir = ::fdopendir(dup);
    if (!dir) {
        ::close(dup);
        return out;
    }
    while (dirent* d = ::readdir(dir)) {
        if (!std::strcmp(d->d_name, ".") || !std::strcmp(d->d_name, "..")) continue;
        Entry e;
        e.name = QByteArray(d->d_name);
        e.statted = ::fstatat(fd, d->d_name, &e.st, AT_SYMLINK_NOFOLLOW) == 0;
        out.push_back(std::move(e));
    }
    ::closedir(dir);
    return out;
}

Fd openFolder(const QString& path)
{
    return Fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// Deletes the entry `name` of the folder open at `parentFd`, a folder with all it holds;
// links are removed, never followed.
void removeAt(int parentFd, const char* name, int depth = 0)
{
    if (::unlinkat(parentFd, name, 0) == 0 || errno == ENOENT) return;
    if (errno != EISDIR && errno != EPERM) return;
    if (depth > 16) return;
    const Fd dir(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir.valid()) return;
    for (const Entry& e : listAt(dir.get())) removeAt(dir.get(), e.name.constData(), depth + 1);
    ::unlinkat(parentFd, name, AT_REMOVEDIR);
}

// Writes `content` under `name` in the folder open at `dirFd` through a hidden temporary that
// is synced and then renamed over the old file.
bool writeAtomically(int dirFd, const QByteArray& name, const QByteArray& content)
{
    const QByteArray temp = QFile::encodeName(WorkSnapshotter::partialPrefix) + name;
    ::unlinkat(dirFd, temp.constData(), 0);
    const Fd fd(::openat(dirFd, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) return false;
    bool ok = ::write(fd.get(), content.constData(), size_t(content.size())) == content.size() && ::fsync(fd.get()) == 0;
    ok = ok && ::renameat(dirFd, temp.constData(), dirFd, name.constData()) == 0;
    if (!ok) ::unlinkat(dirFd, temp.constData(), 0);
    return ok;
}

// Where a file was opened: the file, its folder and its name in that folder.
struct Opened {
    Fd file;
    Fd parent;
    QByteArray leaf;
    int error = 0;
};

// Opens `path` for reading without following a link at its end. Below one of `roots` the
// walk starts at the root's descriptor and follows no link on the way down either.
Opened openSource(const QString& path, const QStringList& roots)
{
    Opened o;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    o.leaf = QFile::encodeName(path.mid(slash + 1));
    QString root;
    for (const QString& r : roots) {
        if (path.startsWith(r + QLatin1Char('/'))) {
            root = r;
            break;
        }
    }
    if (root.isEmpty()) {
        o.parent = Fd(::open(QFile::encodeName(slash > 0 ? path.left(slash) : QStringLiteral("/")).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    } else {
        // The root as resolved: a link put in its place since is not followed.
        o.parent = Fd(::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        const QStringList folders = slash > root.size()
                                        ? path.mid(root.size() + 1, slash - root.size() - 1).split(QLatin1Char('/'), Qt::SkipEmptyParts)
                                        : QStringList();
        for (const QString& folder : folders) {
            if (!o.parent.valid()) break;
            o.parent = Fd(::openat(o.parent.get(), QFile::encodeName(folder).constData(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        }
    }
    if (!o.parent.valid()) {
        o.error = errno;
        return o;
    }
    // Non-blocking: a pipe put there must not hold the queue.
    o.file = Fd(::openat(o.parent.get(), o.leaf.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!o.file.valid()) o.error = errno;
    return o;
}

bool isRevisionName(const Entry& e) { return !e.hidden() && e.name != QFile::encodeName(WorkSnapshotter::manifestName); }

// The stamp a revision's name starts with.
std::optional<QDateTime> stampOf(const QByteArray& name)
{
    if (name.size() < 24) return std::nullopt;
    const QDateTime at = QDateTime::fromString(QString::fromLatin1(name.left(24)), Qt::ISODateWithMs);
    if (!at.isValid()) return std::nullopt;
    return at.toUTC();
}

}  // namespace

struct WorkSnapshotter::BucketFacts {
    std::vector<Entry> revisions;  // visible revision entries
    std::optional<struct stat> newest;
    QByteArray newestName;
    std::optional<QDateTime> lastCapture;
    std::optional<QDateTime> singleSaveAt;
    QDateTime date;
    qint64 bytes = 0;
};

WorkSnapshotter::WorkSnapshotter(const Clock& clock, QString root, SpaceSource space)
    : m_clock(clock), m_root(std::move(root)), m_space(std::move(space))
{
    QDir().mkpath(m_root);
    // Revisions of private documents: only the user reads the store.
    ::chmod(QFile::encodeName(m_root).constData(), 0700);
    if (!m_space) {
        m_space = [root = QFile::encodeName(m_root)]() -> std::optional<Space> {
            struct statvfs st {};
            if (::statvfs(root.constData(), &st) != 0) return std::nullopt;
            const uint64_t total = uint64_t(st.f_blocks) * st.f_frsize;
            return Space{total, std::min(uint64_t(st.f_bavail) * st.f_frsize, total)};
        };
    }
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

uint64_t WorkSnapshotter::spaceFloor(uint64_t total) { return std::max<uint64_t>(uint64_t(1) << 30, total / 20); }

std::optional<WorkSnapshotter::BucketFacts> WorkSnapshotter::bucketFacts(const QString& bucket) const
{
    const Fd dir = openFolder(bucket);
    if (!dir.valid()) return std::nullopt;
    BucketFacts f;
    std::optional<struct timespec> latest;
    for (Entry& e : listAt(dir.get())) {
        if (!e.statted) continue;
        if (e.name == QFile::encodeName(singleSaveMark)) {
            f.singleSaveAt = toDate(e.st.st_mtim);
            continue;
        }
        if (e.hidden()) continue;
        if (!latest || toDate(e.st.st_mtim) > toDate(*latest)) latest = e.st.st_mtim;
        if (!e.isDir()) f.bytes += e.st.st_size;
        if (!isRevisionName(e) || !S_ISREG(e.st.st_mode)) continue;
        // Newest by the file's time; of equal times, the later capture.
        if (!f.newest || toDate(e.st.st_mtim) > toDate(f.newest->st_mtim) ||
            (toDate(e.st.st_mtim) == toDate(f.newest->st_mtim) && e.name > f.newestName)) {
            f.newest = e.st;
            f.newestName = e.name;
        }
        if (const auto stamp = stampOf(e.name); stamp && (!f.lastCapture || *stamp > *f.lastCapture)) f.lastCapture = stamp;
        f.revisions.push_back(std::move(e));
    }
    if (latest) {
        f.date = toDate(*latest);
    } else {
        struct stat st;
        f.date = ::fstat(dir.get(), &st) == 0 ? toDate(st.st_mtim) : distantPast();
    }
    return f;
}

bool WorkSnapshotter::enoughSpaceFor(qint64 bytes)
{
    const std::optional<Space> space = m_space ? m_space() : std::nullopt;
    if (!space) return true;
    const uint64_t floor = spaceFloor(space->total);
    const uint64_t need = uint64_t(std::max<qint64>(bytes, 0)) + floor;
    if (space->available >= need) {
        if (m_spaceNotice) Log::line(QStringLiteral("[WorkGuard] free space is back; snapshots resume"));
        m_spaceNotice.reset();
        return true;
    }
    if (!m_spaceNotice) {
        const double gib = double(uint64_t(1) << 30);
        Log::line(cformat("[WorkGuard] snapshots paused: %.1f GiB free on the snapshot volume, %.1f GiB must stay free",
                          double(space->available) / gib, double(floor) / gib));
        m_spaceNotice = QStringLiteral("Snapshots paused: the disk is nearly full");
    }
    return false;
}

WorkSnapshotter::Result WorkSnapshotter::snapshotFile(const QString& file, int keep, qint64 maxBytes,
                                                      double minStepSeconds, bool single)
{
    Opened src = openSource(file, m_roots);
    if (!src.file.valid()) return {Outcome::gone, {}};
    struct stat st;
    // Only plain files: a pipe would block the queue, a link may lead anywhere.
    if (::fstat(src.file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return {Outcome::gone, {}};
    if (st.st_size > maxBytes) return {Outcome::refused, {}};

    struct stat rootSt;
    if (::stat(QFile::encodeName(m_root).constData(), &rootSt) == 0 && rootSt.st_dev != st.st_dev)
        return {Outcome::refused, {}};

    const QString bucket = bucketURL(file);
    const QDateTime now = m_clock.now();
    if (const auto facts = bucketFacts(bucket)) {
        if (facts->newest && sameTime(facts->newest->st_mtim, st.st_mtim) && facts->newest->st_size == st.st_size)
            return {Outcome::unchanged, {}};
        if (facts->lastCapture) {
            const QDateTime due = facts->lastCapture->addMSecs(qint64(minStepSeconds * 1000));
            if (now < due) return {Outcome::deferred, due};
        }
    }
    if (!enoughSpaceFor(st.st_size)) return {Outcome::lowSpace, {}};

    const auto fail = [&](const QString& error) {
        Log::line(QStringLiteral("[WorkGuard] snapshot failed for ") + QFileInfo(file).fileName() + QStringLiteral(": ") +
                  error);
        return Result{Outcome::failed, {}};
    };
    const auto errorText = [](int error) { return QString::fromLocal8Bit(std::strerror(error)); };

    const bool newBucket = !QFileInfo::exists(bucket);
    QDir().mkpath(bucket);
    const Fd dir = openFolder(bucket);
    if (!dir.valid()) return fail(errorText(errno));

    // Written under a hidden name, synced and timed before it shows under its own.
    QByteArray temp;
    Fd dst;
    for (int attempt = 0; attempt < 8 && !dst.valid(); ++attempt) {
        temp = QFile::encodeName(partialPrefix) + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        dst = Fd(::openat(dir.get(), temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          st.st_mode & 0777));
        if (!dst.valid() && errno != EEXIST) break;
    }
    if (!dst.valid()) {
        const int error = errno;
        if (newBucket) ::rmdir(QFile::encodeName(bucket).constData());
        return fail(errorText(error));
    }
    // A bucket made for this snapshot does not outlive its failure.
    const auto discard = [&] {
        ::unlinkat(dir.get(), temp.constData(), 0);
        if (newBucket) ::rmdir(QFile::encodeName(bucket).constData());
    };

    Status copied = cloneFileContents(src.file.get(), dst.get());
    if (copied.ok()) {
        // The revision carries the file's own modification time.
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (::futimens(dst.get(), times) != 0 || ::fsync(dst.get()) != 0) copied = Status::failure(errorText(errno));
    }
    if (copied.ok() && ::close(dst.release()) != 0) copied = Status::failure(errorText(errno));
    if (!copied.ok()) {
        discard();
        return fail(copied.error());
    }

    // The file must still stand under its name, unchanged: a temporary renamed over another
    // file meanwhile, or a save still being written, is not what the user saved.
    struct stat after, named;
    const bool stillThere = ::fstatat(src.parent.get(), src.leaf.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                            named.st_dev == st.st_dev && named.st_ino == st.st_ino;
    if (!stillThere) {
        discard();
        return {Outcome::gone, {}};
    }
    if (::fstat(src.file.get(), &after) != 0 || !sameTime(after.st_mtim, st.st_mtim) || after.st_size != st.st_size) {
        discard();
        // Looked at again once the writer has had a moment.
        return {Outcome::deferred, now.addSecs(2)};
    }

    writeManifest(bucket, file);
    const QByteArray name = QFile::encodeName(revisionName(now, file));
    if (::renameat2(dir.get(), temp.constData(), dir.get(), name.constData(), RENAME_NOREPLACE) != 0) {
        const int error = errno;
        discard();
        return fail(errorText(error));
    }
    ::fsync(dir.get());

    if (single) {
        // Marks the bucket as holding a file saved on its own, as of now.
        const Fd mark(::openat(dir.get(), QFile::encodeName(singleSaveMark).constData(),
                               O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (mark.valid()) {
            const struct timespec at = toTimespec(now);
            const struct timespec times[2] = {at, at};
            ::futimens(mark.get(), times);
        }
    }
    pruneBucket(bucket, keep);
    return {Outcome::written, {}};
}

void WorkSnapshotter::writeManifest(const QString& bucket, const QString& path)
{
    const Fd dir = openFolder(bucket);
    if (dir.valid()) writeAtomically(dir.get(), QFile::encodeName(manifestName), path.toUtf8() + '\n');
}

void WorkSnapshotter::pruneBucket(const QString& bucket, int keep)
{
    const Fd dir = openFolder(bucket);
    if (!dir.valid()) return;
    std::vector<Entry> revisions;
    for (Entry& e : listAt(dir.get())) {
        if (isRevisionName(e)) revisions.push_back(std::move(e));
    }
    const auto dateOf = [](const Entry& e) { return e.statted ? toDate(e.st.st_mtim) : distantPast(); };
    std::stable_sort(revisions.begin(), revisions.end(), [&](const Entry& a, const Entry& b) {
        const QDateTime da = dateOf(a), db = dateOf(b);
        return da != db ? da > db : a.name > b.name;
    });
    for (size_t i = size_t(std::max(keep, 0)); i < revisions.size(); ++i) removeAt(dir.get(), revisions[i].name.constData());
}

std::optional<QDateTime> WorkSnapshotter::newestRevisionDate(const QString& bucket) const
{
    const auto facts = bucketFacts(bucket);
    if (!facts || !facts->newest) return std::nullopt;
    return toDate(facts->newest->st_mtim);
}

std::optional<QDateTime> WorkSnapshotter::lastCaptureDate(const QString& bucket) const
{
    const auto facts = bucketFacts(bucket);
    return facts ? facts->lastCapture : std::nullopt;
}

QDateTime WorkSnapshotter::bucketDate(const QString& bucket) const
{
    const auto facts = bucketFacts(bucket);
    if (facts) return facts->date;
    struct stat st;
    if (::lstat(QFile::encodeName(bucket).constData(), &st) == 0) return toDate(st.st_mtim);
    return distantPast();
}

int WorkSnapshotter::countSnapshots() const
{
    const Fd root = openFolder(m_root);
    if (!root.valid()) return 0;
    int total = 0;
    for (const Entry& b : listAt(root.get())) {
        if (!b.isDir()) continue;
        const Fd bucket(::openat(root.get(), b.name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!bucket.valid()) continue;
        for (const Entry& e : listAt(bucket.get())) total += isRevisionName(e);
    }
    return total;
}

namespace {

struct PruneCandidate {
    QString path;
    QDateTime date;
    qint64 bytes = 0;
    bool protectedSingle = false;
    double value = 0;
};

// Worth least first: bulk before recent single saves, then lower value, then older.
void sortWorthLeastFirst(std::vector<PruneCandidate>& buckets)
{
    std::stable_sort(buckets.begin(), buckets.end(), [](const PruneCandidate& a, const PruneCandidate& b) {
        if (a.protectedSingle != b.protectedSingle) return !a.protectedSingle;
        if (a.value != b.value) return a.value < b.value;
        return a.date < b.date;
    });
}

std::optional<QString> readManifestPath(const QString& bucket)
{
    QFile f(bucket + QLatin1Char('/') + WorkSnapshotter::manifestName);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = f.read(8192);
    if (bytes.endsWith('\n')) bytes.chop(1);
    return QString::fromUtf8(bytes);
}

}  // namespace

void WorkSnapshotter::pruneByTotalBytes(qint64 limit)
{
    const Fd root = openFolder(m_root);
    if (!root.valid()) return;
    const QDateTime now = m_clock.now();
    std::vector<PruneCandidate> buckets;
    qint64 total = 0;
    for (const Entry& e : listAt(root.get())) {
        if (!e.isDir()) continue;
        const QString path = m_root + QLatin1Char('/') + QFile::decodeName(e.name);
        const auto facts = bucketFacts(path);
        if (!facts) continue;
        PruneCandidate c{path, facts->date, facts->bytes, false, 0};
        c.protectedSingle = facts->singleSaveAt && double(facts->singleSaveAt->msecsTo(now)) / 1000.0 <= singleSaveProtection;
        total += c.bytes;
        buckets.push_back(std::move(c));
    }
    if (total <= limit) return;
    if (m_value) {
        for (PruneCandidate& c : buckets) {
            const auto original = readManifestPath(c.path);
            c.value = original ? m_value(*original) : -1;
        }
    }
    sortWorthLeastFirst(buckets);
    for (const PruneCandidate& c : buckets) {
        if (total <= limit) return;
        removeBucket(c.path);
        total -= c.bytes;
    }
}

void WorkSnapshotter::pruneByAgeAndCount(double maxAgeSeconds, int maxBuckets)
{
    const QDateTime now = m_clock.now();
    const Fd root = openFolder(m_root);
    if (!root.valid()) return;
    std::vector<PruneCandidate> survivors;
    for (const Entry& e : listAt(root.get())) {
        if (!e.isDir()) continue;
        const QString path = m_root + QLatin1Char('/') + QFile::decodeName(e.name);
        const auto facts = bucketFacts(path);
        const QDateTime date = facts ? facts->date : bucketDate(path);
        if (double(date.msecsTo(now)) / 1000.0 > maxAgeSeconds) {
            removeBucket(path);
            continue;
        }
        PruneCandidate c{path, date, 0, false, 0};
        c.protectedSingle = facts && facts->singleSaveAt &&
                            double(facts->singleSaveAt->msecsTo(now)) / 1000.0 <= singleSaveProtection;
        survivors.push_back(std::move(c));
    }
    const size_t limit = size_t(std::max(maxBuckets, 0));
    if (survivors.size() <= limit) return;
    if (m_value) {
        for (PruneCandidate& c : survivors) {
            const auto original = readManifestPath(c.path);
            c.value = original ? m_value(*original) : -1;
        }
    }
    sortWorthLeastFirst(survivors);
    for (size_t i = 0; i < survivors.size() - limit; ++i) removeBucket(survivors[i].path);
}

int WorkSnapshotter::removeLeftovers()
{
    const Fd root = openFolder(m_root);
    if (!root.valid()) return 0;
    const QByteArray prefix = QFile::encodeName(partialPrefix);
    int removed = 0;
    for (const Entry& b : listAt(root.get())) {
        if (!b.isDir()) continue;
        const Fd bucket(::openat(root.get(), b.name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!bucket.valid()) continue;
        for (const Entry& e : listAt(bucket.get())) {
            if (e.name.startsWith(prefix) && ::unlinkat(bucket.get(), e.name.constData(), 0) == 0) ++removed;
        }
    }
    return removed;
}

void WorkSnapshotter::removeBucket(const QString& bucket)
{
    // Only a folder directly in the store's root is ever removed.
    const Fd root = openFolder(m_root);
    if (!root.valid() || QFileInfo(bucket).absolutePath() != QFileInfo(m_root).absoluteFilePath()) return;
    removeAt(root.get(), QFile::encodeName(QFileInfo(bucket).fileName()).constData());
}
