#include "actions/DiskCleaner.h"

#include "core/MainThread.h"
#include "core/Paths.h"
#include "core/Trash.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr uint64_t kListThreshold = 1024 * 1024;
constexpr int kOpenDir = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// glibc has no wrapper for getdents64 before 2.30 and readdir's 32 KiB buffer costs extra
// system calls on large folders, so the walk reads the raw records itself.
struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

bool isDotOrDotDot(const char* n) { return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')); }

struct FileId {
    dev_t dev;
    ino_t ino;
    bool operator==(const FileId&) const = default;
};

struct FileIdHash {
    size_t operator()(const FileId& id) const noexcept { return std::hash<uint64_t>()(uint64_t(id.ino) * 31 + id.dev); }
};

// Reads every entry of an open directory; calls `entry(name, d_type)` for each except "." and
// "..". False when the directory could not be read to its end.
template <typename F>
bool forEachEntry(int fd, std::vector<char>& buffer, F&& entry)
{
    for (;;) {
        const long n = syscall(SYS_getdents64, fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        for (long offset = 0; offset < n;) {
            const auto* d = reinterpret_cast<const LinuxDirent64*>(buffer.data() + offset);
            offset += d->d_reclen;
            if (!isDotOrDotDot(d->d_name)) entry(d->d_name, d->d_type);
        }
    }
}

// Depth-first walk through directory descriptors: every step down is an openat with
// O_NOFOLLOW relative to the parent's descriptor, so a symlink or a renamed parent can never
// lead the walk outside the tree it started in.
class TreeWalker {
public:
    explicit TreeWalker(bool includeHidden) : m_includeHidden(includeHidden), m_buffer(256 * 1024) {}

    // Everything below the directory open at `fd`, not the directory itself.
    void walk(int fd, const std::string& path)
    {
        std::vector<std::string> subdirs;
        const bool complete = forEachEntry(fd, m_buffer, [&](const char* name, unsigned char type) {
            if (!m_includeHidden && name[0] == '.') return;
            if (type == DT_DIR) {
                subdirs.emplace_back(name);
                return;
            }
            struct stat st;
            if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
            if (S_ISDIR(st.st_mode)) {
                subdirs.emplace_back(name);
                return;
            }
            add(st);
        });
        if (!complete) unreadable << QFile::decodeName(QByteArray::fromStdString(path));
        for (const std::string& name : subdirs) descend(fd, name.c_str(), path + '/' + name);
    }

    // One entry of the directory open at `parentFd`, and for a directory all below it.
    void addEntry(int parentFd, const char* name, const std::string& path)
    {
        struct stat st;
        if (fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
        if (S_ISDIR(st.st_mode)) {
            descend(parentFd, name, path);
        } else {
            add(st);
        }
    }

    uint64_t bytes = 0;
    QStringList unreadable;

private:
    void descend(int parentFd, const char* name, const std::string& path)
    {
        const int child = openat(parentFd, name, kOpenDir);
        if (child < 0) {
            // Gone, or replaced by a link or a file since it was listed: nothing to count.
            if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP) {
                unreadable << QFile::decodeName(QByteArray::fromStdString(path));
            }
            return;
        }
        struct stat st;
        if (fstat(child, &st) == 0) add(st);
        walk(child, path);
        close(child);
    }

    void add(const struct stat& st)
    {
        // A file with several names takes its space once.
        if (!S_ISDIR(st.st_mode) && st.st_nlink > 1 && !m_seen.insert(FileId{st.st_dev, st.st_ino}).second) return;
        bytes += uint64_t(st.st_blocks) * 512u;
    }

    bool m_includeHidden;
    std::vector<char> m_buffer;
    std::unordered_set<FileId, FileIdHash> m_seen;
};

QString standardise(const QString& path, const QString& home)
{
    QString p = path;
    if (p == QLatin1String("~") || p.startsWith(QLatin1String("~/"))) p = home + p.mid(1);
    return QDir::cleanPath(p);
}

bool exists(const QString& path)
{
    struct stat st;
    return lstat(QFile::encodeName(path).constData(), &st) == 0;
}

}  // namespace

DiskCleaner::DiskCleaner(QObject* parent)
    : QObject(parent),
      m_homeDir(QDir::cleanPath(Paths::home())),
      m_worker(std::make_unique<SerialQueue>(QStringLiteral("app.veltranmoor.diskcleaner")))
{
}

DiskCleaner::~DiskCleaner() { m_worker.reset(); }

QList<DiskCleaner::Row> DiskCleaner::cleanupTargets() const
{
    using C = CleanupCategory;
    using D = Disposition;
    const QString h = m_homeDir == QLatin1String("/") ? QString() : m_homeDir;
    const QList<Row> all = {
        {Paths::cacheHome() + QStringLiteral("/pip"), QStringLiteral("pip Cache"), C::pipCache, D::regenerable},
        {h + QStringLiteral("/.cache/pip"), QStringLiteral("pip Cache (alt)"), C::pipCache, D::regenerable},
        {h + QStringLiteral("/.npm/_cacache"), QStringLiteral("npm Cache"), C::npmCache, D::regenerable},
        {h + QStringLiteral("/.yarn/berry/cache"), QStringLiteral("Yarn Cache"), C::npmCache, D::regenerable},
        {h + QStringLiteral("/.cache/yarn"), QStringLiteral("Yarn Cache (alt)"), C::npmCache, D::regenerable},
        {h + QStringLiteral("/.local/share/pnpm/store"), QStringLiteral("pnpm Store"), C::npmCache, D::regenerable},
        {h + QStringLiteral("/.cache/Homebrew"), QStringLiteral("Homebrew Cache"), C::brewCache, D::regenerable},
        {h + QStringLiteral("/Library/Developer/Xcode/DerivedData"), QStringLiteral("Xcode Derived Data"),
         C::xcodeCache, D::regenerable},
        {h + QStringLiteral("/Library/Developer/Xcode/Archives"), QStringLiteral("Xcode Archives"), C::xcodeCache,
         D::recoverable},
        {h + QStringLiteral("/.cache/chromium"), QStringLiteral("Chromium Cache"), C::chromeCache, D::regenerable},
        {h + QStringLiteral("/.cache/google-chrome"), QStringLiteral("Chrome Cache"), C::chromeCache, D::regenerable},
        {h + QStringLiteral("/.config/google-chrome/Default/Service Worker/CacheStorage"),
         QStringLiteral("Chrome SW Cache"), C::chromeCache, D::regenerable},
        {h + QStringLiteral("/.cache/mozilla/firefox"), QStringLiteral("Firefox Cache"), C::safariCache, D::regenerable},
        // Not a folder to empty: the row stands for the old log files below the state and cache
        // folders (oldUserLogs), shown under the state folder.
        {Paths::stateHome(), QStringLiteral("User Logs"), C::systemLogs, D::regenerable},
        {h + QStringLiteral("/.cache/huggingface"), QStringLiteral("HuggingFace Cache"), C::huggingFace, D::neverAuto},
        {h + QStringLiteral("/Library/Containers/com.docker.docker/Data/cache"), QStringLiteral("Docker Cache"),
         C::dockerImages, D::regenerable},
        // "App Temp Files" has no row here: /tmp and $XDG_RUNTIME_DIR hold other programs' live
        // sockets and locks.
        {h + QStringLiteral("/.cache/thumbnails"), QStringLiteral("Thumbnails"), C::tempFiles, D::regenerable},
        {Paths::trashDir(), QStringLiteral("Trash"), C::trashBin, D::neverAuto},
    };
    QList<Row> rows;
    QStringList seen;
    for (Row row : all) {
        row.path = QDir::cleanPath(row.path);
        if (seen.contains(row.path)) continue;
        seen << row.path;
        rows << row;
    }
    return rows;
}

bool DiskCleaner::isSafeCategory(CleanupCategory category)
{
    switch (category) {
    case CleanupCategory::pipCache:
    case CleanupCategory::npmCache:
    case CleanupCategory::brewCache:
    case CleanupCategory::xcodeCache:
    case CleanupCategory::chromeCache:
    case CleanupCategory::safariCache:
    case CleanupCategory::tempFiles:
        return true;
    case CleanupCategory::systemLogs:
    case CleanupCategory::huggingFace:
    case CleanupCategory::dockerImages:
    case CleanupCategory::trashBin:
        return false;
    }
    return false;
}

DiskCleaner::TreeSize DiskCleaner::measureTree(const QString& path, bool includeHidden)
{
    TreeSize result;
    const Trash::Fd fd = Trash::openDirectory(path, true);
    if (!fd.valid()) {
        if (errno == EACCES || errno == EPERM) result.unreadable << path;
        return result;
    }
    TreeWalker walker(includeHidden);
    walker.walk(fd.get(), QFile::encodeName(path).toStdString());
    result.bytes = walker.bytes;
    result.unreadable = walker.unreadable;
    return result;
}

uint64_t DiskCleaner::directorySize(const QString& path) { return measureTree(path, false).bytes; }

bool DiskCleaner::isLogFileName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^.+\\.log(\\.[0-9]+)?(\\.(gz|xz|zst))?$"));
    return pattern.match(name).hasMatch();
}

