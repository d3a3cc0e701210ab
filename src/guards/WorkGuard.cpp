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
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QStringList& rankingSkipNames()
{
    static const QStringList names = {
        QStringLiteral("node_modules"), QStringLiteral(".git"),   QStringLiteral("build"),
        QStringLiteral("deriveddata"),  QStringLiteral(".next"),  QStringLiteral("target"),
        QStringLiteral(".venv"),        QStringLiteral("__pycache__"),
    };
    return names;
}

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

double extensionBonus(const QString& file)
{
    const QString name = QFileInfo(file).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) return 0;
    const QString ext = name.mid(dot + 1).toLower();
    static const QStringList source = {"swift", "ts", "tsx", "js", "jsx", "py", "go", "rs", "java",
                                       "kt", "c", "cpp", "h", "hpp", "cs", "rb", "php"};
    static const QStringList design = {"sketch", "fig", "psd", "ai", "xd", "afdesign", "afphoto"};
    static const QStringList documents = {"md", "markdown", "rst", "txt", "pages", "docx",
                                          "doc", "odt", "tex", "rtf", "pdf"};
    static const QStringList data = {"csv", "json", "yaml", "yml", "toml", "sql", "db", "sqlite"};
    if (source.contains(ext) || design.contains(ext)) return 0.30;
    if (documents.contains(ext)) return 0.25;
    if (data.contains(ext)) return 0.15;
    return 0;
}

QDateTime mtimeOf(const struct stat& st)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000, QTimeZone::utc());
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
      m_snapshotter(m_c.clock, m_c.snapshotsRoot),
      m_recovery(m_c.snapshotsRoot, m_c.clock, [this](const QString& path) { m_streamer.noteOwnWrite(path); }),
      m_streamer(m_c.streamer)
{
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
    const std::vector<RankedFile> ranked = rankRoots();
    QList<RankedFile> top;
    top.reserve(std::min<qsizetype>(topN, qsizetype(ranked.size())));
    for (size_t i = 0; i < ranked.size() && i < size_t(topN); ++i) top.append(ranked[i]);
    int created = 0;
    for (const RankedFile& f : std::as_const(top)) {
        created += m_snapshotter.snapshotFile(f.id.toLocalFile(), snapshotsPerFile, maxFileBytesToSnapshot,
                                              minMtimeDeltaForNewSnapshot);
    }
    m_snapshotter.pruneByTotalBytes(maxTotalSnapshotBytes);
    m_snapshotter.pruneByAgeAndCount(maxBucketAge, maxSnapshotBuckets);
    const int total = m_snapshotter.countSnapshots();
    postTo(this, [this, top, reason, total, created] { publishSweepResult(top, reason, total, created); });
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

std::vector<WorkGuard::RankedFile> WorkGuard::rankRoots() const
{
    const QDateTime now = m_c.clock.now();
    const QDateTime cutoff = now.addMSecs(-qint64(maxModifiedAgeForRanking * 1000));
    std::vector<RankedFile> out;
    out.reserve(256);
    for (const QString& root : m_c.watchedRoots) rankRecentFiles(root, cutoff, rankingDepth, now, out);
    std::stable_sort(out.begin(), out.end(), [](const RankedFile& a, const RankedFile& b) { return a.score > b.score; });
    return out;
}

void WorkGuard::rankRecentFiles(const QString& folder, const QDateTime& cutoff, int depth, const QDateTime& now,
                                std::vector<RankedFile>& out)
{
    if (depth < 0) return;
    const QByteArray native = QFile::encodeName(folder);
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    // Listing order, as the walk found it; folders are walked as they come.
    while (dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.') continue;  // hidden entries are not listed
        const QString fileName = QFile::decodeName(name);
        if (rankingSkipNames().contains(fileName.toLower())) continue;
        struct stat st;
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        const QString path = folder + QLatin1Char('/') + fileName;
        if (S_ISDIR(st.st_mode)) {
            rankRecentFiles(path, cutoff, depth - 1, now, out);
            continue;
        }
        if (!S_ISREG(st.st_mode)) continue;
        const QDateTime modified = mtimeOf(st);
        if (!(modified > cutoff)) continue;
        out.push_back({QUrl::fromLocalFile(path), rankScore(path, modified, st.st_size, now), modified, qint64(st.st_size)});
    }
    ::closedir(dir);
}

double WorkGuard::rankScore(const QString& file, const QDateTime& modifiedAt, qint64 size, const QDateTime& now)
{
    const double ageHours = std::max(0.0, double(modifiedAt.msecsTo(now)) / 3'600'000.0);
    const double recency = std::max(0.0, 1.0 - ageHours / 720.0);
    const double sizeTerm = std::min(1.0, std::log10(double(size) + 1.0) / 9.0);
    return 0.1 * sizeTerm + 0.65 * recency + extensionBonus(file);
}

void WorkGuard::enqueueFSEventsBatch(const QSet<QString>& paths)
{
    m_queue.async([this, paths] { handleFSEventsBatch(paths); });
}

void WorkGuard::handleFSEventsBatch(const QSet<QString>& paths)
{
    int created = 0;
    for (const QString& path : paths) {
        if (!isSnapshotCandidate(path)) continue;
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        created += m_snapshotter.snapshotFile(path, snapshotsPerFile, maxFileBytesToSnapshot, minMtimeDeltaForNewSnapshot);
    }
    if (created == 0) return;
    const int total = m_snapshotter.countSnapshots();
    postTo(this, [this, total, created] {
        m_totalSnapshots = total;
        m_lastSweepAt = m_c.clock.now();
        m_lastTrigger = QStringLiteral("FSEvents");
        Q_EMIT changed();
        Log::line(cformat("[WorkGuard] FSEvents batch created=%d total=%d", created, total));
    });
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
