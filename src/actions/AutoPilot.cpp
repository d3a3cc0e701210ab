#include "actions/AutoPilot.h"

#include "actions/DiskCleaner.h"
#include "core/Checked.h"

#include "core/AppSettings.h"
#include "core/ByteCountFormatter.h"
#include "core/CFormat.h"
#include "core/Clock.h"
#include "core/Dates.h"
#include "core/Json.h"
#include "core/MainThread.h"
#include "core/Paths.h"
#include "core/SerialQueue.h"
#include "core/Trash.h"
#include "core/UserDefaults.h"
#include "core/WriteFailureReporter.h"
#include "monitoring/CacheCleaner.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/MonitorState.h"
#include "monitoring/Notifier.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

constexpr int kMaxHistory = 50;
constexpr qint64 kMinGapMs = 43'200'000;  // 12 h
constexpr uint64_t kNoticeThreshold = 100'000'000;

QString sizeText(uint64_t bytes) { return formatByteCount(qint64(std::min<uint64_t>(bytes, uint64_t(INT64_MAX)))); }

MaintenanceStep step(const QString& name, const QString& detail)
{
    MaintenanceStep s;
    s.name = name;
    s.succeeded = true;
    s.detail = detail;
    return s;
}

}  // namespace

// What a run needs from the main thread, copied before it leaves it.
struct AutoPilot::Plan {
    RunTrigger trigger;
    QDateTime startedAt;
    bool downloads;
    qint64 downloadDays;
    QString downloadsDir;
    bool logs;
    qint64 logDays;
};

AutoPilot::AutoPilot(Collaborators collaborators, QTimeZone zone, QObject* parent)
    : QObject(parent),
      m_c(collaborators),
      m_zone(std::move(zone)),
      m_homeDir(QDir::cleanPath(Paths::home())),
      m_worker(std::make_unique<SerialQueue>(QStringLiteral("app.veltranmoor.autopilot")))
{
    QDir().mkpath(Paths::appSupportDir());
    loadHistory();
    computeNextRun();
}

AutoPilot::~AutoPilot()
{
    stop();
    m_worker.reset();
}

QString AutoPilot::historyPath() { return Paths::appSupportDir() + QStringLiteral("/autopilot_history.json"); }

void AutoPilot::start()
{
    if (m_tickTimer) return;
    m_tickTimer = m_c.scheduler.every(60s, this, [this] { tick(); });
    tick();
}

void AutoPilot::stop()
{
    if (m_tickTimer) m_tickTimer->cancel();
    m_tickTimer.reset();
}

void AutoPilot::tick()
{
    if (!m_c.settings.autoPilotEnabled()) {
        computeNextRun();
        return;
    }
    if (m_isRunning) return;
    const QDateTime now = m_c.clock.now();
    if (m_lastRunDate && m_lastRunDate->msecsTo(now) < kMinGapMs) {
        computeNextRun();
        return;
    }
    const QTime local = now.toTimeZone(m_zone).time();
    if (local.hour() == m_c.settings.scheduledMaintenanceHour() && local.minute() < 5) runNow(RunTrigger::scheduled);
    computeNextRun();
}

void AutoPilot::computeNextRun()
{
    const qint64 hour = m_c.settings.scheduledMaintenanceHour();
    if (hour < 0 || hour > 23) return;
    const QDateTime now = m_c.clock.now().toTimeZone(m_zone);
    QDateTime next(now.date(), QTime(int(hour), 0), m_zone);
    if (!next.isValid()) return;
    if (next <= now) {
        const QDateTime tomorrow = next.addDays(1);
        if (tomorrow.isValid()) next = tomorrow;
    }
    if (m_nextRunDate == next) return;
    m_nextRunDate = next;
    Q_EMIT changed();
}

bool AutoPilot::runNow(RunTrigger trigger)
{
    Q_ASSERT(QThread::currentThread() == thread());
    // A second request while a run is going would clean and record the same things twice.
    if (m_isRunning) return false;
    m_isRunning = true;
    m_currentTaskDescription = QStringLiteral("Starting maintenance\u2026");
    Q_EMIT changed();

    const Plan plan{
        trigger,
        m_c.clock.now(),
        m_c.settings.autoCleanDownloads(),
        m_c.settings.downloadCleanupDays(),
        downloadsFolder(),
        m_c.settings.autoCleanLogs(),
        m_c.settings.logCleanupDays(),
    };
    m_worker->async([this, plan] { performRun(plan); });
    return true;
}

void AutoPilot::setProgress(const QString& text)
{
    auto publish = [this, text] {
        m_currentTaskDescription = text;
        Q_EMIT changed();
    };
    if (QThread::currentThread() == thread()) {
        publish();
    } else {
        postTo(this, publish);
    }
}

