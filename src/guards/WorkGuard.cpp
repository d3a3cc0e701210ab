#include "guards/WorkGuard.h"

#include "core/CFormat.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "core/MainThread.h"
#include "core/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <algorithm>
#include <cctype>
#include <malloc.h>
#include <string>
#include <strings.h>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QStringList& batchSkipFolders()
{
    static const QStringList names = {
        QStringLiteral(".build"),       QStringLiteral("DerivedData"),     QStringLiteral("build"),
        QStringLiteral("dist"),         QStringLiteral("out"),             QStringLiteral(".next"),
        QStringLiteral(".nuxt"),        QStringLiteral("node_modules"),    QStringLiteral("Pods"),
        QStringLiteral("Carthage"),     QStringLiteral(".swiftpm"),        QStringLiteral(".gradle"),
        QStringLiteral("target"),       QStringLiteral("__pycache__"),     QStringLiteral(".venv"),
        QStringLiteral("venv"),         QStringLiteral("env"),             QStringLiteral(".tox"),
        QStringLiteral(".mypy_cache"),  QStringLiteral(".pytest_cache"),   QStringLiteral(".cache"),
        QStringLiteral(".parcel-cache"), QStringLiteral(".turbo"),         QStringLiteral("vendor"),
        QStringLiteral("Debug"),        QStringLiteral("Release"),         QStringLiteral("index-build"),
        QStringLiteral("ModuleCache.noindex"), QStringLiteral(".terraform"), QStringLiteral("coverage"),
        QStringLiteral("bin"),          QStringLiteral("obj"),
    };
    return names;
}

// The bonus of a file's kind, from its name's extension (lowercased).
double extensionBonus(const char* name, size_t length)
{
    const char* dot = static_cast<const char*>(::memrchr(name, '.', length));
    if (!dot || dot == name) return 0;
    char ext[16];
    const size_t n = length - size_t(dot + 1 - name);
    if (n == 0 || n >= sizeof ext) return 0;
    for (size_t i = 0; i < n; ++i) ext[i] = char(std::tolower(static_cast<unsigned char>(dot[1 + i])));
    ext[n] = 0;
    static const char* const source[] = {"swift", "ts", "tsx", "js", "jsx", "py", "go", "rs", "java", "kt", "c",
                                         "cpp", "h", "hpp", "cs", "rb", "php",
                                         // design
                                         "sketch", "fig", "psd", "ai", "xd", "afdesign", "afphoto"};
    static const char* const documents[] = {"md", "markdown", "rst", "txt", "pages", "docx",
                                            "doc", "odt", "tex", "rtf", "pdf"};
    static const char* const data[] = {"csv", "json", "yaml", "yml", "toml", "sql", "db", "sqlite"};
    for (const char* e : source)
        if (!std::strcmp(e, ext)) return 0.30;
    for (const char* e : documents)
        if (!std::strcmp(e, ext)) return 0.25;
    for (const char* e : data)
        if (!std::strcmp(e, ext)) return 0.15;
    return 0;
}

double scoreOf(const char* name, size_t length, qint64 modifiedMs, qint64 size, qint64 nowMs)
{
    const double ageHours = std::max(0.0, double(nowMs - modifiedMs) / 3'600'000.0);
    const double recency = std::max(0.0, 1.0 - ageHours / 720.0);
    const double sizeTerm = std::min(1.0, std::log10(double(size) + 1.0) / 9.0);
    return 0.1 * sizeTerm + 0.65 * recency + extensionBonus(name, length);
}

qint64 msOf(const struct timespec& t) { return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000; }

bool isTempSuffix(const char* s)
{
    for (int i = 0; i < 6; ++i)
        if (!std::isalnum(static_cast<unsigned char>(s[i]))) return false;
    return s[6] == 0;
}

// A save's temporary in the folder open at `dirFd`: "sedXXXXXX" (sed -i), or "NAME.XXXXXX"
// beside an existing NAME (a temporary file renamed over NAME when written).
bool mayBeSaveTemporary(const char* name)
{
    const size_t length = std::strlen(name);
    return length >= 9 && name[length - 7] == '.' && isTempSuffix(name + length - 6);
}

