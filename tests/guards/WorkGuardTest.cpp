#include "core/Log.h"
#include "core/Paths.h"
#include "guards/GuardTestFiles.h"
#include "guards/WorkGuard.h"
#include "support/ManualClock.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

using namespace guard_files;
using namespace std::chrono_literals;

namespace {

QString desktop() { return Paths::home() + QStringLiteral("/Desktop"); }
QString documents() { return Paths::home() + QStringLiteral("/Documents"); }

// A value published the way the other guards publish theirs: a getter and a change signal
// (the object's name change stands in for the signal).
template <typename T>
struct FakeSource {
    QObject object;
    T value{};
    int n = 0;
    void publish(T v)
    {
        value = v;
        object.setObjectName(QString::number(++n));
    }
    WorkGuard::Published<T> published()
    {
        return {[this] { return value; },
                [this](QObject* receiver, std::function<void()> changed) {
                    return QObject::connect(&object, &QObject::objectNameChanged, receiver, [changed] { changed(); });
                }};
    }
};

struct Guard : ::testing::Test {
    ManualClock clock{QDateTime::currentDateTimeUtc()};
    ManualScheduler scheduler{clock};
    std::mutex linesMutex;
    QStringList lines;
    std::unique_ptr<WorkGuard> guard;

    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(desktop()));
        ASSERT_TRUE(QDir().mkpath(documents()));
        Log::setSink([this](const QString& l) {
            std::lock_guard lock(linesMutex);
            lines << l;
        });
    }
    void TearDown() override
    {
        guard.reset();
        Log::setSink({});
    }
    // Revisions are named by the time they are taken, so where files are saved for real the
    // guard reads the real clock.
    SystemClock realClock;
    void make(WorkEventStreamer::Options streamer = {}, bool realTime = false)
    {
        guard = std::make_unique<WorkGuard>(WorkGuard::Collaborators{
            .clock = realTime ? static_cast<const Clock&>(realClock) : clock, .scheduler = scheduler, .streamer = streamer});
    }
    // Runs what the queue holds and what it posted back to the main thread.
    void drain()
    {
        guard->queue().sync([] {});
        QCoreApplication::processEvents();
    }
    QStringList linesWith(const QString& part)
    {
        std::lock_guard lock(linesMutex);
        return lines.filter(part);
    }
    QStringList sweepReasons()
    {
        QStringList out;
        for (const QString& l : linesWith(QStringLiteral("sweep done")))
            out << l.section(QStringLiteral("reason="), 1).section(QStringLiteral(" created="), 0, 0);
        return out;
    }
    QString file(const QString& root, const QString& relative, const QDateTime& modified, qint64 size = 10)
    {
        const QString path = root + QLatin1Char('/') + relative;
        EXPECT_TRUE(write(path, QByteArray(size, 'x')));
        EXPECT_TRUE(setMtime(path, modified));
        return path;
    }
};

TEST(WorkGuardScore, FollowsRecencySizeAndKind)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    struct Case {
        const char* name;
        double ageHours;
        qint64 size;
        double expected;
    };
    const Case cases[] = {
        {"a.swift", 0, 1000, 0.1 * std::log10(1001.0) / 9 + 0.65 + 0.30},  // about 0.9833
        {"noext", 0, 0, 0.65},
        {"future.md", -5, 0, 0.65 + 0.25},
        {"Design.PSD", 0, 0, 0.95},
        {"table.csv", 360, 0, 0.65 * 0.5 + 0.15},
        {"huge.bin", 0, qint64(1) << 40, 0.1 + 0.65},
        {"old.txt", 29 * 24, 0, 0.65 * (1 - 29.0 * 24 / 720) + 0.25},
        {"ancient.txt", 40 * 24, 0, 0.25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(WorkGuard::rankScore(QStringLiteral("/d/") + c.name, now.addSecs(qint64(-c.ageHours * 3600)), c.size, now),
                    c.expected, 1e-9);
    }
    EXPECT_NEAR(WorkGuard::rankScore("/d/a.swift", now, 1000, now), 0.9833, 1e-4);
}

