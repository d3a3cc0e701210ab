#include "actions/AutoPilot.h"
#include "actions/DiskCleaner.h"
#include "actions/FixtureHome.h"
#include "core/AppSettings.h"
#include "core/ByteCountFormatter.h"
#include "core/Dates.h"
#include "core/Json.h"
#include "core/Log.h"
#include "core/UserDefaults.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/Notifier.h"
#include "support/FakeMonitorState.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QTest>

using namespace std::chrono_literals;
using fixture::home;
constexpr qint64 MiB = 1024 * 1024;

namespace {

class RecordingNotifier final : public Notifier {
public:
    QStringList cleanupNotices;
    void notifyProcessThrottled(const QString&, double) override {}
    void notifyEmergencyCleanup(double, std::optional<double>) override {}
    void notifyLowDisk(double, std::optional<double>) override {}
    void notifyLowRootDisk(double) override {}
    void notifyHealthWarning(int64_t) override {}
    void notify(const QString&, const QString&) override {}
    void notifyCleanupComplete(const QString& sizeText) override { cleanupNotices << sizeText; }
};

class ScriptedLedger final : public IncidentLedger {
public:
    QList<QPair<QString, int>> counts;
    void recordIncident(const QString&) override {}
    QList<QPair<QString, int>> sortedIncidents() const override { return counts; }
};

QDateTime utc(int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute, second), QTimeZone::utc());
}

// Everything an AutoPilot needs, on the test's private home; time is virtual.
struct Rig {
    explicit Rig(QDateTime start, QTimeZone zone = QTimeZone::utc())
        : clock(start),
          scheduler(clock),
          defaults(Paths::configDir() + QStringLiteral("/settings.json")),
          settings(defaults, clock, QLocale::c())
    {
        this->zone = zone;
    }

    AutoPilot& make()
    {
        autoPilot = std::make_unique<AutoPilot>(
            AutoPilot::Collaborators{settings, cleaner, monitor, ledger, notifier, clock, scheduler}, zone);
        return *autoPilot;
    }

    bool waitIdle() { return QTest::qWaitFor([&] { return !autoPilot->isRunning(); }, 20000); }

    ManualClock clock;
    ManualScheduler scheduler;
    UserDefaults defaults;
    AppSettings settings;
    QTimeZone zone;
    DiskCleaner cleaner;
    FakeMonitorState monitor;
    ScriptedLedger ledger;
    RecordingNotifier notifier;
    std::unique_ptr<AutoPilot> autoPilot;
};

QStringList stepNames(const MaintenanceRun& run)
{
    QStringList out;
    for (const auto& s : run.steps) out << s.name;
    return out;
}

MaintenanceRun storedRun(int index)
{
    MaintenanceRun run;
    run.startedAt = utc(1, 3, 0).addDays(-index);
    run.finishedAt = run.startedAt.addSecs(30);
    run.trigger = RunTrigger::scheduled;
    MaintenanceStep s;
    s.name = QStringLiteral("Cache cleanup");
    s.succeeded = true;
    s.detail = QStringLiteral("0 targets, Zero KB moved to Trash");
    run.steps << s;
    run.finalHealthScore = 90;
    return run;
}

}  // namespace

TEST(AutoPilot, LogFileNames)
{
    for (const char* name : {"a.log", "a.log.1", "a.log.12.gz", "a.log.xz", "a.log.zst", ".hidden.log"}) {
        EXPECT_TRUE(AutoPilot::isLogFileName(QString::fromLatin1(name))) << name;
    }
    for (const char* name : {"log", ".log", "a.logx", "a.log.bak", "catalog", "a.log.1.bz2", "a.txt"}) {
        EXPECT_FALSE(AutoPilot::isLogFileName(QString::fromLatin1(name))) << name;
    }
}

