#include "core/Log.h"
#include "core/Paths.h"
#include "guards/GuardTestFiles.h"
#include "guards/WorkRecovery.h"
#include "guards/WorkSnapshotter.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <climits>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace guard_files;
using Restore = WorkRecovery::RestoreResult;

namespace {

struct Recovery : ::testing::Test {
    ManualClock clock;
    QString docs = Paths::home() + QStringLiteral("/Documents");
    WorkSnapshotter store{clock};
    WorkRecovery recovery{store.snapshotsRoot(), clock};
    QStringList lines;

    void SetUp() override
    {
        Log::setSink([this](const QString& l) { lines << l; });
    }
    void TearDown() override { Log::setSink({}); }

    // A revision of `file` holding `content`, its source saved at `savedAt`; the file is then
    // left holding `current` with time `currentAt` (or removed when `current` is empty).
    QString revisionOf(const QString& file, const QByteArray& content, const QDateTime& savedAt)
    {
        EXPECT_TRUE(write(file, content));
        EXPECT_TRUE(setMtime(file, savedAt));
        EXPECT_TRUE(store.snapshotFile(file, 3, 1 << 30, 30));
        clock.advance(std::chrono::seconds(31));  // the next capture of the file is due
        const auto revisions = recovery.listRevisions(store.bucketURL(file));
        return revisions.isEmpty() ? QString() : revisions.first().id;
    }
    QStringList folder(const QString& file) const { return entries(QFileInfo(file).absolutePath()); }
};

TEST_F(Recovery, ListsProtectedFilesNewestFirst)
{
    EXPECT_TRUE(recovery.recoverableFiles().isEmpty());
    EXPECT_TRUE(WorkRecovery(Paths::home() + QStringLiteral("/nowhere"), clock).recoverableFiles().isEmpty());

    const QDateTime t = clock.now().addDays(-1);
    const QString a = docs + QStringLiteral("/a.md");
    const QString b = docs + QStringLiteral("/b.md");
    revisionOf(a, "a1", t);
    revisionOf(a, "a2 longer", t.addSecs(100));
    revisionOf(b, "b1", t.addSecs(50));
    // Not buckets, or empty ones: a plain file, a bucket with only its manifest, one with only
    // a sub-folder, one whose manifest is not UTF-8.
    const QString root = store.snapshotsRoot();
    ASSERT_TRUE(write(root + QStringLiteral("/stray.txt"), "x"));
    ASSERT_TRUE(write(root + QStringLiteral("/onlymanifest/manifest.txt"), "/x/y\n"));
    ASSERT_TRUE(write(root + QStringLiteral("/onlyfolder/manifest.txt"), "/x/z\n"));
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/onlyfolder/sub")));
    ASSERT_TRUE(write(root + QStringLiteral("/badmanifest/manifest.txt"), "\xff\xfe/x\n"));
    ASSERT_TRUE(write(root + QStringLiteral("/badmanifest/rev"), "x"));

    const auto files = recovery.recoverableFiles();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files[0].originalPath, a);  // the manifest's line feed is gone
    EXPECT_EQ(files[0].snapshotCount, 2);
    EXPECT_EQ(files[0].mostRecentAt, t.addSecs(100));
    EXPECT_EQ(files[0].mostRecentBytes, 9);
    EXPECT_EQ(read(files[0].mostRecentURL), "a2 longer");
    EXPECT_EQ(files[1].originalPath, b);

    // A hidden name is a revision still being written, even when it is the newest entry;
    // revisions come newest first.
    const QString hidden = store.bucketURL(a) + QStringLiteral("/.2026-12-09T07:48:03.512Z.md.tmp");
    ASSERT_TRUE(write(hidden, "torn"));
    ASSERT_TRUE(setMtime(hidden, t.addSecs(500)));
    const auto revisions = recovery.listRevisions(store.bucketURL(a));
    ASSERT_EQ(revisions.size(), 2);
    EXPECT_EQ(revisions[0].capturedAt, t.addSecs(100));
    EXPECT_EQ(revisions[1].capturedAt, t);
    EXPECT_EQ(recovery.recoverableFiles().first().mostRecentAt, t.addSecs(100));
    // A bucket holding only a temporary is not listed.
    const QString c = docs + QStringLiteral("/c.md");
    revisionOf(c, "c1", t);
    for (const auto& r : recovery.listRevisions(store.bucketURL(c)))
        ASSERT_EQ(::rename(QFile::encodeName(r.id).constData(),
                           QFile::encodeName(store.bucketURL(c) + QStringLiteral("/.partial")).constData()), 0);
    EXPECT_EQ(recovery.recoverableFiles().size(), 2);
}