TEST(WorkGuardCandidates, BatchNameFilter)
{
    const struct {
        const char* path;
        bool candidate;
    } cases[] = {
        {"/h/Documents/report.md", true},
        {"/h/Documents/dist-notes/a.md", true},
        {"/h/Documents/Build/a.md", true},
        {"/h/Documents/.hidden.md", false},
        {"/h/Documents/a.md~", false},
        {"/h/Documents/.a.md.swp", false},
        {"/h/Documents/a.swo", false},
        {"/h/Documents/Cargo.lock", false},
        {"/h/Documents/x.tmp", false},
        {"/h/Documents/Icon\r", false},
        {"/h/Documents/dist/a.md", false},
        {"/h/Documents/app/node_modules/x/a.js", false},
        {"/h/Documents/.config/a.md", false},
        {"/h/Documents/proj/bin/a.md", false},
        {"/h/Documents/proj/Release/a.md", false},
    };
    for (const auto& c : cases) EXPECT_EQ(WorkGuard::isSnapshotCandidate(QString::fromUtf8(c.path)), c.candidate) << c.path;
}

TEST_F(Guard, WatchesTheDesktopsOwnFolderNames)
{
    EXPECT_EQ(WorkGuard::defaultRoots(), (QStringList{desktop(), documents()}));
    ASSERT_TRUE(write(Paths::configHome() + QStringLiteral("/user-dirs.dirs"),
                      "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_DOCUMENTS_DIR=\"$HOME/\"\n"));
    // A folder switched off (the home folder itself) keeps the usual name.
    EXPECT_EQ(WorkGuard::defaultRoots(), (QStringList{Paths::home() + QStringLiteral("/Schreibtisch"), documents()}));
}

TEST_F(Guard, RankingWalksBothRootsAndSkipsWhatItShould)
{
    make();
    const QDateTime now = clock.now();
    file(desktop(), "recent.md", now.addSecs(-60));
    file(documents(), "month-old.txt", now.addDays(-31));
    file(documents(), "older.txt", now.addDays(-29));
    file(documents(), "node_modules/lib.js", now);
    file(documents(), "Build/out.o", now);
    file(documents(), "DerivedData/x.swift", now);
    file(documents(), "dist/bundle.js", now);
    file(documents(), ".hidden/secret.md", now);
    file(documents(), ".dotfile.md", now);
    file(documents(), "1/2/3/4/5/6/deep7.md", now);
    file(documents(), "1/2/3/4/5/6/7/deep8.md", now);
    ASSERT_TRUE(QFile::link(documents() + "/older.txt", documents() + "/link.txt"));

    QStringList names;
    for (const auto& f : guard->rankRoots()) names << QFileInfo(f.id.toLocalFile()).fileName();
    names.sort();
    EXPECT_EQ(names, (QStringList{"bundle.js", "deep7.md", "older.txt", "recent.md"}));
    for (const auto& f : guard->rankRoots()) {
        if (f.id.fileName() == QStringLiteral("older.txt")) {
            EXPECT_NEAR(f.score, 0.65 * (1.0 / 30) + 0.25 + 0.1 * std::log10(11.0) / 9, 1e-3);
        }
    }
}

