#include "core/Log.h"
#include "core/Paths.h"
#include "guards/WorkRecovery.h"
#include "guards/WorkSnapshotter.h"
#include "guards/GuardTestFiles.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QHash>
#include <QRegularExpression>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>

using namespace guard_files;

namespace {

constexpr qint64 kLimit = 26'214'400;

struct Store : ::testing::Test {
    ManualClock clock{QDateTime(QDate(2026, 12, 9), QTime(7, 48, 3, 512), QTimeZone::utc())};
    QString docs = Paths::home() + QStringLiteral("/Documents");
    WorkSnapshotter store{clock};
    QStringList lines;

    void SetUp() override
    {
        Log::setSink([this](const QString& l) { lines << l; });
    }
    void TearDown() override { Log::setSink({}); }

    QStringList revisions(const QString& file) const
    {
        QStringList out = entries(store.bucketURL(file)).filter(QRegularExpression(QStringLiteral("^[^.]")));
        out.removeAll(WorkSnapshotter::manifestName);
        return out;
    }
    bool snap(const QString& file, qint64 limit = kLimit) { return bool(store.snapshotFile(file, 3, limit, 30)); }
    int trashed() const { return entries(Paths::trashDir() + QStringLiteral("/files")).size(); }
};

TEST_F(Store, BucketIsNamedByTheHashOfThePath)
{
    const QString path = QStringLiteral("/home/ann/Documents/report.md");
    const QString expected = QString::fromLatin1(
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
    EXPECT_EQ(WorkSnapshotter::bucketName(path), expected);
    EXPECT_EQ(WorkSnapshotter::bucketName(path).size(), 16);
    EXPECT_NE(WorkSnapshotter::bucketName(path), WorkSnapshotter::bucketName(QStringLiteral("/home/ann/Documents/report.mD")));
    EXPECT_EQ(store.snapshotsRoot(), Paths::dataHome() + QStringLiteral("/Veltranmoor/Snapshots"));
}

TEST_F(Store, FirstSnapshotWritesRevisionWithSourceTimeAndManifest)
{
    const QString file = docs + QStringLiteral("/report.md");
    ASSERT_TRUE(write(file, "draft one"));
    const QDateTime edited = clock.now().addSecs(-3600);
    ASSERT_TRUE(setMtime(file, edited));

    ASSERT_TRUE(snap(file));
    const QString bucket = store.bucketURL(file);
    EXPECT_EQ(read(bucket + QStringLiteral("/manifest.txt")), file.toUtf8() + '\n');
    ASSERT_EQ(revisions(file), QStringList{QStringLiteral("2026-12-09T07:48:03.512Z.md")});
    const QString revision = bucket + QStringLiteral("/2026-12-09T07:48:03.512Z.md");
    EXPECT_EQ(read(revision), "draft one");
    EXPECT_EQ(mtime(revision), edited);
    EXPECT_EQ(store.countSnapshots(), 1);
}

TEST_F(Store, RevisionNamesKeepTheExtensionAsWritten)
{
    const QDateTime at = clock.now();
    EXPECT_EQ(WorkSnapshotter::revisionName(at, QStringLiteral("/d/Makefile")), QStringLiteral("2026-12-09T07:48:03.512Z"));
    EXPECT_EQ(WorkSnapshotter::revisionName(at, QStringLiteral("/d/Photo.JPG")), QStringLiteral("2026-12-09T07:48:03.512Z.JPG"));
    EXPECT_EQ(WorkSnapshotter::revisionName(at, QStringLiteral("/d/a.tar.gz")), QStringLiteral("2026-12-09T07:48:03.512Z.gz"));
    EXPECT_EQ(WorkSnapshotter::revisionName(at, QStringLiteral("/d/.bashrc")), QStringLiteral("2026-12-09T07:48:03.512Z"));
}

// The 30 s rule counts from the last capture and only delays: a change made sooner is
// deferred to 30 s after that capture, never dropped; a file as the newest revision holds it
// is not copied again.
TEST_F(Store, ThirtySecondRuleDelaysFromTheLastCapture)
{
    const QString file = docs + QStringLiteral("/notes.txt");
    const QDateTime t0 = clock.now().addSecs(-7200);
    ASSERT_TRUE(write(file, "v1"));
    ASSERT_TRUE(setMtime(file, t0));
    const QDateTime firstCapture = clock.now();
    ASSERT_TRUE(snap(file));

    using O = WorkSnapshotter::Outcome;
    struct Case {
        const char* content;      // nullptr: the file is left as it is
        int secondsAfterCapture;  // when the store is asked
        O outcome;
    };
    // Saved 10 s after the capture, 2 hours newer than the revision's own time: deferred,
    // whatever the file's time says, until 30 s after the capture.
    const Case cases[] = {
        {nullptr, 5, O::unchanged},
        {"v2", 10, O::deferred},
        {"v3", 29, O::deferred},
        {nullptr, 30, O::written},
        {nullptr, 45, O::unchanged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.secondsAfterCapture);
        if (c.content) {
            ASSERT_TRUE(write(file, c.content));
            ASSERT_TRUE(setMtime(file, t0.addSecs(c.secondsAfterCapture)));
        }
        clock.set(firstCapture.addSecs(c.secondsAfterCapture));
        const WorkSnapshotter::Result r = store.snapshotFile(file, 3, kLimit, 30);
        EXPECT_EQ(r.outcome, c.outcome);
        if (c.outcome == O::deferred) EXPECT_EQ(r.dueAt, firstCapture.addSecs(30));
    }
    const QStringList kept = revisions(file);
    ASSERT_EQ(kept.size(), 2);
    EXPECT_EQ(read(store.bucketURL(file) + QLatin1Char('/') + kept.last()), "v3");
    EXPECT_EQ(store.lastCaptureDate(store.bucketURL(file)), firstCapture.addSecs(30));
}

TEST_F(Store, KeepsTheThreeNewestRevisionsAndDeletesTheRest)
{
    const QString file = docs + QStringLiteral("/plan.md");
    const QDateTime t0 = clock.now().addDays(-1);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(write(file, "version " + QByteArray::number(i)));
        ASSERT_TRUE(setMtime(file, t0.addSecs(60 * i)));
        clock.advance(std::chrono::seconds(60));
        ASSERT_TRUE(snap(file)) << i;
    }
    const QStringList kept = revisions(file);
    ASSERT_EQ(kept.size(), 3);
    QStringList contents;
    for (const QString& r : kept) contents << QString::fromUtf8(read(store.bucketURL(file) + QLatin1Char('/') + r));
    contents.sort();
    EXPECT_EQ(contents, (QStringList{"version 1", "version 2", "version 3"}));
    // Our own copies: deleted, never put in the user's Trash.
    EXPECT_EQ(trashed(), 0);
}

TEST_F(Store, RefusesWhatItMustNotCopy)
{
    const QString exact = docs + QStringLiteral("/exact.bin");
    const QString over = docs + QStringLiteral("/over.bin");
    ASSERT_TRUE(sparse(exact, kLimit));
    ASSERT_TRUE(sparse(over, kLimit + 1));
    EXPECT_TRUE(snap(exact));
    EXPECT_FALSE(snap(over));
    EXPECT_FALSE(QFileInfo::exists(store.bucketURL(over) + QStringLiteral("/manifest.txt")));

    // Neither a missing file, a folder, nor a link is copied.
    EXPECT_FALSE(snap(docs + QStringLiteral("/missing.txt")));
    ASSERT_TRUE(QDir().mkpath(docs + QStringLiteral("/folder")));
    EXPECT_FALSE(snap(docs + QStringLiteral("/folder")));
    ASSERT_TRUE(QFile::link(exact, docs + QStringLiteral("/link.bin")));
    EXPECT_FALSE(snap(docs + QStringLiteral("/link.bin")));
    EXPECT_EQ(store.countSnapshots(), 1);
}

TEST_F(Store, FailedCopyLeavesTheBucketAsItWasAndSaysSo)
{
    const QString file = docs + QStringLiteral("/big.txt");
    ASSERT_TRUE(write(file, QByteArray(256 * 1024, 'x')));
    {
        FileSizeLimit limit(64 * 1024);
        EXPECT_FALSE(snap(file));
    }
    EXPECT_EQ(revisions(file), QStringList());
    EXPECT_FALSE(QFileInfo::exists(store.bucketURL(file))) << "no empty bucket is left behind";
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("[WorkGuard] snapshot failed for big.txt: "))) << lines.first().toStdString();
    EXPECT_TRUE(snap(file));  // and nothing stands in the way afterwards
}

