#include "core/Log.h"
#include "core/Paths.h"
#include "guards/WorkSnapshotter.h"
#include "guards/GuardTestFiles.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>

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
        QStringList out = entries(store.bucketURL(file));
        out.removeAll(WorkSnapshotter::manifestName);
        return out;
    }
    bool snap(const QString& file, qint64 limit = kLimit) { return store.snapshotFile(file, 3, limit, 30); }
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

// A new revision needs the file to be more than 30 s newer than the newest revision's own
// source time, whenever that revision was taken.
TEST_F(Store, ThirtySecondRuleComparesSourceTimes)
{
    const QString file = docs + QStringLiteral("/notes.txt");
    const QDateTime t0 = clock.now().addSecs(-7200);
    ASSERT_TRUE(write(file, "v1"));
    ASSERT_TRUE(setMtime(file, t0));
    ASSERT_TRUE(snap(file));

    struct Case {
        int secondsAfterSource;
        bool expectRevision;
    };
    // Taken two hours after the source was saved: an edit 10 s after the source time is not
    // due, 30 s is not, 31 s is; the capture time plays no part.
    for (const Case c : {Case{0, false}, Case{10, false}, Case{30, false}, Case{31, true}}) {
        SCOPED_TRACE(c.secondsAfterSource);
        ASSERT_TRUE(write(file, "v" + QByteArray::number(c.secondsAfterSource)));
        ASSERT_TRUE(setMtime(file, t0.addSecs(c.secondsAfterSource)));
        clock.advance(std::chrono::seconds(1));
        EXPECT_EQ(snap(file), c.expectRevision);
    }
    EXPECT_EQ(revisions(file).size(), 2);
}

TEST_F(Store, KeepsTheThreeNewestRevisionsAndTrashesTheRest)
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
    EXPECT_EQ(trashed(), 1);
    EXPECT_EQ(read(Paths::trashDir() + QStringLiteral("/files/") + entries(Paths::trashDir() + "/files").first()), "version 0");
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
    EXPECT_FALSE(QFileInfo::exists(store.bucketURL(file) + QStringLiteral("/manifest.txt")));
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

TEST_F(Store, PrunesByAgeThenByCountOldestFirst)
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
    EXPECT_EQ(trashed(), 21);
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
}

}  // namespace