void AutoPilot::performRun(const Plan& plan)
{
    MaintenanceRun run;
    run.startedAt = plan.startedAt;
    run.trigger = plan.trigger;
    uint64_t total = 0;

    setProgress(QStringLiteral("Cleaning safe caches"));
    const QList<CleanupTarget> cleaned = m_c.cleaner.cleanSafeTargets();
    uint64_t freed = 0;
    for (const CleanupTarget& t : cleaned) freed += t.sizeBytes;
    total = freed;
    // Everything goes to the Trash: the space returns when it is emptied.
    run.steps << step(QStringLiteral("Cache cleanup"),
                      QString::number(cleaned.size()) +
                          (cleaned.size() == 1 ? QStringLiteral(" target, ") : QStringLiteral(" targets, ")) +
                          sizeText(freed) + QStringLiteral(" moved to Trash"));

    if (plan.downloads) {
        setProgress(QStringLiteral("Pruning old downloads"));
        const Pruned pruned = trashOldFiles(plan.downloadsDir, plan.downloadDays, plan.startedAt);
        total += pruned.bytes;
        run.steps << step(QStringLiteral("Downloads prune"),
                          QString::number(pruned.count) + QStringLiteral(" files older than ") +
                              QString::number(plan.downloadDays) + QStringLiteral(" days moved to Trash, ") +
                              sizeText(pruned.bytes) + QStringLiteral(" reclaimable"));
    }

    if (plan.logs) {
        setProgress(QStringLiteral("Rotating old logs"));
        const Pruned pruned = trashOldLogs(plan.logDays, plan.startedAt);
        total += pruned.bytes;
        run.steps << step(QStringLiteral("Log rotation"),
                          QString::number(pruned.count) + QStringLiteral(" logs older than ") +
                              QString::number(plan.logDays) + QStringLiteral(" days moved to Trash, ") +
                              sizeText(pruned.bytes) + QStringLiteral(" reclaimable"));
    }
    run.bytesFreed = total;

    // Incident counts and the monitor's state are main-thread state: read them there.
    postTo(this, [this, run] { completeRun(run); });
}

void AutoPilot::completeRun(MaintenanceRun run)
{
    setProgress(QStringLiteral("Checking process health"));
    QStringList offenders;
    for (const auto& [name, count] : m_c.incidents.sortedIncidents().mid(0, 5)) {
        offenders << name + QStringLiteral(" (\u00D7") + QString::number(count) + QLatin1Char(')');
    }
    run.steps << step(QStringLiteral("Process health"),
                      offenders.isEmpty() ? QStringLiteral("No recurring offenders.") : offenders.join(QStringLiteral(", ")));

    setProgress(QStringLiteral("Capturing health snapshot"));
    const PerformanceSnapshot snapshot = m_c.monitor.currentSnapshot();
    const HealthScore health = m_c.monitor.currentHealth();
    const double memory = snapshot.memoryTotal > 0 ? snapshot.memoryUsed / snapshot.memoryTotal * 100.0 : 0.0;
    // Used above total (a torn reading) would wrap around in unsigned arithmetic.
    const uint64_t freeBytes = snapshot.diskTotal > snapshot.diskUsed ? snapshot.diskTotal - snapshot.diskUsed : 0;
    const double freeGB = double(freeBytes) / double(1ull << 30);
    run.steps << step(QStringLiteral("Health report"),
                      QStringLiteral("Score ") + QString::number(health.score) + QStringLiteral("/100 \u2014 CPU ") +
                          cformat("%.0f", snapshot.cpuUsage) + QStringLiteral("%, Mem ") +
                          cformat("%.0f", memory) + QStringLiteral("%, Disk ") +
                          cformat("%.1f", freeGB) + QStringLiteral(" GB free"));

    run.finishedAt = m_c.clock.now();
    run.finalHealthScore = health.score;
    finishRun(run);
}

void AutoPilot::finishRun(const MaintenanceRun& run)
{
    m_isRunning = false;
    m_currentTaskDescription.clear();
    m_lastRunDate = run.finishedAt;
    m_lastSummary = run;
    m_runHistory.prepend(run);
    if (m_runHistory.size() > kMaxHistory) m_runHistory.resize(kMaxHistory);

    m_c.settings.defaults().setDouble(QString::fromLatin1(lastRunKey), Dates::toReferenceSeconds(run.finishedAt));
    // A crash while writing leaves the previous history, never a torn file.
    const QJsonDocument history(MaintenanceRun::encodeHistory(m_runHistory));
    WriteFailureReporter::check(historyPath(), Json::writeFileAtomically(historyPath(), history));
    computeNextRun();

    m_c.monitor.logAction(ActionRecord::make(ActionType::systemCheck, QStringLiteral("AutoPilot"),
                                             MaintenanceRun::rawValue(run.trigger) + QStringLiteral(" run moved ") +
                                                 sizeText(run.bytesFreed) + QStringLiteral(" to the Trash, health ") +
                                                 QString::number(run.finalHealthScore),
                                             m_c.clock.now(), run.trigger == RunTrigger::scheduled));

    if (m_c.settings.notificationsEnabled() && run.bytesFreed > kNoticeThreshold) {
        m_c.notifier.notifyCleanupComplete(sizeText(run.bytesFreed));
    }
    Q_EMIT changed();
}