QList<DiskCleaner::UserLog> DiskCleaner::oldUserLogs(qint64 days, const QDateTime& now)
{
    QList<UserLog> old;
    const qint64 cutoffMs = now.toMSecsSinceEpoch() - std::max<qint64>(days, 0) * 86'400'000;
    auto consider = [&](const QString& path) {
        struct stat st;
        const QByteArray encoded = QFile::encodeName(path);
        if (lstat(encoded.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return;
        const qint64 modifiedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1'000'000;
        if (modifiedMs >= cutoffMs) return;
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        old << UserLog{path.left(slash), QFile::encodeName(path.mid(slash + 1)), uint64_t(st.st_blocks) * 512u};
    };
    const QString home = QDir::cleanPath(Paths::home());
    QStringList roots;
    for (const QString& root : {Paths::stateHome(), Paths::cacheHome()}) {
        const QString dir = QDir::cleanPath(root);
        // A variable pointing at the home folder itself would reach every log the user keeps.
        if (!QDir::isAbsolutePath(dir) || dir == QLatin1String("/") || dir == home || roots.contains(dir)) continue;
        roots << dir;
        QDirIterator it(dir, {QStringLiteral("*.log*")}, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (isLogFileName(it.fileName())) consider(path);
        }
    }
    consider(home + QStringLiteral("/.xsession-errors.old"));
    return old;
}

DiskCleaner::Removal DiskCleaner::trashUserLogs(const QList<UserLog>& logs)
{
    Removal removal;
    removal.accepted = true;
    Trash::Mover mover;
    for (const UserLog& log : logs) {
        // Each parent opened without following a link below the home folder.
        const Trash::Fd fd = Trash::openDirectory(log.parent, false);
        if (fd.valid() && mover.moveAt(fd.get(), log.parent, log.name).ok()) {
            ++removal.itemsMoved;
            removal.bytesMoved += log.bytes;
        } else {
            removal.failed << log.parent + QLatin1Char('/') + QFile::decodeName(log.name);
        }
    }
    return removal;
}

double DiskCleaner::freeDiskSpace()
{
    // The cleanups move files out of the home folder, so its file system is the one that counts.
    struct statvfs fs;
    if (statvfs(QFile::encodeName(Paths::home()).constData(), &fs) != 0) return 0;
    return double(uint64_t(fs.f_bavail) * uint64_t(fs.f_frsize)) / double(1ull << 30);
}

std::optional<DiskCleaner::Disposition> DiskCleaner::disposition(const QString& path) const
{
    QMutexLocker lock(&m_dispositionsMutex);
    auto it = m_dispositions.constFind(path);
    if (it == m_dispositions.constEnd()) return std::nullopt;
    return *it;
}

void DiskCleaner::onMain(std::function<void()> work)
{
    if (QThread::currentThread() == thread()) {
        work();
    } else {
        postTo(this, std::move(work));
    }
}

void DiskCleaner::publishSkipped(QStringList paths)
{
    onMain([this, paths = std::move(paths)] {
        if (m_skippedPaths == paths) return;
        m_skippedPaths = paths;
        Q_EMIT skippedPathsChanged();
    });
}

QList<CleanupTarget> DiskCleaner::scanTargets()
{
    onMain([this] {
        if (m_scanning++ == 0) Q_EMIT isScanningChanged();
    });

    QList<CleanupTarget> found;
    QStringList unreadable;
    for (const Row& row : cleanupTargets()) {
        TreeSize size;
        if (row.category == CleanupCategory::systemLogs) {
            for (const UserLog& log : oldUserLogs(logCleanupDays(), QDateTime::currentDateTimeUtc())) size.bytes += log.bytes;
        } else {
            size = measureTree(row.path, false);
        }
        unreadable += size.unreadable;
        if (size.bytes <= kListThreshold) continue;
        CleanupTarget target;
        target.path = row.path;
        target.name = row.name;
        target.category = row.category;
        target.sizeBytes = size.bytes;
        target.isSafe = true;
        {
            QMutexLocker lock(&m_dispositionsMutex);
            m_dispositions.insert(row.path, row.disposition);
        }
        found << target;
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const CleanupTarget& a, const CleanupTarget& b) { return a.sizeBytes > b.sizeBytes; });

    onMain([this, found] {
        m_lastScanResults = found;
        Q_EMIT lastScanResultsChanged();
    });
    publishSkipped(unreadable);
    onMain([this] {
        if (--m_scanning == 0) Q_EMIT isScanningChanged();
    });
    return found;
}

uint64_t DiskCleaner::reclaimableBytes() const
{
    uint64_t sum = 0;
    for (const CleanupTarget& t : m_lastScanResults) sum += t.sizeBytes;
    return sum;
}

std::optional<QString> DiskCleaner::acceptedRoot(const QString& path) const
{
    const QString p = standardise(path, m_homeDir);
    if (!exists(p)) return std::nullopt;
    if (p.size() < 2 || p == m_homeDir || p == QLatin1String("/") || p.endsWith(QLatin1String("/..")) ||
        !QDir::isAbsolutePath(p)) {
        return std::nullopt;
    }
    // Neither the home directory nor anything above it.
    if (m_homeDir.startsWith(p + QLatin1Char('/'))) return std::nullopt;
    // Moving the Trash, or a folder holding it, into the Trash would tangle it with itself.
    const QString trash = QDir::cleanPath(Paths::trashDir());
    if (p == trash || p.startsWith(trash + QLatin1Char('/')) || trash.startsWith(p + QLatin1Char('/'))) {
        return std::nullopt;
    }
    for (const Row& row : cleanupTargets()) {
        // The logs row's folder holds other state than logs: it is never emptied whole.
        if (row.path == p && row.category != CleanupCategory::systemLogs) return p;
    }
    return std::nullopt;
}

DiskCleaner::Removal DiskCleaner::removeContents(const QString& path)
{
    Removal removal;
    const std::optional<QString> root = acceptedRoot(path);
    if (!root) return removal;

    // The listing and every move go through this one descriptor, opened without following a
    // link anywhere below the home folder: should the folder be swapped for a link while we
    // work, the moves still take entries of the folder we listed, never of the link's target.
    const Trash::Fd fd = Trash::openDirectory(*root, true);
    if (!fd.valid()) return removal;
    const std::string rootPath = QFile::encodeName(*root).toStdString();
    std::vector<char> buffer(64 * 1024);
    std::vector<std::string> names;
    const bool listed = forEachEntry(fd.get(), buffer, [&](const char* name, unsigned char) { names.emplace_back(name); });
    if (!listed) return removal;
    removal.accepted = true;
    TreeWalker walker(true);  // one for the folder: its buffer is large
    Trash::Mover mover;
    for (const std::string& name : names) {
        const uint64_t before = walker.bytes;
        walker.addEntry(fd.get(), name.c_str(), rootPath + '/' + name);
        const QByteArray entry = QByteArray::fromStdString(name);
        if (mover.moveAt(fd.get(), *root, entry).ok()) {
            removal.bytesMoved += walker.bytes - before;
            ++removal.itemsMoved;
        } else {
            removal.failed << *root + QLatin1Char('/') + QFile::decodeName(entry);
        }
    }
    return removal;
}

DiskCleaner::Removal DiskCleaner::cleanTarget(const CleanupTarget& target)
{
    if (target.category == CleanupCategory::trashBin) return {};
    const QString p = standardise(target.path, m_homeDir);
    if (p == QDir::cleanPath(m_homeDir + QStringLiteral("/.Trash")) || p == QDir::cleanPath(Paths::trashDir())) {
        return {};
    }
    if (target.category == CleanupCategory::systemLogs) {
        return trashUserLogs(oldUserLogs(logCleanupDays(), QDateTime::currentDateTimeUtc()));
    }
    return removeContents(target.path);
}

QList<CleanupTarget> DiskCleaner::cleanAutomatically(const std::function<bool(CleanupCategory)>& categoryAllowed)
{
    onMain([this] {
        if (m_cleaning++ == 0) Q_EMIT isCleaningChanged();
    });

    QList<CleanupTarget> cleaned;
    QStringList skipped;
    {
        QMutexLocker lock(&m_cleanMutex);
        const QList<CleanupTarget> scanned = scanTargets();
        QList<Row> table;
        for (CleanupTarget target : scanned) {
            if (!categoryAllowed(target.category) || target.category == CleanupCategory::trashBin) continue;
            std::optional<Disposition> d = disposition(target.path);
            if (!d) {
                if (table.isEmpty()) table = cleanupTargets();
                for (const Row& row : table) {
                    if (row.path == target.path) {
                        d = row.disposition;
                        break;
                    }
                }
            }
            if (d == Disposition::neverAuto) continue;
            const Removal removal = removeContents(target.path);
            skipped += removal.failed;
            // What was moved is what the callers report as freed.
            if (removal.accepted && removal.itemsMoved > 0) {
                target.sizeBytes = removal.bytesMoved;
                cleaned << target;
            }
        }
        // The scan published what it could not read; add what could not be moved.
        if (!skipped.isEmpty()) {
            onMain([this, skipped] {
                m_skippedPaths += skipped;
                Q_EMIT skippedPathsChanged();
            });
        }
    }

    onMain([this] {
        if (--m_cleaning == 0) Q_EMIT isCleaningChanged();
    });
    return cleaned;
}

QList<CleanupTarget> DiskCleaner::cleanSafeTargets()
{
    return cleanAutomatically([](CleanupCategory c) { return isSafeCategory(c); });
}

QList<CleanupTarget> DiskCleaner::emergencyCleanup()
{
    return cleanAutomatically([](CleanupCategory c) { return c != CleanupCategory::systemLogs; });
}

void DiskCleaner::cleanTargetInBackground(CleanupTarget target, std::function<void(Removal)> done)
{
    m_worker->async([this, target = std::move(target), done = std::move(done)] {
        Removal removal = cleanTarget(target);
        if (done) postTo(this, [done, removal = std::move(removal)] { done(removal); });
    });
}

void DiskCleaner::scanInBackground(std::function<void(QList<CleanupTarget>)> done)
{
    m_worker->async([this, done = std::move(done)] {
        QList<CleanupTarget> found = scanTargets();
        if (done) postTo(this, [done, found] { done(found); });
    });
}

void DiskCleaner::cleanInBackground(QList<CleanupTarget> targets, std::function<void(QList<CleanupTarget>)> done)
{
    m_worker->async([this, targets = std::move(targets), done = std::move(done)] {
        // The window shows the cleaning state while the user's own clean runs, too.
        onMain([this] {
            if (m_cleaning++ == 0) Q_EMIT isCleaningChanged();
        });
        QList<CleanupTarget> cleaned;
        QStringList skipped;
        for (CleanupTarget target : targets) {
            const Removal removal = cleanTarget(target);
            skipped += removal.failed;
            if (removal.accepted && removal.itemsMoved > 0) {
                target.sizeBytes = removal.bytesMoved;
                cleaned << target;
            }
        }
        publishSkipped(skipped);
        onMain([this] {
            if (--m_cleaning == 0) Q_EMIT isCleaningChanged();
        });
        if (done) postTo(this, [done, cleaned] { done(cleaned); });
    });
}