// A bucket with `revisions` revision files, all entries dated `at`.
void plantBucket(const QString& root, const QString& name, int revisions, const QDateTime& at, qint64 bytes = 1)
{
    const QString bucket = root + QLatin1Char('/') + name;
    ASSERT_TRUE(write(bucket + QStringLiteral("/manifest.txt"), "/home/x/" + name.toUtf8() + '\n'));
    for (int i = 0; i < revisions; ++i) {
        const QString r = bucket + QStringLiteral("/rev") + QString::number(i);
        if (bytes > 1) {
            ASSERT_TRUE(sparse(r, bytes));
        } else {
            ASSERT_TRUE(write(r, "x"));
        }
        ASSERT_TRUE(setMtime(r, at));
    }
    ASSERT_TRUE(setMtime(bucket + QStringLiteral("/manifest.txt"), at));
}

TEST_F(Store, CountsRevisionsOnly)
{
    plantBucket(store.snapshotsRoot(), QStringLiteral("aaaa"), 3, clock.now());
    plantBucket(store.snapshotsRoot(), QStringLiteral("bbbb"), 1, clock.now());
    ASSERT_TRUE(write(store.snapshotsRoot() + QStringLiteral("/stray.txt"), "not a bucket"));
    EXPECT_EQ(store.countSnapshots(), 4);
}