TEST(AutoPilot, ScheduledRunStartsOnlyInMinutesZeroToFourOfTheChosenLocalHour)
{
    struct Case {
        const char* label;
        QDateTime now;
        QTimeZone zone;
        bool runs;
    } cases[] = {
        {"03:00:00", utc(10, 3, 0), QTimeZone::utc(), true},
        {"03:04:59", utc(10, 3, 4, 59), QTimeZone::utc(), true},
        {"03:05:00", utc(10, 3, 5), QTimeZone::utc(), false},
        {"02:59:59", utc(10, 2, 59, 59), QTimeZone::utc(), false},
        {"15:02", utc(10, 15, 2), QTimeZone::utc(), false},
        {"03:02 local at UTC+2", utc(10, 1, 2), QTimeZone(7200), true},
        {"03:02 UTC is 05:02 at UTC+2", utc(10, 3, 2), QTimeZone(7200), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        // A fresh data and config home per case: no history, no last run.
        const QString root = home() + QStringLiteral("/case-") + QString::fromLatin1(c.label).replace(' ', '_');
        qputenv("XDG_DATA_HOME", QFile::encodeName(root + QStringLiteral("/data")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
        Rig rig(c.now, c.zone);
        AutoPilot& ap = rig.make();
        ap.start();
        EXPECT_EQ(ap.isRunning(), c.runs);
        ASSERT_TRUE(rig.waitIdle());
        EXPECT_EQ(ap.runHistory().size(), c.runs ? 1 : 0);
        ap.stop();
    }
}

TEST(AutoPilot, TicksEveryMinuteHonourTheTwelveHourGapAndTheOffSwitch)
{
    Rig rig(utc(9, 20, 0));
    AutoPilot& ap = rig.make();
    ASSERT_TRUE(ap.runNow(RunTrigger::manual));
    ASSERT_TRUE(rig.waitIdle());
    EXPECT_EQ(ap.lastRunDate(), utc(9, 20, 0));

    ap.start();
    EXPECT_EQ(rig.scheduler.pendingCount(), 1);
    // 03:00 is only 7 h after the manual run: the window passes without a run.
    rig.scheduler.advance(7h + 10min);
    EXPECT_FALSE(ap.isRunning());
    EXPECT_EQ(ap.runHistory().size(), 1);
    EXPECT_EQ(ap.nextRunDate(), utc(11, 3, 0));

    // The next night is due; the minutes after the run do not start another.
    rig.scheduler.advance(23h + 51min);  // 12-11 03:01
    EXPECT_TRUE(ap.isRunning());
    ASSERT_TRUE(rig.waitIdle());
    rig.scheduler.advance(4min);
    ASSERT_TRUE(rig.waitIdle());
    ASSERT_EQ(ap.runHistory().size(), 2);
    EXPECT_EQ(ap.runHistory().first().trigger, RunTrigger::scheduled);
    EXPECT_EQ(rig.monitor.actions.first().wasAutomatic, true);
    EXPECT_EQ(rig.monitor.actions.last().wasAutomatic, false);

    rig.settings.setAutoPilotEnabled(false);
    rig.scheduler.advance(24h);
    EXPECT_FALSE(ap.isRunning());
    EXPECT_EQ(ap.runHistory().size(), 2);
    EXPECT_EQ(ap.nextRunDate(), utc(13, 3, 0));

    ap.stop();
    EXPECT_EQ(rig.scheduler.pendingCount(), 0);
}

TEST(AutoPilot, ASecondRunIsRefusedWhileOneRuns)
{
    Rig rig(utc(10, 14, 0));
    AutoPilot& ap = rig.make();
    ASSERT_TRUE(ap.runNow(RunTrigger::manual));
    EXPECT_EQ(ap.currentTaskDescription(), QStringLiteral("Starting maintenance\u2026"));
    EXPECT_FALSE(ap.runNow(RunTrigger::manual));
    EXPECT_FALSE(ap.runNow(RunTrigger::scheduled));
    ASSERT_TRUE(rig.waitIdle());
    EXPECT_EQ(ap.runHistory().size(), 1);
    EXPECT_EQ(rig.monitor.actions.size(), 1);
    EXPECT_TRUE(ap.currentTaskDescription().isEmpty());
    // Once recorded, the next request runs.
    EXPECT_TRUE(ap.runNow(RunTrigger::manual));
    ASSERT_TRUE(rig.waitIdle());
    EXPECT_EQ(ap.runHistory().size(), 2);
}

TEST(AutoPilot, ARunCleansPrunesReportsAndRecordsItself)
{
    Rig rig(utc(10, 14, 0));
    const QDateTime now = rig.clock.now();
    const QString pip = Paths::cacheHome() + QStringLiteral("/pip");
    fixture::file(pip + QStringLiteral("/http/wheel"), 60 * MiB);
    fixture::file(home() + QStringLiteral("/.cache/huggingface/model.bin"), 5 * MiB);
    const QString downloads = home() + QStringLiteral("/Downloads");
    fixture::file(downloads + QStringLiteral("/old.iso"), 50 * MiB);
    fixture::file(downloads + QStringLiteral("/.old-hidden"), MiB);
    fixture::file(downloads + QStringLiteral("/recent.pdf"), MiB);
    QDir().mkpath(downloads + QStringLiteral("/old-folder"));
    fixture::setModified(downloads + QStringLiteral("/old.iso"), now.addDays(-31));
    fixture::setModified(downloads + QStringLiteral("/.old-hidden"), now.addDays(-90));
    fixture::setModified(downloads + QStringLiteral("/old-folder"), now.addDays(-40));
    fixture::setModified(downloads + QStringLiteral("/recent.pdf"), now.addDays(-29));
    // Per-user logs: below the state and cache folders, by name and age only.
    const QString logs = Paths::stateHome() + QStringLiteral("/editor");
    const QString cacheLogs = Paths::cacheHome() + QStringLiteral("/someapp/logs");
    const QString olds[] = {logs + QStringLiteral("/old.log"), cacheLogs + QStringLiteral("/session.log.2.gz"),
                            home() + QStringLiteral("/.xsession-errors.old")};
    const QString keeps[] = {logs + QStringLiteral("/new.log"), cacheLogs + QStringLiteral("/notes.txt"),
                             cacheLogs + QStringLiteral("/logbook"), cacheLogs + QStringLiteral("/x.log.bak"),
                             home() + QStringLiteral("/.xsession-errors")};
    for (const QString& f : olds) fixture::file(f, 8192);
    for (const QString& f : keeps) fixture::file(f, 8192);
    for (const QString& f : keeps) fixture::setModified(f, now.addDays(-8));
    for (const QString& f : olds) fixture::setModified(f, now.addDays(-8));
    fixture::setModified(logs + QStringLiteral("/new.log"), now.addDays(-6));
    // A link to a folder of logs elsewhere is never followed.
    const QString elsewhere = home() + QStringLiteral("/elsewhere");
    fixture::file(elsewhere + QStringLiteral("/far.log"), 8192);
    fixture::setModified(elsewhere + QStringLiteral("/far.log"), now.addDays(-8));
    ASSERT_TRUE(QFile::link(elsewhere, Paths::stateHome() + QStringLiteral("/linked")));

    const uint64_t cacheBytes = DiskCleaner::measureTree(pip, true).bytes;
    const uint64_t downloadBytes = fixture::allocated(downloads + QStringLiteral("/old.iso"));
    uint64_t logBytes = 0;
    for (const QString& f : olds) logBytes += fixture::allocated(f);

    rig.settings.setAutoCleanDownloads(true);
    rig.ledger.counts = {{"renderer", 9}, {"node", 7}, {"java", 5}, {"python3", 3}, {"ruby", 2}, {"perl", 1}};
    rig.monitor.snapshot.cpuUsage = 12.4;
    rig.monitor.snapshot.memoryUsed = 8;
    rig.monitor.snapshot.memoryTotal = 16;
    rig.monitor.snapshot.diskTotal = 500ull << 30;
    rig.monitor.snapshot.diskUsed = 400ull << 30;
    rig.monitor.health.score = 87;

    AutoPilot& ap = rig.make();
    QStringList progress;
    QObject::connect(&ap, &AutoPilot::changed, [&] {
        if (progress.isEmpty() || progress.last() != ap.currentTaskDescription()) progress << ap.currentTaskDescription();
    });
    ASSERT_TRUE(ap.runNow(RunTrigger::manual));
    rig.clock.advance(42s);
    ASSERT_TRUE(rig.waitIdle());

    EXPECT_EQ(progress, (QStringList{"Starting maintenance\u2026", "Cleaning safe caches", "Pruning old downloads",
                                     "Rotating old logs", "Checking process health", "Capturing health snapshot", ""}));
    ASSERT_TRUE(ap.lastSummary().has_value());
    const MaintenanceRun run = *ap.lastSummary();
    EXPECT_EQ(stepNames(run),
              (QStringList{"Cache cleanup", "Downloads prune", "Log rotation", "Process health", "Health report"}));
    for (const auto& s : run.steps) EXPECT_TRUE(s.succeeded);
    EXPECT_EQ(run.steps[0].detail, QStringLiteral("1 target, ") + formatByteCount(qint64(cacheBytes)) + QStringLiteral(" moved to Trash"));
    EXPECT_EQ(run.steps[1].detail, QStringLiteral("2 files older than 30 days moved to Trash, ") +
                                       formatByteCount(qint64(downloadBytes)) + QStringLiteral(" reclaimable"));
    EXPECT_EQ(run.steps[2].detail, QStringLiteral("3 logs older than 7 days moved to Trash, ") +
                                       formatByteCount(qint64(logBytes)) + QStringLiteral(" reclaimable"));
    EXPECT_EQ(run.steps[3].detail,
              QStringLiteral("renderer (\u00D79), node (\u00D77), java (\u00D75), python3 (\u00D73), ruby (\u00D72)"));
    EXPECT_EQ(run.steps[4].detail, QStringLiteral("Score 87/100 \u2014 CPU 12%, Mem 50%, Disk 100.0 GB free"));
    EXPECT_EQ(run.bytesFreed, cacheBytes + downloadBytes + logBytes);
    EXPECT_EQ(run.finalHealthScore, 87);
    EXPECT_EQ(run.trigger, RunTrigger::manual);
    EXPECT_EQ(run.startedAt, now);
    EXPECT_EQ(run.finishedAt, now.addSecs(42));

    // Only the old, visible entries left; the model cache is never an automatic target.
    EXPECT_EQ(fixture::entries(downloads), (QStringList{".old-hidden", "recent.pdf"}));
    EXPECT_EQ(fixture::entries(logs), QStringList{"new.log"});
    for (const QString& f : olds) EXPECT_FALSE(QFile::exists(f)) << f.toStdString();
    for (const QString& f : keeps) EXPECT_TRUE(QFile::exists(f)) << f.toStdString();
    EXPECT_TRUE(QFile::exists(elsewhere + QStringLiteral("/far.log")));
    EXPECT_TRUE(QFile::exists(fixture::trashFiles() + QStringLiteral("/session.log.2.gz")));
    EXPECT_TRUE(QFile::exists(home() + QStringLiteral("/.cache/huggingface/model.bin")));
    EXPECT_TRUE(QFile::exists(fixture::trashFiles() + QStringLiteral("/old.iso")));

    // Record, last-run key, history file, action record and notice.
    EXPECT_EQ(ap.lastRunDate(), run.finishedAt);
    EXPECT_EQ(rig.defaults.getDouble(QStringLiteral("autopilot_last_run")), Dates::toReferenceSeconds(run.finishedAt));
    const auto onDisk = MaintenanceRun::decodeHistory(*Json::readFile(AutoPilot::historyPath()));
    ASSERT_TRUE(onDisk.has_value());
    ASSERT_EQ(onDisk->size(), 1);
    EXPECT_EQ(onDisk->first().id, run.id);
    EXPECT_EQ(onDisk->first().steps.size(), 5);
    EXPECT_EQ(onDisk->first().steps[4].detail, run.steps[4].detail);
    EXPECT_EQ(onDisk->first().bytesFreed, run.bytesFreed);
    EXPECT_EQ(onDisk->first().finishedAt, run.finishedAt);
    ASSERT_EQ(rig.monitor.actions.size(), 1);
    const ActionRecord& record = rig.monitor.actions.first();
    EXPECT_EQ(record.action, ActionType::systemCheck);
    EXPECT_EQ(record.target, QStringLiteral("AutoPilot"));
    EXPECT_EQ(record.detail, QStringLiteral("Manual run moved ") + formatByteCount(qint64(run.bytesFreed)) +
                                 QStringLiteral(" to the Trash, health 87"));
    EXPECT_FALSE(record.wasAutomatic);
    EXPECT_EQ(rig.notifier.cleanupNotices, QStringList{formatByteCount(qint64(run.bytesFreed))});

    // A run that frees nothing posts no notice; the history grows newest first.
    rig.ledger.counts.clear();
    ASSERT_TRUE(ap.runNow(RunTrigger::manual));
    ASSERT_TRUE(rig.waitIdle());
    EXPECT_EQ(ap.runHistory().size(), 2);
    EXPECT_EQ(ap.runHistory()[1].id, run.id);
    EXPECT_EQ(ap.runHistory()[0].bytesFreed, 0u);
    EXPECT_EQ(ap.runHistory()[0].steps[3].detail, QStringLiteral("No recurring offenders."));
    EXPECT_EQ(rig.notifier.cleanupNotices.size(), 1);
}

TEST(AutoPilot, HistoryKeepsFiftyRunsAndADamagedFileLoadsAsEmpty)
{
    const QByteArray valid = QJsonDocument(MaintenanceRun::encodeHistory({storedRun(0)})).toJson(QJsonDocument::Compact);
    QByteArray missingKey = valid;
    missingKey.replace("\"finalHealthScore\"", "\"finalScore\"");
    QByteArray badTrigger = valid;
    badTrigger.replace("\"Scheduled\"", "\"Nightly\"");
    QByteArray badStep = valid;
    badStep.replace("\"succeeded\":true", "\"succeeded\":\"yes\"");
    QList<QByteArray> damaged = {"{\"not\":\"an array\"}", "[{\"id\":", missingKey, badTrigger, badStep, "[1]"};
    // Dates no file of ours can hold (the first two overflowed the millisecond count), and
    // ones before 2001 or after 2200.
    for (const double seconds : {9.3e15, 1e300, -1.0, 6.4e9}) {
        QJsonArray runs = MaintenanceRun::encodeHistory({storedRun(0)});
        QJsonObject run = runs[0].toObject();
        run[QStringLiteral("startedAt")] = seconds;
        runs[0] = run;
        damaged << QJsonDocument(runs).toJson(QJsonDocument::Compact);
    }
    for (const QByteArray& bytes : damaged) {
        SCOPED_TRACE(bytes.toStdString());
        ASSERT_TRUE(Json::writeFileAtomically(AutoPilot::historyPath(), bytes).ok());
        Rig rig(utc(10, 14, 0));
        AutoPilot& ap = rig.make();
        EXPECT_TRUE(ap.runHistory().isEmpty());
        EXPECT_FALSE(ap.lastSummary().has_value());
    }

    // A damaged file is replaced whole by the next record.
    {
        Rig rig(utc(10, 14, 0));
        AutoPilot& ap = rig.make();
        ASSERT_TRUE(ap.runNow(RunTrigger::manual));
        ASSERT_TRUE(rig.waitIdle());
        const auto onDisk = MaintenanceRun::decodeHistory(*Json::readFile(AutoPilot::historyPath()));
        ASSERT_TRUE(onDisk.has_value());
        EXPECT_EQ(onDisk->size(), 1);
        EXPECT_EQ(fixture::entries(Paths::appSupportDir()), QStringList{"autopilot_history.json"});
    }

    // Fifty stored runs plus a new one: the oldest goes.
    QList<MaintenanceRun> fifty;
    for (int i = 0; i < 50; ++i) fifty << storedRun(i);
    ASSERT_TRUE(Json::writeFileAtomically(AutoPilot::historyPath(), QJsonDocument(MaintenanceRun::encodeHistory(fifty))).ok());
    Rig rig(utc(10, 14, 0));
    AutoPilot& ap = rig.make();
    ASSERT_EQ(ap.runHistory().size(), 50);
    EXPECT_EQ(ap.lastSummary()->id, fifty.first().id);
    EXPECT_EQ(ap.runHistory().first().finishedAt, fifty.first().finishedAt);
    ASSERT_TRUE(ap.runNow(RunTrigger::manual));
    ASSERT_TRUE(rig.waitIdle());
    ASSERT_EQ(ap.runHistory().size(), 50);
    EXPECT_EQ(ap.runHistory().first().id, ap.lastSummary()->id);
    EXPECT_EQ(ap.runHistory()[1].id, fifty[0].id);
    EXPECT_EQ(ap.runHistory().last().id, fifty[48].id);
    const auto onDisk = MaintenanceRun::decodeHistory(*Json::readFile(AutoPilot::historyPath()));
    ASSERT_TRUE(onDisk.has_value());
    EXPECT_EQ(*onDisk, ap.runHistory());
}

TEST(AutoPilot, PruningNeverTouchesTheHomeFolderOrALinkedFolder)
{
    const QDateTime now = utc(10, 14, 0);
    fixture::file(home() + QStringLiteral("/ancient.txt"), 100);
    fixture::setModified(home() + QStringLiteral("/ancient.txt"), now.addYears(-3));
    fixture::file(home() + QStringLiteral("/real-downloads/old.zip"), 100);
    fixture::setModified(home() + QStringLiteral("/real-downloads/old.zip"), now.addYears(-3));
    ASSERT_EQ(symlink(QFile::encodeName(home() + QStringLiteral("/real-downloads")).constData(),
                      QFile::encodeName(home() + QStringLiteral("/Downloads")).constData()),
              0);

    // "$HOME/" is how user-dirs.dirs says "no Downloads folder".
    fixture::file(Paths::configHome() + QStringLiteral("/user-dirs.dirs"), 0);
    QFile dirs(Paths::configHome() + QStringLiteral("/user-dirs.dirs"));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/\"\n");
    dirs.close();
    EXPECT_EQ(AutoPilot::downloadsFolder(), home());

    for (const QString& folder : {home(), home() + "/", QString("/"), home() + "/Downloads", Paths::trashDir()}) {
        const auto pruned = AutoPilot::trashOldFiles(folder, 30, now);
        EXPECT_EQ(pruned.count, 0) << folder.toStdString();
    }
    EXPECT_TRUE(QFile::exists(home() + QStringLiteral("/ancient.txt")));
    EXPECT_TRUE(QFile::exists(home() + QStringLiteral("/real-downloads/old.zip")));

    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DOWNLOAD_DIR=\"$HOME/real-downloads\"\n");
    dirs.close();
    EXPECT_EQ(AutoPilot::downloadsFolder(), home() + QStringLiteral("/real-downloads"));
    QFile::remove(dirs.fileName());
    EXPECT_EQ(AutoPilot::downloadsFolder(), home() + QStringLiteral("/Downloads"));
}

TEST(AutoPilot, ADayCountOutOfRangeFallsBackToThirtyDaysWithANote)
{
    QStringList console;
    Log::setSink([&](const QString& line) { console << line; });
    for (const qint64 days : {qint64(-1), qint64(0), qint64(213503982334), qint64(3651)}) {
        SCOPED_TRACE(days);
        Rig rig(utc(10, 14, 0));
        const QDateTime now = rig.clock.now();
        const QString downloads = home() + QStringLiteral("/Downloads");
        QDir(downloads).removeRecursively();
        fixture::file(downloads + QStringLiteral("/old.iso"), MiB);
        fixture::file(downloads + QStringLiteral("/recent.pdf"), MiB);
        fixture::setModified(downloads + QStringLiteral("/old.iso"), now.addDays(-31));
        fixture::setModified(downloads + QStringLiteral("/recent.pdf"), now.addDays(-1));
        rig.settings.setAutoCleanDownloads(true);
        rig.settings.setDownloadCleanupDays(days);
        EXPECT_EQ(rig.settings.downloadCleanupDays(), 30);

        AutoPilot& ap = rig.make();
        ASSERT_TRUE(ap.runNow(RunTrigger::manual));
        ASSERT_TRUE(rig.waitIdle());
        EXPECT_EQ(fixture::entries(downloads), QStringList{"recent.pdf"}) << "only what is older than 30 days goes";
        EXPECT_TRUE(ap.lastSummary()->steps[1].detail.startsWith(QStringLiteral("1 files older than 30 days")))
            << ap.lastSummary()->steps[1].detail.toStdString();
        EXPECT_EQ(console.count(QStringLiteral("[Veltranmoor] downloadCleanupDays of %1 is outside 1-3650 days; using 30")
                                    .arg(days)),
                  1)
            << "said once, however often it is read";
    }
    Log::setSink({});

    // The ends of the range are kept.
    Rig rig(utc(10, 14, 0));
    for (const qint64 days : {qint64(1), qint64(3650)}) {
        rig.settings.setLogCleanupDays(days);
        EXPECT_EQ(rig.settings.logCleanupDays(), days);
    }
    rig.settings.setTrashCleanupDays(-5);
    EXPECT_EQ(rig.settings.trashCleanupDays(), 30);
}