bool isSaveTemporaryAt(int dirFd, const char* name)
{
    const size_t length = std::strlen(name);
    if (length == 9 && !std::strncmp(name, "sed", 3) && isTempSuffix(name + 3)) return true;
    if (!mayBeSaveTemporary(name)) return false;
    const std::string stem(name, length - 7);
    struct stat st;
    return ::fstatat(dirFd, stem.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

// The best files seen so far, worst on top, each a plain path with its facts.
class TopFiles {
public:
    explicit TopFiles(size_t limit) : m_limit(limit) { m_heap.reserve(limit); }
    bool wants(double score) const { return m_limit > 0 && (m_heap.size() < m_limit || score > m_heap.front().score); }
    void add(double score, QByteArray path, qint64 modifiedMs, qint64 size)
    {
        Item item{score, m_next++, std::move(path), modifiedMs, size};
        if (m_heap.size() == m_limit) {
            std::pop_heap(m_heap.begin(), m_heap.end(), better);
            m_heap.back() = std::move(item);
        } else {
            m_heap.push_back(std::move(item));
        }
        std::push_heap(m_heap.begin(), m_heap.end(), better);
    }
    std::vector<WorkGuardStatus::RankedFile> takeBestFirst()
    {
        std::sort(m_heap.begin(), m_heap.end(), better);
        std::vector<WorkGuardStatus::RankedFile> out;
        out.reserve(m_heap.size());
        for (const Item& i : m_heap) {
            out.push_back({QUrl::fromLocalFile(QFile::decodeName(i.path)), i.score,
                           QDateTime::fromMSecsSinceEpoch(i.modifiedMs, QTimeZone::utc()), i.size});
        }
        m_heap = {};
        return out;
    }
    // The walk order of the next file, for ties.
    void skipped() { ++m_next; }

private:
    struct Item {
        double score;
        uint64_t order;
        QByteArray path;
        qint64 modifiedMs;
        qint64 size;
    };
    static bool better(const Item& a, const Item& b) { return a.score != b.score ? a.score > b.score : a.order < b.order; }
    size_t m_limit;
    uint64_t m_next = 0;
    std::vector<Item> m_heap;
};

bool isRankingSkipName(const char* name)
{
    static const char* const names[] = {"node_modules", ".git", "build", "deriveddata", ".next", "target", ".venv",
                                        "__pycache__"};
    const size_t length = std::strlen(name);
    for (const char* n : names) {
        if (std::strlen(n) == length && !::strcasecmp(n, name)) return true;
    }
    return false;
}

// Walks the folder open at `dirFd`, whose path is `path`, down to `depth` more levels.
void walkRanked(int dirFd, QByteArray& path, int depth, qint64 cutoffMs, qint64 nowMs, TopFiles& top)
{
    if (depth < 0) return;
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0) ::close(listFd);
        return;
    }
    // Listing order, as the walk finds it; folders are walked as they come.
    while (dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.') continue;  // hidden entries are not listed
        if (isRankingSkipName(name)) continue;
        struct stat st;
        if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        const qsizetype mark = path.size();
        if (S_ISDIR(st.st_mode)) {
            const int sub = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) continue;
            path.append('/').append(name);
            walkRanked(sub, path, depth - 1, cutoffMs, nowMs, top);
            path.truncate(mark);
            ::close(sub);
            continue;
        }
        if (!S_ISREG(st.st_mode)) continue;
        const qint64 modified = msOf(st.st_mtim);
        if (!(modified > cutoffMs)) continue;
        const double score = scoreOf(name, std::strlen(name), modified, st.st_size, nowMs);
        if (!top.wants(score) || isSaveTemporaryAt(dirFd, name)) {
            top.skipped();
            continue;
        }
        path.append('/').append(name);
        top.add(score, path, modified, st.st_size);
        path.truncate(mark);
    }
    ::closedir(dir);
}

}  // namespace

