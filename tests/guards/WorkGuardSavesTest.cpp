// Work Guard against the ways programs really save, bulk writers and roots as users have them,
// through the real file-event stream and store on a private home. The guard's clock and timers
// are manual where the 30 s rule matters; the files are written for real.
#include "core/Log.h"
#include "core/Paths.h"
#include "guards/GuardTestFiles.h"
#include "guards/WorkGuard.h"
#include "support/ManualClock.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

using namespace guard_files;
using namespace std::chrono_literals;

namespace {

QString home() { return Paths::home(); }
QString documents() { return home() + QStringLiteral("/Documents"); }

bool renameOver(const QString& from, const QString& to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

struct Saves : ::testing::Test {
    ManualClock clock{QDateTime::currentDateTimeUtc()};
    ManualScheduler scheduler{clock};
    std::mutex linesMutex;
    QStringList lines;
    std::unique_ptr<WorkGuard> guard;
    std::optional<WorkSnapshotter::Space> space;

    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(home() + QStringLiteral("/Desktop")));
        Log::setSink([this](const QString& l) {
            std::lock_guard lock(linesMutex);
            lines << l;
        });
    }
    void TearDown() override
    {
        if (guard) guard->stop();
        guard.reset();
        Log::setSink({});
    }
    void make()
    {
        guard = std::make_unique<WorkGuard>(WorkGuard::Collaborators{
            .clock = clock,
            .scheduler = scheduler,
            .streamer = {.latency = 0.2, .settle = 0.5},
            .space = [this] { return space; },
        });
    }
    void start()
    {
        make();
        guard->start();
        drain();
        std::this_thread::sleep_for(300ms);  // the watches are in place
    }
    void drain()
    {
        for (int i = 0; i < 3; ++i) {
            guard->queue().sync([] {});
            QCoreApplication::processEvents();
        }
    }
    // Waits out the settle time and the gathering window, then what the guard queued.
    void settle()
    {
        std::this_thread::sleep_for(1000ms);
        drain();
    }
    // Time passing for the guard: real time enough for the events to settle, then the clock.
    void pause(std::chrono::milliseconds span)
    {
        if (span < 500ms) {
            std::this_thread::sleep_for(span);
            clock.advance(span);
            return;
        }
        settle();
        scheduler.advance(span);
        drain();
    }
    QStringList linesWith(const QString& part)
    {
        std::lock_guard lock(linesMutex);
        return lines.filter(part);
    }
    QList<WorkGuard::SnapshotRevision> revisionsOf(const QString& file)
    {
        return guard->listRevisions(guard->snapshotter().bucketURL(file));
    }
    int trashed() const { return entries(Paths::trashDir() + QStringLiteral("/files")).size(); }
};