// One row per state of the file at the target when a revision saved at T is restored.
TEST_F(Recovery, RestoreTable)
{
    struct Case {
        const char* name;
        int currentOffset;  // the current file's time relative to T; INT_MIN: no file, no folder
        bool force;
        Restore::Kind expected;
        bool backup;
    };
    const Case cases[] = {
        {"newer", 60, false, Restore::Kind::originalNewer, false},
        {"newer forced", 60, true, Restore::Kind::success, true},
        {"equal", 0, false, Restore::Kind::success, true},
        {"older", -60, false, Restore::Kind::success, true},
        {"missing with its folder", INT_MIN, false, Restore::Kind::success, false},
    };
    const QDateTime saved = clock.now().addDays(-2);
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = docs + QStringLiteral("/case%1/notes.txt").arg(n++);
        const QString revision = revisionOf(file, "snapshot", saved);
        ASSERT_FALSE(revision.isEmpty());
        if (c.currentOffset == INT_MIN) {
            ASSERT_TRUE(QDir(QFileInfo(file).absolutePath()).removeRecursively());
        } else {
            ASSERT_TRUE(write(file, "current"));
            ASSERT_TRUE(setMtime(file, saved.addSecs(c.currentOffset)));
        }

        const Restore r = recovery.restoreSnapshot(revision, std::nullopt, c.force);
        ASSERT_EQ(int(r.kind), int(c.expected)) << r.message.toStdString();
        const QString backup = file + QStringLiteral(".workguard-restore-%1.bak").arg(clock.now().toSecsSinceEpoch());
        if (c.expected == Restore::Kind::originalNewer) {
            EXPECT_EQ(r.originalMtime, saved.addSecs(60));
            EXPECT_EQ(r.snapshotMtime, saved);
            EXPECT_EQ(read(file), "current");
            EXPECT_EQ(folder(file), QStringList{QStringLiteral("notes.txt")});
            continue;
        }
        EXPECT_EQ(r.restoredTo, file);
        EXPECT_EQ(read(file), "snapshot");
        EXPECT_EQ(mtime(file), saved);
        EXPECT_EQ(read(revision), "snapshot");  // the revision stays in its bucket
        EXPECT_EQ(QFileInfo::exists(backup), c.backup);
        if (c.backup) {
            EXPECT_EQ(read(backup), "current");
        }
        // Nothing else is left beside the file: no temporary copy.
        EXPECT_EQ(folder(file).size(), c.backup ? 2 : 1) << folder(file).join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(lines.last(), QStringLiteral("[WorkGuard] restored snapshot ") + QFileInfo(revision).fileName() +
                                    QStringLiteral(" -> ") + file);
    }
}

TEST_F(Recovery, SecondRestoreInTheSameSecondReplacesNothing)
{
    const QString file = docs + QStringLiteral("/twice.txt");
    const QString revision = revisionOf(file, "snapshot", clock.now().addDays(-1));
    ASSERT_TRUE(write(file, "current"));

    ASSERT_EQ(int(recovery.restoreSnapshot(revision, std::nullopt, true).kind), int(Restore::Kind::success));
    const QStringList afterFirst = folder(file);
    const Restore second = recovery.restoreSnapshot(revision, std::nullopt, true);
    ASSERT_EQ(int(second.kind), int(Restore::Kind::failure));
    EXPECT_EQ(second.message, QStringLiteral("File exists"));
    EXPECT_EQ(folder(file), afterFirst);
    EXPECT_EQ(read(file), "snapshot");
    EXPECT_EQ(read(file + QStringLiteral(".workguard-restore-%1.bak").arg(clock.now().toSecsSinceEpoch())), "current");
}