TEST_F(Guard, SweepOffersTheFiftyBestAndPublishes)
{
    make();
    const QDateTime now = clock.now();
    for (int i = 0; i < 60; ++i) file(documents(), QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0')), now.addSecs(-3600 * i));
    guard->scheduleSweep(QStringLiteral("startup"));
    drain();

    ASSERT_EQ(guard->lastRanked().size(), 50);
    EXPECT_EQ(guard->lastRanked().first().id.fileName(), QStringLiteral("f00.txt"));
    EXPECT_EQ(guard->lastRanked().last().id.fileName(), QStringLiteral("f49.txt"));
    for (int i = 1; i < 50; ++i) EXPECT_GE(guard->lastRanked()[i - 1].score, guard->lastRanked()[i].score);
    EXPECT_EQ(guard->totalSnapshots(), 50);
    EXPECT_EQ(guard->lastTrigger(), QStringLiteral("startup"));
    EXPECT_EQ(guard->lastSweepAt(), clock.now());
    EXPECT_EQ(linesWith("sweep done"), QStringList{"[WorkGuard] sweep done reason=startup created=50 total=50 topN=50"});

    // Nothing changed: the next sweep writes nothing.
    guard->scheduleSweep(QStringLiteral("periodic"));
    drain();
    EXPECT_EQ(linesWith("sweep done").last(), QStringLiteral("[WorkGuard] sweep done reason=periodic created=0 total=50 topN=50"));
}

TEST_F(Guard, StartStopAndTheTriggers)
{
    make({.latency = 0.2});
    FakeSource<std::optional<QDateTime>> snooze;
    FakeSource<std::optional<QDateTime>> shield;
    FakeSource<bool> workload;
    snooze.value = clock.now().addSecs(-5);  // Snooze Guard fired before Work Guard started
    guard->setTriggerSources({snooze.published(), shield.published(), workload.published()});

    guard->start();
    guard->start();
    drain();
    EXPECT_TRUE(guard->isRunning());
    EXPECT_EQ(linesWith("starting").size(), 1);
    EXPECT_EQ(linesWith("starting").first(), QStringLiteral("[WorkGuard] starting \u2014 watching 2 roots"));
    EXPECT_EQ(sweepReasons(), (QStringList{"Snooze Guard fired", "startup"}));
    EXPECT_EQ(guard->lastTrigger(), QStringLiteral("startup"));

    snooze.publish(snooze.value);  // the same time again: nothing
    shield.publish(std::nullopt);  // absent: nothing
    workload.publish(false);
    drain();
    EXPECT_EQ(sweepReasons().size(), 2);

    snooze.publish(clock.now());
    shield.publish(clock.now());
    workload.publish(true);
    workload.publish(true);
    scheduler.advance(900s);
    drain();
    EXPECT_EQ(sweepReasons().mid(2),
              (QStringList{"Snooze Guard fired", "AI Shield suspicious", "AI Workload active", "AI Workload active", "periodic"}));

    // "Snapshot Now": stop, then start, sweeps at once with the reason startup.
    guard->stop();
    EXPECT_FALSE(guard->isRunning());
    snooze.publish(clock.now().addSecs(1));
    scheduler.advance(900s);
    drain();
    EXPECT_EQ(sweepReasons().size(), 7);
    guard->start();
    drain();
    EXPECT_EQ(sweepReasons().last(), QStringLiteral("startup"));
    EXPECT_EQ(linesWith("starting").size(), 2);
}

TEST_F(Guard, BatchesSnapshotCandidatesOnly)
{
    make();
    const QDateTime now = clock.now();
    const QString swp = file(documents(), ".notes.md.swp", now);
    const QString backup = file(documents(), "notes.md~", now);
    const QString hidden = file(documents(), ".secret", now);
    guard->handleFSEventsBatch({swp, backup, hidden, documents() + QStringLiteral("/vanished.md"), documents()});
    drain();
    EXPECT_FALSE(guard->lastTrigger());
    EXPECT_TRUE(linesWith("inotify batch").isEmpty());

    guard->scheduleSweep(QStringLiteral("startup"));
    drain();
    const QList<WorkGuard::RankedFile> ranked = guard->lastRanked();
    guard->handleFSEventsBatch({file(documents(), "a.md", now.addSecs(-10)), file(documents(), "dist/b.md", now),
                                file(desktop(), "c.txt", now)});
    drain();
    EXPECT_EQ(linesWith("inotify batch"), QStringList{QStringLiteral("[WorkGuard] inotify batch created=2 total=3")});
    EXPECT_EQ(guard->lastTrigger(), QStringLiteral("inotify"));
    EXPECT_EQ(guard->totalSnapshots(), 3);  // with the backup file the sweep took
    EXPECT_EQ(guard->lastRanked(), ranked);
}

// Past the watch limit the folders left unwatched are still covered, by the periodic sweep.
TEST_F(Guard, UnwatchedFoldersAreLeftToTheSweep)
{
    make({.latency = 0.2, .maxWatches = 1}, true);  // Desktop is watched, Documents is not
    guard->start();
    drain();
    const QString late = documents() + QStringLiteral("/late.md");
    ASSERT_TRUE(write(late, "written after the start"));
    std::this_thread::sleep_for(600ms);
    drain();
    EXPECT_EQ(guard->totalSnapshots(), 0);
    EXPECT_EQ(linesWith("inotify watch limit reached").size(), 1);
    scheduler.advance(900s);
    drain();
    EXPECT_EQ(guard->lastTrigger(), QStringLiteral("periodic"));
    EXPECT_EQ(guard->totalSnapshots(), 1);
    EXPECT_EQ(guard->listRevisions(guard->snapshotter().bucketURL(late)).size(), 1);
    guard->stop();
}

// The whole path on real files: saving under ~/Documents gives a revision about at once.
TEST_F(Guard, SavesBecomeRevisionsThroughTheFileEvents)
{
    const QString essay = file(documents(), "essay.md", clock.now().addSecs(-3600));
    make({.latency = 0.5, .settle = 0.3});
    guard->start();
    drain();
    ASSERT_EQ(guard->totalSnapshots(), 1);  // the startup sweep took the existing file
    const auto waitTotal = [&](int total) {
        for (int i = 0; i < 300 && guard->totalSnapshots() < total; ++i) {
            std::this_thread::sleep_for(10ms);
            drain();
        }
        return guard->totalSnapshots();
    };

    const QString report = documents() + QStringLiteral("/report.txt");
    ASSERT_TRUE(write(report, "first"));
    EXPECT_EQ(waitTotal(2), 2);
    EXPECT_EQ(linesWith("inotify batch").first(), QStringLiteral("[WorkGuard] inotify batch created=1 total=2"));

    // An editor's save: write a temporary file, rename it over the document.
    ASSERT_TRUE(write(documents() + QStringLiteral("/.essay.md.XYZ"), "second draft"));
    ASSERT_EQ(::rename(QFile::encodeName(documents() + "/.essay.md.XYZ").constData(), QFile::encodeName(essay).constData()), 0);
    // Within 30 s of the startup sweep's capture: it waits its turn, then is taken.
    for (int i = 0; i < 300 && guard->deferredCount() == 0; ++i) {
        std::this_thread::sleep_for(10ms);
        drain();
    }
    ASSERT_EQ(guard->deferredCount(), 1);
    EXPECT_EQ(guard->totalSnapshots(), 2);
    scheduler.advance(30s);
    EXPECT_EQ(waitTotal(3), 3);

    // A new sub-folder is watched.
    ASSERT_TRUE(QDir().mkpath(documents() + QStringLiteral("/Project")));
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(write(documents() + QStringLiteral("/Project/plan.md"), "plan"));
    EXPECT_EQ(waitTotal(4), 4);

    // A removal adds nothing.
    ASSERT_TRUE(QFile::remove(report));
    std::this_thread::sleep_for(1200ms);
    drain();
    EXPECT_EQ(guard->totalSnapshots(), 4);
    EXPECT_EQ(linesWith("inotify batch").size(), 3);
    EXPECT_EQ(guard->listRevisions(guard->snapshotter().bucketURL(essay)).size(), 2);
    guard->stop();
}

}  // namespace