QStringList WorkGuard::defaultRoots()
{
    // The desktop's own names for the two folders (user-dirs.dirs), which may be translated.
    const QString home = QDir::cleanPath(Paths::home());
    QString desktop = home + QStringLiteral("/Desktop");
    QString documents = home + QStringLiteral("/Documents");
    QFile file(Paths::configHome() + QStringLiteral("/user-dirs.dirs"));
    if (file.open(QIODevice::ReadOnly)) {
        for (QString line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            line = line.trimmed();
            QString* target = line.startsWith(QLatin1String("XDG_DESKTOP_DIR="))     ? &desktop
                              : line.startsWith(QLatin1String("XDG_DOCUMENTS_DIR=")) ? &documents
                                                                                     : nullptr;
            if (!target) continue;
            QString value = line.section(QLatin1Char('='), 1);
            if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
                value = value.mid(1, value.size() - 2);
            if (value.startsWith(QLatin1String("$HOME"))) value = home + value.mid(5);
            value = QDir::cleanPath(value);
            // A folder switched off points at the home folder itself, which is not walked whole.
            if (QDir::isAbsolutePath(value) && value != home) *target = value;
        }
    }
    return {desktop, documents};
}

WorkGuard::WorkGuard(Collaborators collaborators, QObject* parent)
    : QObject(parent),
      m_c(std::move(collaborators)),
      m_snapshotter(m_c.clock, m_c.snapshotsRoot, m_c.space),
      m_recovery(m_c.snapshotsRoot, m_c.clock, [this](const QString& path) { m_streamer.noteOwnWrite(path); }),
      m_streamer(m_c.streamer)
{
    // What a bucket is worth when the store must shed some: its file's rank today.
    m_snapshotter.setBucketValue([this](const QString& original) {
        struct stat st;
        if (::lstat(QFile::encodeName(original).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return -1.0;
        const QByteArray name = QFile::encodeName(original.section(QLatin1Char('/'), -1));
        return scoreOf(name.constData(), size_t(name.size()), msOf(st.st_mtim), st.st_size,
                       m_c.clock.now().toMSecsSinceEpoch());
    });
}

WorkGuard::~WorkGuard()
{
    // The stream's thread hands batches to the queue: it ends first.
    m_streamer.stop();
    if (m_c.sleep) m_c.sleep->stop();
}

void WorkGuard::start()
{
    if (m_sweepTimer) return;
    Log::line(cformat("[WorkGuard] starting \u2014 watching %d roots", int(m_c.watchedRoots.size())));
    m_isRunning = true;
    Q_EMIT changed();
    subscribeTriggers();
    m_streamer.onChanges = [this](const QSet<QString>& paths) { enqueueFSEventsBatch(paths); };
    m_streamer.onRootsResolved = [this](const QStringList& resolved) {
        m_queue.async([this, resolved] { useRoots(resolved); });
    };
    // Revisions a stop left half-written are removed before anything else runs.
    m_queue.async([this] {
        if (const int removed = m_snapshotter.removeLeftovers())
            Log::line(cformat("[WorkGuard] removed %d revisions left half-written", removed));
    });
    m_streamer.start(m_c.watchedRoots);
    scheduleSweep(QStringLiteral("startup"));
    m_sweepTimer = m_c.scheduler.every(secondsToMs(periodicSweepInterval), this,
                                       [this] { scheduleSweep(QStringLiteral("periodic")); });
}

void WorkGuard::stop()
{
    if (m_sweepTimer) m_sweepTimer->cancel();
    m_sweepTimer.reset();
    m_streamer.stop();
    for (const QMetaObject::Connection& c : std::as_const(m_cancellables)) QObject::disconnect(c);
    m_cancellables.clear();
    if (m_c.sleep) m_c.sleep->stop();
    if (m_isRunning) {
        m_isRunning = false;
        Q_EMIT changed();
    }
}

void WorkGuard::subscribeTriggers()
{
    // A published time passes on when present and unlike the last one passed on.
    const auto watchTime = [this](const Published<std::optional<QDateTime>>& source, std::optional<QDateTime>& last,
                                  const QString& reason) {
        if (!source) return;
        const auto deliver = [this, current = source.current, &last, reason] {
            const std::optional<QDateTime> value = current();
            if (!value || value == last) return;
            last = value;
            scheduleSweep(reason);
        };
        deliver();
        m_cancellables.append(source.observe(this, deliver));
    };
    watchTime(m_sources.snoozeLastTriggerAt, m_lastSnooze, QStringLiteral("Snooze Guard fired"));
    watchTime(m_sources.aiShieldLastSuspiciousAt, m_lastSuspicious, QStringLiteral("AI Shield suspicious"));
    if (m_c.sleep) {
        m_c.sleep->start([this](SleepWatch::Delay delay) { scheduleSweep(QStringLiteral("willSleep"), std::move(delay)); });
    }
    if (const auto& workload = m_sources.aiWorkloadActive) {
        const auto deliver = [this, current = workload.current] {
            if (current()) scheduleSweep(QStringLiteral("AI Workload active"));
        };
        deliver();
        m_cancellables.append(workload.observe(this, deliver));
    }
}

void WorkGuard::scheduleSweep(const QString& reason, SleepWatch::Delay delay)
{
    m_queue.async([this, reason, delay = std::move(delay)]() mutable {
        runSweep(reason);
        // Sleep may go on once the sweep's revisions are on disk.
        delay.reset();
    });
}

void WorkGuard::runSweep(const QString& reason)
{
    const std::vector<RankedFile> ranked = rankRoots(topN);
    QList<RankedFile> top(ranked.begin(), ranked.end());
    int created = 0;
    for (const RankedFile& f : std::as_const(top)) created += capture(f.id.toLocalFile(), false);
    m_snapshotter.pruneByTotalBytes(maxTotalSnapshotBytes);
    m_snapshotter.pruneByAgeAndCount(maxBucketAge, maxSnapshotBuckets);
    const int total = m_snapshotter.countSnapshots();
    publishStoreNotice();
    postTo(this, [this, top, reason, total, created] { publishSweepResult(top, reason, total, created); });
    // What the walk allocated goes back to the system, not only to the allocator.
    ::malloc_trim(0);
}

bool WorkGuard::capture(const QString& path, bool single)
{
    const WorkSnapshotter::Result r =
        m_snapshotter.snapshotFile(path, snapshotsPerFile, maxFileBytesToSnapshot, minMtimeDeltaForNewSnapshot, single);
    if (r.outcome == WorkSnapshotter::Outcome::deferred) {
        postTo(this, [this, path, due = r.dueAt, single] { captureLater(path, due, single); });
    }
    return bool(r);
}

void WorkGuard::captureLater(const QString& path, const QDateTime& due, bool single)
{
    // One capture waits per file; later requests join it.
    auto it = m_deferred.find(path);
    if (it != m_deferred.end() && it->timer && it->timer->isActive()) {
        it->single = it->single || single;
        return;
    }
    const qint64 wait = std::max<qint64>(0, m_c.clock.now().msecsTo(due));
    Deferred d;
    d.single = single;
    d.timer = m_c.scheduler.after(std::chrono::milliseconds(wait), this, [this, path] {
        const auto found = m_deferred.find(path);
        const bool asSingle = found != m_deferred.end() && found->single;
        m_deferred.remove(path);
        m_queue.async([this, path, asSingle] { publishBatch(capture(path, asSingle) ? 1 : 0); });
    });
    m_deferred.insert(path, d);
}

void WorkGuard::publishStoreNotice()
{
    postTo(this, [this, notice = m_snapshotter.spaceNotice()] {
        if (notice == m_storeNotice) return;
        m_storeNotice = notice;
        Q_EMIT changed();
    });
}

void WorkGuard::publishBatch(int created)
{
    publishStoreNotice();
    if (created == 0) return;
    const int total = m_snapshotter.countSnapshots();
    postTo(this, [this, total, created] {
        m_totalSnapshots = total;
        m_lastSweepAt = m_c.clock.now();
        m_lastTrigger = QStringLiteral("inotify");
        Q_EMIT changed();
        Log::line(cformat("[WorkGuard] inotify batch created=%d total=%d", created, total));
    });
}

void WorkGuard::useRoots(const QStringList& resolved)
{
    m_sweepRoots.clear();
    for (const QString& r : resolved) {
        if (!r.isEmpty()) m_sweepRoots << r;
    }
    m_rootsKnown = true;
    m_snapshotter.setConfinedRoots(m_sweepRoots);
}

const QStringList& WorkGuard::sweepRoots()
{
    if (!m_rootsKnown) {
        QStringList resolved;
        for (const QString& root : m_c.watchedRoots) resolved << WorkEventStreamer::resolveRoot(root);
        useRoots(resolved);
    }
    return m_sweepRoots;
}

void WorkGuard::publishSweepResult(const QList<RankedFile>& top, const QString& reason, int total, int created)
{
    m_lastRanked = top;
    m_lastSweepAt = m_c.clock.now();
    m_lastTrigger = reason;
    m_totalSnapshots = total;
    Q_EMIT changed();
    Log::line(QStringLiteral("[WorkGuard] sweep done reason=") + reason + QStringLiteral(" created=") +
              QString::number(created) + QStringLiteral(" total=") + QString::number(total) + QStringLiteral(" topN=") +
              QString::number(top.size()));
}

std::vector<WorkGuard::RankedFile> WorkGuard::rankRoots(int limit)
{
    const qint64 nowMs = m_c.clock.now().toMSecsSinceEpoch();
    const qint64 cutoffMs = nowMs - qint64(maxModifiedAgeForRanking * 1000);
    TopFiles top(size_t(std::max(limit, 0)));
    QByteArray path;
    path.reserve(4096);
    for (const QString& root : sweepRoots()) {
        path = QFile::encodeName(root);
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        walkRanked(fd, path, rankingDepth, cutoffMs, nowMs, top);
        ::close(fd);
    }
    return top.takeBestFirst();
}

double WorkGuard::rankScore(const QString& file, const QDateTime& modifiedAt, qint64 size, const QDateTime& now)
{
    const QByteArray name = QFile::encodeName(file.section(QLatin1Char('/'), -1));
    return scoreOf(name.constData(), size_t(name.size()), modifiedAt.toMSecsSinceEpoch(), size, now.toMSecsSinceEpoch());
}

void WorkGuard::enqueueFSEventsBatch(const QSet<QString>& paths)
{
    m_queue.async([this, paths] { handleFSEventsBatch(paths); });
}

void WorkGuard::handleFSEventsBatch(const QSet<QString>& paths)
{
    sweepRoots();
    struct Candidate {
        QString path;
        double score;
    };
    std::vector<Candidate> candidates;
    const qint64 nowMs = m_c.clock.now().toMSecsSinceEpoch();
    for (const QString& path : paths) {
        if (!isSnapshotCandidate(path) || isSaveTemporary(path)) continue;
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        const QByteArray name = QFile::encodeName(path.section(QLatin1Char('/'), -1));
        candidates.push_back({path, scoreOf(name.constData(), size_t(name.size()), msOf(st.st_mtim), st.st_size, nowMs)});
    }
    // A bulk writer (a checkout, an unpacked archive): ranked like a sweep, only the best kept.
    const bool bulk = candidates.size() > size_t(topN);
    if (bulk) {
        std::partial_sort(candidates.begin(), candidates.begin() + topN, candidates.end(),
                          [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
        candidates.resize(size_t(topN));
    }
    int created = 0;
    for (const Candidate& c : candidates) created += capture(c.path, !bulk);
    publishBatch(created);
}

bool WorkGuard::isSaveTemporary(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QByteArray name = QFile::encodeName(path.mid(slash + 1));
    if (!name.startsWith("sed") && !mayBeSaveTemporary(name.constData())) return false;
    const int dir = ::open(QFile::encodeName(slash > 0 ? path.left(slash) : QStringLiteral("/")).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return false;
    const bool temporary = isSaveTemporaryAt(dir, name.constData());
    ::close(dir);
    return temporary;
}

bool WorkGuard::isSnapshotCandidate(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    if (name.startsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char('~')) || name.endsWith(QStringLiteral(".swp")) ||
        name.endsWith(QStringLiteral(".swo")) || name.endsWith(QStringLiteral(".lock")) ||
        name.endsWith(QStringLiteral(".tmp")) || name == QStringLiteral("Icon\r"))
        return false;
    const QStringList folders = path.left(std::max<qsizetype>(slash, 0)).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& folder : folders) {
        if (folder.startsWith(QLatin1Char('.')) || batchSkipFolders().contains(folder)) return false;
    }
    return true;
}