TEST_F(Recovery, RefusesAManifestThatPointsElsewhere)
{
    const QString file = docs + QStringLiteral("/own.txt");
    const QString revision = revisionOf(file, "snapshot", clock.now().addDays(-1));
    const QString victim = Paths::home() + QStringLiteral("/.bashrc");
    ASSERT_TRUE(write(victim, "precious"));
    const QString manifest = store.bucketURL(file) + QStringLiteral("/manifest.txt");
    for (const QByteArray& planted : {victim.toUtf8(), QByteArray("relative/own.txt"),
                                      (docs + QStringLiteral("/../Documents/own.txt")).toUtf8()}) {
        SCOPED_TRACE(planted.constData());
        ASSERT_TRUE(write(manifest, planted + '\n'));
        const Restore r = recovery.restoreSnapshot(revision, std::nullopt, true);
        EXPECT_EQ(int(r.kind), int(Restore::Kind::failure));
        EXPECT_EQ(r.message, WorkRecovery::foreignManifestText);
    }
    EXPECT_EQ(read(victim), "precious");
    EXPECT_EQ(entries(Paths::home()).filter(QStringLiteral("workguard-restore")), QStringList());
}

TEST_F(Recovery, VanishedRevisionOrManifestFailsWithTheirTexts)
{
    const QString file = docs + QStringLiteral("/gone.txt");
    const QString revision = revisionOf(file, "snapshot", clock.now().addDays(-1));
    ASSERT_TRUE(QFile::remove(store.bucketURL(file) + QStringLiteral("/manifest.txt")));
    EXPECT_EQ(recovery.restoreSnapshot(revision, std::nullopt, false).message, WorkRecovery::noManifestText);
    ASSERT_TRUE(QFile::remove(revision));
    EXPECT_EQ(recovery.restoreSnapshot(revision, std::nullopt, false).message, WorkRecovery::noMtimeText);
    EXPECT_EQ(read(file), "snapshot");
}

TEST_F(Recovery, FailedCopyPutsTheUsersFileBack)
{
    const QString file = docs + QStringLiteral("/report.txt");
    const QByteArray big(512 * 1024, 'r');
    const QString revision = revisionOf(file, big, clock.now().addDays(-1));
    ASSERT_TRUE(write(file, "the user's current text"));
    const QDateTime currentTime = mtime(file);

    Restore r;
    {
        FileSizeLimit limit(100 * 1024);
        r = recovery.restoreSnapshot(revision, std::nullopt, true);
    }
    ASSERT_EQ(int(r.kind), int(Restore::Kind::failure));
    EXPECT_FALSE(r.message.isEmpty());
    EXPECT_EQ(read(file), "the user's current text");
    EXPECT_EQ(mtime(file), currentTime);
    EXPECT_EQ(folder(file), QStringList{QStringLiteral("report.txt")});
    EXPECT_EQ(read(revision), big);
}

TEST_F(Recovery, RestoresALargeSparseFileWithoutReadingItIn)
{
    const qint64 size = qint64(2) << 30;
    const QString file = docs + QStringLiteral("/disk.img");
    ASSERT_TRUE(sparse(file, size, "boot sector"));
    ASSERT_TRUE(store.snapshotFile(file, 3, size, 30));
    const QString revision = recovery.listRevisions(store.bucketURL(file)).first().id;
    ASSERT_TRUE(QFile::remove(file));

    struct rusage before;
    ::getrusage(RUSAGE_SELF, &before);
    const Restore r = recovery.restoreSnapshot(revision, std::nullopt, false);
    struct rusage after;
    ::getrusage(RUSAGE_SELF, &after);
    ASSERT_EQ(int(r.kind), int(Restore::Kind::success)) << r.message.toStdString();

    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_EQ(st.st_size, size);
    EXPECT_LT(qint64(st.st_blocks) * 512, qint64(64) << 20);  // still sparse on disk
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024);  // KiB: nothing near 2 GiB passed through memory
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.read(11), "boot sector");
}