// However the save was made, once it has settled and the 30 s rule has had its turn the
// newest revision holds exactly what was saved, no state in between was taken, and no bucket
// belongs to a temporary file.
TEST_F(Saves, TheNewestRevisionIsTheFileAsSaved)
{
    struct Pattern {
        const char* name;
        const char* file;
        std::function<void(Saves&, const QString&)> save;
    };
    const auto dirOf = [](const QString& f) { return QFileInfo(f).absolutePath(); };
    const Pattern patterns[] = {
        {"two saves 10 s apart", "letter.md",
         [](Saves& t, const QString& f) {
             ASSERT_TRUE(write(f, "Dear Sir, teh report"));
             t.pause(10s);
             ASSERT_TRUE(write(f, "Dear Sir, the report"));
         }},
        {"truncate, then write 0.2 s later", "table.csv",
         [](Saves& t, const QString& f) {
             ASSERT_TRUE(write(f, ""));
             t.pause(200ms);
             QFile out(f);
             ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Append));
             out.write("a,b\n1,2\n");
         }},
        {"a header, then the rest appended 3 s later", "log.txt",
         [](Saves& t, const QString& f) {
             ASSERT_TRUE(write(f, "# Minutes\n"));
             t.pause(3s);
             QFile out(f);
             ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Append));
             out.write("Present: all\n");
         }},
        {"sed -i", "config.yaml",
         [dirOf](Saves&, const QString& f) {
             const QString temp = dirOf(f) + QStringLiteral("/sedK3x9Qa");
             ASSERT_TRUE(write(temp, "level: 3\n"));
             ASSERT_TRUE(renameOver(temp, f));
         }},
        {"NAME.XXXXXX written slowly, then renamed over", "thesis.tex",
         [dirOf](Saves& t, const QString& f) {
             const QString temp = f + QStringLiteral(".q7XbZ2");
             ASSERT_TRUE(write(temp, "\\chapter{Two}"));
             t.pause(1s);  // long enough for the temporary to be reported on its own
             ASSERT_TRUE(renameOver(temp, f));
         }},
        {"vim's rename dance", "main.py",
         [dirOf](Saves&, const QString& f) {
             ASSERT_TRUE(write(dirOf(f) + QStringLiteral("/4913"), ""));
             ASSERT_TRUE(QFile::remove(dirOf(f) + QStringLiteral("/4913")));
             ASSERT_TRUE(renameOver(f, f + QLatin1Char('~')));
             ASSERT_TRUE(write(f, "print('saved by vim')\n"));
             ASSERT_TRUE(QFile::remove(f + QLatin1Char('~')));
         }},
        {"a hidden temporary renamed over", "plan.odt",
         [dirOf](Saves&, const QString& f) {
             const QString temp = dirOf(f) + QStringLiteral("/.plan.odt.Wr1tes");
             ASSERT_TRUE(write(temp, "plan, final"));
             ASSERT_TRUE(renameOver(temp, f));
         }},
    };
    QSet<QString> targets;
    for (const Pattern& p : patterns) {
        const QString f = documents() + QStringLiteral("/work/") + QString::fromUtf8(p.file);
        ASSERT_TRUE(write(f, "the version before"));
        ASSERT_TRUE(setMtime(f, clock.now().addDays(-1)));
        targets << f;
    }
    start();
    for (const QString& f : targets) ASSERT_EQ(revisionsOf(f).size(), 1) << "the startup sweep took " << f.toStdString();

    for (const Pattern& p : patterns) {
        SCOPED_TRACE(p.name);
        const QString f = documents() + QStringLiteral("/work/") + QString::fromUtf8(p.file);
        p.save(*this, f);
        settle();
        scheduler.advance(31s);
        drain();
        const auto revisions = revisionsOf(f);
        ASSERT_FALSE(revisions.isEmpty());
        EXPECT_EQ(read(revisions.first().id), read(f));
        for (const auto& r : revisions) EXPECT_NE(QFileInfo(r.id).size(), 0) << "a state in the middle of the save was taken";
        EXPECT_EQ(guard->deferredCount(), 0);
    }
    for (const auto& bucket : guard->recoverableFiles())
        EXPECT_TRUE(targets.contains(bucket.originalPath)) << bucket.originalPath.toStdString();
}

// A checkout and a folder moved in snapshot a bounded few, and the store sheds bulk copies
// before the revisions of documents saved by hand; nothing reaches the user's Trash.
TEST_F(Saves, BulkWritesDoNotEvictHandEditedWork)
{
    ASSERT_TRUE(QDir().mkpath(documents() + QStringLiteral("/checkout")));
    ASSERT_TRUE(QDir().mkpath(documents() + QStringLiteral("/notes")));
    for (int i = 0; i < 470; ++i) {
        const QString f = documents() + QStringLiteral("/archive/a%1.txt").arg(i);
        ASSERT_TRUE(write(f, "archived " + QByteArray::number(i)));
        ASSERT_TRUE(setMtime(f, clock.now().addDays(-20)));
    }
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(write(home() + QStringLiteral("/outside/photos/p%1.jpg").arg(i), QByteArray(2048, char(i))));
    }
    start();

    // Five documents saved by hand: the store's oldest buckets.
    QStringList handEdited;
    for (int i = 0; i < 5; ++i) {
        handEdited << documents() + QStringLiteral("/notes/chapter%1.md").arg(i);
        ASSERT_TRUE(write(handEdited.last(), "chapter " + QByteArray::number(i) + " as I wrote it"));
    }
    settle();
    for (const QString& f : handEdited) ASSERT_EQ(revisionsOf(f).size(), 1) << f.toStdString();
    // The archive, already protected by earlier sweeps (a bulk write of its own).
    guard->queue().sync([&] {
        for (int i = 0; i < 470; ++i)
            guard->snapshotter().snapshotFile(documents() + QStringLiteral("/archive/a%1.txt").arg(i), 3, 1 << 20, 30, false);
    });

    // A checkout writes 2,000 files; then a folder of 300 photos is moved in.
    for (int i = 0; i < 2000; ++i)
        ASSERT_TRUE(write(documents() + QStringLiteral("/checkout/src%1.c").arg(i), "int f" + QByteArray::number(i) + ";\n"));
    ASSERT_TRUE(QFile::rename(home() + QStringLiteral("/outside/photos"), documents() + QStringLiteral("/photos")));
    settle();
    settle();
    int checkoutBuckets = 0, photoBuckets = 0;
    for (const auto& b : guard->recoverableFiles()) {
        checkoutBuckets += b.originalPath.contains(QStringLiteral("/checkout/"));
        photoBuckets += b.originalPath.contains(QStringLiteral("/photos/"));
    }
    EXPECT_LE(checkoutBuckets, 200) << "a bulk batch snapshots its best 50 only";
    EXPECT_EQ(photoBuckets, 0) << "the files a folder brings are not reported";

    guard->scheduleSweep(QStringLiteral("periodic"));
    drain();
    const auto buckets = guard->recoverableFiles();
    EXPECT_LE(buckets.size(), WorkGuard::maxSnapshotBuckets);
    for (const QString& f : handEdited) {
        const auto revisions = revisionsOf(f);
        ASSERT_EQ(revisions.size(), 1) << f.toStdString();
        EXPECT_EQ(read(revisions.first().id), read(f));
    }
    EXPECT_EQ(trashed(), 0);
}