TEST_F(Store, PrunesByAgeThenByCountOldestFirstOfEqualWorth)
{
    const QString root = store.snapshotsRoot();
    // 520 young buckets, one a minute apart, and one 8 days old.
    for (int i = 0; i < 520; ++i) plantBucket(root, QStringLiteral("b%1").arg(i, 3, 10, QLatin1Char('0')), 1, clock.now().addSecs(-60 * i));
    plantBucket(root, QStringLiteral("old"), 3, clock.now().addDays(-8));

    store.pruneByAgeAndCount(604'800, 500);
    const QStringList left = entries(root);
    EXPECT_EQ(left.size(), 500);
    EXPECT_FALSE(left.contains(QStringLiteral("old")));
    EXPECT_TRUE(left.contains(QStringLiteral("b499")));
    EXPECT_FALSE(left.contains(QStringLiteral("b500")));
    EXPECT_EQ(trashed(), 0);
}

TEST_F(Store, PrunesByTotalSizeOldestFirst)
{
    const QString root = store.snapshotsRoot();
    const qint64 mib = 1 << 20;
    // Six buckets of just under 100 MiB (sparse), a day apart: about 600 MiB.
    for (int i = 0; i < 6; ++i) plantBucket(root, QStringLiteral("s%1").arg(i), 1, clock.now().addDays(-i), 100 * mib - 4096);
    store.pruneByTotalBytes(524'288'000);
    EXPECT_EQ(entries(root), (QStringList{"s0", "s1", "s2", "s3", "s4"}));
    store.pruneByTotalBytes(524'288'000);
    EXPECT_EQ(entries(root).size(), 5);
    EXPECT_EQ(trashed(), 0);
}

// A bulk write must not evict the files the user saved: the prune drops bulk buckets first,
// then the ones worth least, then the oldest.
TEST_F(Store, PruneDropsBulkBucketsBeforeRecentSingleSaves)
{
    // Five documents saved by hand, the oldest buckets of the store.
    QStringList saved;
    for (int i = 0; i < 5; ++i) {
        saved << docs + QStringLiteral("/essay%1.md").arg(i);
        ASSERT_TRUE(write(saved.last(), "hand-written " + QByteArray::number(i)));
        ASSERT_TRUE(store.snapshotFile(saved.last(), 3, kLimit, 30, true));
    }
    // Then 520 files of a checkout, newer; one in ten worth more than the rest.
    QHash<QString, double> worth;
    for (int i = 0; i < 520; ++i) {
        const QString f = docs + QStringLiteral("/checkout/f%1.c").arg(i, 3, 10, QLatin1Char('0'));
        ASSERT_TRUE(write(f, "x"));
        worth[f] = i % 10 == 0 ? 0.9 : 0.1;
        ASSERT_TRUE(store.snapshotFile(f, 3, kLimit, 30, false));
    }
    store.setBucketValue([&](const QString& path) { return worth.value(path, 0.5); });

    store.pruneByAgeAndCount(604'800, 500);
    EXPECT_EQ(entries(store.snapshotsRoot()).size(), 500);
    for (const QString& f : saved) EXPECT_EQ(revisions(f).size(), 1) << f.toStdString();
    for (int i = 0; i < 520; i += 10) {
        EXPECT_EQ(revisions(docs + QStringLiteral("/checkout/f%1.c").arg(i, 3, 10, QLatin1Char('0'))).size(), 1) << i;
    }

    // Past a week a hand save no longer outranks the bulk buckets: worth decides.
    clock.advance(std::chrono::hours(24 * 8));
    store.setBucketValue([&](const QString& path) { return worth.value(path, 0.0); });
    store.pruneByAgeAndCount(1e9, 490);
    for (const QString& f : saved) EXPECT_TRUE(revisions(f).isEmpty()) << f.toStdString();
    EXPECT_EQ(trashed(), 0);
}

TEST_F(Store, SizePruneAlsoSparesRecentSingleSaves)
{
    const qint64 mib = 1 << 20;
    const QString mine = docs + QStringLiteral("/thesis.pdf");
    ASSERT_TRUE(sparse(mine, 20 * mib));
    ASSERT_TRUE(store.snapshotFile(mine, 3, kLimit, 30, true));
    for (int i = 0; i < 4; ++i) {
        const QString f = docs + QStringLiteral("/photos/p%1.jpg").arg(i);
        ASSERT_TRUE(sparse(f, 20 * mib));
        ASSERT_TRUE(store.snapshotFile(f, 3, kLimit, 30, false));
    }
    store.pruneByTotalBytes(50 * mib);
    EXPECT_EQ(revisions(mine).size(), 1);
    EXPECT_EQ(entries(store.snapshotsRoot()).size(), 2);
}

// Revisions appear whole or not at all: what a stop left half-written is hidden from
// readers and the count, and removed at start-up.
TEST_F(Store, HalfWrittenRevisionsAreNeverListedAndAreRemovedAtStart)
{
    const QString file = docs + QStringLiteral("/plan.md");
    ASSERT_TRUE(write(file, "whole"));
    ASSERT_TRUE(snap(file));
    const QString bucket = store.bucketURL(file);
    ASSERT_TRUE(write(bucket + QStringLiteral("/.partial-k3j2"), "tor"));
    WorkRecovery recovery(store.snapshotsRoot(), clock);
    ASSERT_EQ(recovery.listRevisions(bucket).size(), 1);
    EXPECT_EQ(read(recovery.listRevisions(bucket).first().id), "whole");
    EXPECT_EQ(store.countSnapshots(), 1);

    EXPECT_EQ(store.removeLeftovers(), 1);
    EXPECT_FALSE(QFileInfo::exists(bucket + QStringLiteral("/.partial-k3j2")));
    EXPECT_TRUE(QFileInfo::exists(bucket + QStringLiteral("/.single")));  // the store's own mark stays
}

// The store keeps max(1 GiB, 5 %) of its file system free: a snapshot that would go below
// waits, said once on the console and in the notice, and resumes when space is back.
TEST(StoreSpace, KeepsTheDisksLastGigabytesForTheUser)
{
    ManualClock clock;
    const qint64 gib = qint64(1) << 30;
    const qint64 mib = 1 << 20;
    WorkSnapshotter::Space space{};
    WorkSnapshotter store(clock, Paths::dataHome() + QStringLiteral("/space-store"), [&] { return std::optional(space); });
    QStringList lines;
    Log::setSink([&](const QString& l) { lines << l; });
    const QString file = Paths::home() + QStringLiteral("/Documents/report.docx");
    ASSERT_TRUE(sparse(file, 20 * mib));

    struct Case {
        qint64 total, available;
        bool written;
    };
    const Case cases[] = {
        {10 * gib, gib + 19 * mib, false},       // 1 GiB floor: 20 MiB would leave 1 GiB - 1 MiB
        {10 * gib, gib + 20 * mib, true},        // exactly the floor left
        {100 * gib, 5 * gib + 10 * mib, false},  // 5 % of 100 GiB is above 1 GiB
        {100 * gib, 6 * gib, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.available);
        space = {uint64_t(c.total), uint64_t(c.available)};
        clock.advance(std::chrono::minutes(1));
        ASSERT_TRUE(setMtime(file, clock.now()));  // saved again
        const auto r = store.snapshotFile(file, 3, 26'214'400, 30);
        EXPECT_EQ(bool(r), c.written);
        if (!c.written) EXPECT_EQ(r.outcome, WorkSnapshotter::Outcome::lowSpace);
        EXPECT_EQ(store.spaceNotice().has_value(), !c.written);
        // A second attempt while still short says nothing more.
        if (!c.written) EXPECT_FALSE(store.snapshotFile(file, 3, 26'214'400, 30));
    }
    Log::setSink({});
    EXPECT_EQ(lines.filter(QStringLiteral("snapshots paused")).size(), 2) << lines.join('\n').toStdString();
    EXPECT_EQ(store.countSnapshots(), 2);
}

// A process killed at any moment of a snapshot leaves no torn revision for readers.
TEST_F(Store, KillDuringSnapshotLeavesNoTornRevision)
{
    const QString file = docs + QStringLiteral("/video-notes.bin");
    QByteArray content(12 << 20, '\0');
    for (qsizetype i = 0; i < content.size(); i += 4096) content[i] = char(i / 4096);
    ASSERT_TRUE(write(file, content));
    const QString bucket = store.bucketURL(file);
    WorkRecovery recovery(store.snapshotsRoot(), clock);
    int killedMidWrite = 0;
    for (int round = 0; round < 30; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Snapshots the file over and over, each time as a new change.
            SystemClock real;
            WorkSnapshotter writer(real, store.snapshotsRoot());
            for (int i = 1;; ++i) {
                const struct timespec t[2] = {{1'700'000'000 + round * 1000 + i, 0}, {1'700'000'000 + round * 1000 + i, 0}};
                ::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), t, 0);
                writer.snapshotFile(file, 3, 26'214'400, 0);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + (round * 37) % 120));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        for (const QString& name : entries(bucket)) killedMidWrite += name.startsWith(WorkSnapshotter::partialPrefix);
        for (const auto& revision : recovery.listRevisions(bucket)) {
            ASSERT_EQ(QFileInfo(revision.id).size(), content.size()) << "round " << round;
            ASSERT_TRUE(read(revision.id) == content) << "round " << round;
        }
    }
    // Some kills must have landed mid-copy for the check to mean anything.
    EXPECT_GT(killedMidWrite, 0);
    store.removeLeftovers();
    for (const QString& name : entries(bucket)) EXPECT_FALSE(name.startsWith(WorkSnapshotter::partialPrefix));
}

}  // namespace