// Names as users have them: blanks at either end (kept by the manifest as they are) and names
// so long that the backup's name has to be shortened to fit.
TEST_F(Recovery, EdgeBlanksAndLongNamesRestoreInPlace)
{
    const QString e = QString::fromUtf8("\xc3\xa9");  // two bytes in UTF-8
    struct Case {
        const char* what;
        QString name;
    };
    const Case cases[] = {
        {"trailing blank", QStringLiteral("notes.txt ")},
        {"leading blank", QStringLiteral(" notes.txt")},
        {"tab and blanks at both ends", QStringLiteral("\tdraft.md  ")},
        {"223 bytes", QString(220, QLatin1Char('a')) + QStringLiteral(".md")},
        {"255 bytes", QString(252, QLatin1Char('b')) + QStringLiteral(".md")},
        {"255 bytes of two-byte letters", e.repeated(126) + QStringLiteral(".md")},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = docs + QStringLiteral("/names%1/").arg(n++) + c.name;
        ASSERT_LE(QFile::encodeName(c.name).size(), NAME_MAX);
        const QString revision = revisionOf(file, QByteArray("saved ") + c.what, clock.now().addDays(-1));
        ASSERT_FALSE(revision.isEmpty());
        bool listed = false;
        for (const auto& f : recovery.recoverableFiles()) listed = listed || f.originalPath == file;
        EXPECT_TRUE(listed);
        ASSERT_TRUE(write(file, "current"));

        const Restore r = recovery.restoreSnapshot(revision, std::nullopt, true);
        ASSERT_EQ(int(r.kind), int(Restore::Kind::success)) << r.message.toStdString();
        EXPECT_EQ(r.restoredTo, file);
        EXPECT_EQ(read(file), QByteArray("saved ") + c.what);
        const QStringList beside = folder(file);
        ASSERT_EQ(beside.size(), 2) << beside.join(QLatin1Char('|')).toStdString();
        const QString backup = beside.at(beside.at(0) == c.name ? 1 : 0);
        EXPECT_TRUE(backup.endsWith(QStringLiteral(".workguard-restore-%1.bak").arg(clock.now().toSecsSinceEpoch())));
        EXPECT_TRUE(backup.startsWith(c.name.left(20)));
        EXPECT_LE(QFile::encodeName(backup).size(), NAME_MAX);
        EXPECT_EQ(read(QFileInfo(file).absolutePath() + QLatin1Char('/') + backup), "current");
    }
}

// A restore killed at any moment leaves the document whole at its path: the old text or the
// restored one, and the old text never lost.
TEST_F(Recovery, KillDuringRestoreNeverLeavesATornDocument)
{
    const QString file = docs + QStringLiteral("/kill/thesis.odt");
    const qsizetype size = qsizetype(4) << 20;
    const QByteArray saved(size, 's');
    const QByteArray current(size, 'c');
    const QString revision = revisionOf(file, saved, clock.now().addDays(-1));
    ASSERT_FALSE(revision.isEmpty());
    const QString backup = file + QStringLiteral(".workguard-restore-%1.bak").arg(clock.now().toSecsSinceEpoch());

    // One restore's time on this machine, to spread the kills over it and past its end.
    ASSERT_TRUE(write(file, current));
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(int(recovery.restoreSnapshot(revision, std::nullopt, true).kind), int(Restore::Kind::success));
    const qint64 restoreUs = std::max<qint64>(timer.nsecsElapsed() / 1000, 500);

    int killedBefore = 0, killedAfter = 0;
    const int rounds = 30;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        for (const QString& name : folder(file)) ASSERT_TRUE(QFile::remove(QFileInfo(file).absolutePath() + QLatin1Char('/') + name));
        ASSERT_TRUE(write(file, current));
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            (void)!::write(ready[1], "g", 1);
            recovery.restoreSnapshot(revision, std::nullopt, true);
            ::_exit(0);
        }
        ::close(ready[1]);
        char go;
        ASSERT_EQ(::read(ready[0], &go, 1), 1);
        ::close(ready[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(restoreUs * 3 * round / rounds));
        // On a machine busy with other work a restore can outlast every delay: the last round
        // then lets it end, so that the state after a whole restore is checked too.
        if (round < rounds - 1 || killedAfter > 0) ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);

        const QByteArray atPath = read(file);
        ASSERT_TRUE(atPath == current || atPath == saved) << "the path holds " << atPath.size() << " bytes";
        if (atPath == current) {
            ++killedBefore;
        } else {
            ++killedAfter;
            EXPECT_EQ(read(backup), current);  // the old text is kept whole
        }
        // Whatever else a kill left beside the file is a whole copy, never a part of one.
        for (const QString& name : folder(file)) {
            const QString path = QFileInfo(file).absolutePath() + QLatin1Char('/') + name;
            if (path != file && path != backup) EXPECT_EQ(read(path), saved) << name.toStdString();
        }
    }
    EXPECT_EQ(read(revision), saved);
    // The kills landed both before the restore was done and after.
    EXPECT_GT(killedBefore, 0);
    EXPECT_GT(killedAfter, 0);
}

}  // namespace