// A Desktop or Documents that is a link is followed once, to its folder; a root replaced or
// moved while running is found again; below a root no link is followed.
TEST_F(Saves, RootsAsUsersHaveThem)
{
    ASSERT_TRUE(QDir().mkpath(home() + QStringLiteral("/data/docs")));
    ASSERT_TRUE(write(home() + QStringLiteral("/outside/secret.md"), "not ours to copy"));
    ASSERT_TRUE(QFile::link(home() + QStringLiteral("/data/docs"), documents()));
    ASSERT_TRUE(QFile::link(home() + QStringLiteral("/outside"), home() + QStringLiteral("/data/docs/shortcut")));
    start();
    const auto waitFor = [&](const QString& f) {
        for (int i = 0; i < 40 && revisionsOf(f).isEmpty(); ++i) {
            std::this_thread::sleep_for(100ms);
            drain();
        }
        return revisionsOf(f).size();
    };

    const QString first = home() + QStringLiteral("/data/docs/first.md");
    ASSERT_TRUE(write(documents() + QStringLiteral("/first.md"), "written through the link"));
    EXPECT_EQ(waitFor(first), 1);
    ASSERT_TRUE(write(home() + QStringLiteral("/outside/secret.md"), "changed, still not ours"));

    // Documents now leads elsewhere (ln -sfn).
    ASSERT_TRUE(QDir().mkpath(home() + QStringLiteral("/data/other")));
    ASSERT_TRUE(QFile::link(home() + QStringLiteral("/data/other"), home() + QStringLiteral("/Documents.new")));
    ASSERT_TRUE(renameOver(home() + QStringLiteral("/Documents.new"), documents()));
    std::this_thread::sleep_for(300ms);
    const QString second = home() + QStringLiteral("/data/other/second.md");
    ASSERT_TRUE(write(second, "in the new folder"));
    EXPECT_EQ(waitFor(second), 1);

    // The folder moved away, and a real Documents folder made in the link's place.
    ASSERT_TRUE(renameOver(home() + QStringLiteral("/data/other"), home() + QStringLiteral("/data/moved")));
    ASSERT_TRUE(QFile::remove(documents()));
    ASSERT_TRUE(QDir().mkpath(documents()));
    std::this_thread::sleep_for(300ms);
    const QString third = documents() + QStringLiteral("/third.md");
    ASSERT_TRUE(write(third, "in a real folder"));
    EXPECT_EQ(waitFor(third), 1);

    // Neither the stream nor a sweep went through the link below the root.
    guard->scheduleSweep(QStringLiteral("periodic"));
    drain();
    for (const auto& b : guard->recoverableFiles()) EXPECT_FALSE(b.originalPath.contains(QStringLiteral("secret")));
    for (const auto& r : guard->lastRanked()) EXPECT_FALSE(r.id.path().contains(QStringLiteral("secret")));
    EXPECT_FALSE(linesWith(QStringLiteral("now leads to")).isEmpty());
}

// On a nearly full disk nothing is copied; the console says so once and the status says so
// until there is room again.
TEST_F(Saves, ANearlyFullDiskIsLeftToTheUser)
{
    const qint64 gib = qint64(1) << 30;
    space = WorkSnapshotter::Space{uint64_t(8 * gib), uint64_t(gib + 1024)};
    ASSERT_TRUE(QDir().mkpath(documents()));
    make();
    const QString report = documents() + QStringLiteral("/report.md");
    ASSERT_TRUE(write(report, QByteArray(4096, 'r')));
    guard->handleFSEventsBatch({report});
    guard->scheduleSweep(QStringLiteral("periodic"));
    drain();
    EXPECT_TRUE(revisionsOf(report).isEmpty());
    EXPECT_EQ(guard->storeNotice(), QStringLiteral("Snapshots paused: the disk is nearly full"));
    EXPECT_EQ(linesWith(QStringLiteral("snapshots paused")).size(), 1);

    space->available = uint64_t(3 * gib);
    guard->handleFSEventsBatch({report});
    drain();
    EXPECT_EQ(revisionsOf(report).size(), 1);
    EXPECT_FALSE(guard->storeNotice());
}

}  // namespace