void AutoPilot::loadHistory()
{
    if (const std::optional<double> seconds = m_c.settings.defaults().getDouble(QString::fromLatin1(lastRunKey))) {
        if (const std::optional<QDateTime> date = Dates::fromStoredSeconds(*seconds)) m_lastRunDate = *date;
    }
    const std::optional<QJsonDocument> document = Json::readFile(historyPath());
    if (!document) return;
    const std::optional<QList<MaintenanceRun>> runs = MaintenanceRun::decodeHistory(*document);
    if (!runs) return;
    m_runHistory = *runs;
    m_lastSummary = m_runHistory.isEmpty() ? std::nullopt : std::optional<MaintenanceRun>(m_runHistory.first());
    Q_EMIT changed();
}

QString AutoPilot::downloadsFolder()
{
    const QString home = QDir::cleanPath(Paths::home());
    QFile file(Paths::configHome() + QStringLiteral("/user-dirs.dirs"));
    if (file.open(QIODevice::ReadOnly)) {
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        for (QString line : lines) {
            line = line.trimmed();
            if (!line.startsWith(QLatin1String("XDG_DOWNLOAD_DIR="))) continue;
            QString value = line.mid(int(qstrlen("XDG_DOWNLOAD_DIR=")));
            if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"'))) {
                value = value.mid(1, value.size() - 2);
            }
            if (value.startsWith(QLatin1String("$HOME"))) value = home + value.mid(5);
            if (QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
        }
    }
    return home + QStringLiteral("/Downloads");
}

bool AutoPilot::isLogFileName(const QString& name) { return DiskCleaner::isLogFileName(name); }

AutoPilot::Pruned AutoPilot::trashOldLogs(qint64 days, const QDateTime& now)
{
    const DiskCleaner::Removal removal = DiskCleaner::trashUserLogs(DiskCleaner::oldUserLogs(days, now));
    return Pruned{removal.itemsMoved, removal.bytesMoved};
}

AutoPilot::Pruned AutoPilot::trashOldFiles(const QString& folder, qint64 days, const QDateTime& now)
{
    Pruned pruned;
    const QString dir = QDir::cleanPath(folder);
    const QString home = QDir::cleanPath(Paths::home());
    const QString trash = QDir::cleanPath(Paths::trashDir());
    // "XDG_DOWNLOAD_DIR=$HOME/" means no Downloads folder, not "prune the home directory".
    if (!QDir::isAbsolutePath(dir) || dir == QLatin1String("/") || dir == home ||
        home.startsWith(dir + QLatin1Char('/')) || dir == trash || dir.startsWith(trash + QLatin1Char('/')) ||
        trash.startsWith(dir + QLatin1Char('/'))) {
        return pruned;
    }

    // Listed and emptied through one descriptor, opened without following a link below the
    // home folder, so a swapped folder can never redirect the moves.
    const Trash::Fd fd = Trash::openDirectory(dir, true);
    if (!fd.valid()) return pruned;
    const int copy = dup(fd.get());
    DIR* listing = copy < 0 ? nullptr : fdopendir(copy);
    if (!listing) {
        if (copy >= 0) close(copy);
        return pruned;
    }
    struct Candidate {
        QByteArray name;
        uint64_t bytes;
    };
    QList<Candidate> old;
    // A day count that does not fit prunes nothing rather than everything.
    const std::optional<qint64> spanMs = days >= 1 ? Checked::mul<qint64>(days, 86'400'000) : std::nullopt;
    const std::optional<qint64> cutoff = spanMs ? Checked::sub(now.toMSecsSinceEpoch(), *spanMs) : std::nullopt;
    if (!cutoff) {
        closedir(listing);
        return pruned;
    }
    const qint64 cutoffMs = *cutoff;
    bool listed = true;
    for (;;) {
        errno = 0;  // readdir reports an error only through errno
        const dirent* entry = readdir(listing);
        if (!entry) {
            listed = errno == 0;
            break;
        }
        if (entry->d_name[0] == '.') continue;  // hidden, and "." / ".."
        struct stat st;
        if (fstatat(fd.get(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        // A time stamp too far out to count in milliseconds is not an old one.
        const std::optional<qint64> secondsMs = Checked::mul<qint64>(st.st_mtim.tv_sec, 1000);
        const std::optional<qint64> modifiedMs =
            secondsMs ? Checked::add<qint64>(*secondsMs, st.st_mtim.tv_nsec / 1'000'000) : std::nullopt;
        if (!modifiedMs || *modifiedMs >= cutoffMs) continue;
        old << Candidate{QByteArray(entry->d_name), S_ISDIR(st.st_mode) ? 0 : uint64_t(st.st_blocks) * 512u};
    }
    closedir(listing);
    if (!listed) return pruned;

    Trash::Mover mover;
    for (const Candidate& c : old) {
        if (!mover.moveAt(fd.get(), dir, c.name).ok()) continue;
        ++pruned.count;
        pruned.bytes += c.bytes;
    }
    return pruned;
}
