#include "actions/DiskCleaner.h"
#include "actions/FixtureHome.h"
#include "core/Trash.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cmath>
#include <thread>

using fixture::home;
constexpr qint64 MiB = 1024 * 1024;

namespace {

QString pip() { return Paths::cacheHome() + QStringLiteral("/pip"); }
QString npm() { return home() + QStringLiteral("/.npm/_cacache"); }
QString yarn() { return home() + QStringLiteral("/.cache/yarn"); }
QString chrome() { return home() + QStringLiteral("/.cache/google-chrome"); }
QString archives() { return home() + QStringLiteral("/Library/Developer/Xcode/Archives"); }
QString docker() { return home() + QStringLiteral("/Library/Containers/com.docker.docker/Data/cache"); }
QString logs() { return Paths::stateHome(); }
QString huggingFace() { return home() + QStringLiteral("/.cache/huggingface"); }

QStringList names(const QList<CleanupTarget>& targets)
{
    QStringList out;
    for (const auto& t : targets) out << t.name;
    return out;
}

// Puts one item in the Trash the way a user would have, so the Trash row has content.
void trashSomething(qint64 bytes)
{
    const QString f = home() + QStringLiteral("/old-download.iso");
    fixture::file(f, bytes);
    ASSERT_TRUE(Trash::move(home(), f).ok());
}

// A log file of the given size, last written eight days ago (past the default seven).
void oldLog(const QString& path, qint64 bytes)
{
    fixture::file(path, bytes);
    fixture::setModified(path, QDateTime::currentDateTimeUtc().addDays(-8));
}

}  // namespace

TEST(DiskCleaner, TableFollowsTheXdgFoldersAndDropsRepeatedPaths)
{
    DiskCleaner cleaner;
    auto rowNames = [&] {
        QStringList out;
        for (const auto& row : cleaner.cleanupTargets()) out << row.name;
        return out;
    };
    // The test home keeps its cache in ~/.cache, so the second pip row repeats the first.
    EXPECT_EQ(rowNames(), (QStringList{"pip Cache", "npm Cache", "Yarn Cache", "Yarn Cache (alt)", "pnpm Store",
                                       "Homebrew Cache", "Xcode Derived Data", "Xcode Archives", "Chromium Cache",
                                       "Chrome Cache", "Chrome SW Cache", "Firefox Cache", "User Logs",
                                       "HuggingFace Cache", "Docker Cache", "Thumbnails", "Trash"}));
    EXPECT_EQ(cleaner.cleanupTargets().last().path, Paths::dataHome() + QStringLiteral("/Trash"));

    qputenv("XDG_CACHE_HOME", QFile::encodeName(home() + QStringLiteral("/elsewhere")));
    const auto rows = cleaner.cleanupTargets();
    ASSERT_EQ(rows.size(), 18);
    EXPECT_EQ(rows[0].path, home() + QStringLiteral("/elsewhere/pip"));
    EXPECT_EQ(rows[1].path, home() + QStringLiteral("/.cache/pip"));
    EXPECT_EQ(rows[1].name, QStringLiteral("pip Cache (alt)"));
}

TEST(DiskCleaner, DirectorySizeCountsAllocatedBytesBelowTheRootOnly)
{
    const QString root = home() + QStringLiteral("/tree");
    fixture::file(root + QStringLiteral("/a.bin"), 40000);
    fixture::file(root + QStringLiteral("/sub/deeper/b.bin"), 9000);
    fixture::file(root + QStringLiteral("/.hidden.bin"), 3 * MiB);
    fixture::file(root + QStringLiteral("/.git/objects/c.bin"), 3 * MiB);
    fixture::file(home() + QStringLiteral("/outside/big.bin"), 8 * MiB);
    ASSERT_EQ(symlink(QFile::encodeName(home() + QStringLiteral("/outside")).constData(),
                      QFile::encodeName(root + QStringLiteral("/link")).constData()),
              0);
    // A second name of the same file takes no further space.
    ASSERT_EQ(link(QFile::encodeName(root + QStringLiteral("/a.bin")).constData(),
                   QFile::encodeName(root + QStringLiteral("/sub/a-again.bin")).constData()),
              0);

    uint64_t expected = 0;
    for (const char* p : {"/a.bin", "/sub", "/sub/deeper", "/sub/deeper/b.bin", "/link"}) {
        expected += fixture::allocated(root + QLatin1String(p));
    }
    EXPECT_EQ(DiskCleaner::directorySize(root), expected);
    EXPECT_GE(DiskCleaner::measureTree(root, true).bytes, expected + 6 * MiB);

    // A root that is a link is not followed; a missing root or a file measures 0.
    ASSERT_EQ(symlink(QFile::encodeName(root).constData(), QFile::encodeName(home() + QStringLiteral("/tree-link")).constData()), 0);
    EXPECT_EQ(DiskCleaner::directorySize(home() + QStringLiteral("/tree-link")), 0u);
    EXPECT_EQ(DiskCleaner::directorySize(home() + QStringLiteral("/missing")), 0u);
    EXPECT_EQ(DiskCleaner::directorySize(root + QStringLiteral("/a.bin")), 0u);

    auto freeGiB = [](const QString& path) { return double(QStorageInfo(path).bytesAvailable()) / double(1ull << 30); };
    EXPECT_NEAR(DiskCleaner::freeDiskSpace(), freeGiB(home()), 0.5);
}

TEST(DiskCleaner, FreeSpaceIsThatOfTheHomeFileSystem)
{
    // A home on its own file system: the figure follows it, not "/".
    const QString shm = QStringLiteral("/dev/shm");
    auto freeGiB = [](const QString& path) { return double(QStorageInfo(path).bytesAvailable()) / double(1ull << 30); };
    if (QStorageInfo(shm).device() == QStorageInfo(QStringLiteral("/")).device() ||
        std::abs(freeGiB(shm) - freeGiB(QStringLiteral("/"))) < 2.0) {
        GTEST_SKIP() << "no tmpfs whose free space differs from that of /";
    }
    QTemporaryDir otherHome(shm + QStringLiteral("/veltranmoor-home-XXXXXX"));
    ASSERT_TRUE(otherHome.isValid());
    const QByteArray saved = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(otherHome.path()));
    const double free = DiskCleaner::freeDiskSpace();
    qputenv("HOME", saved);
    EXPECT_NEAR(free, freeGiB(shm), 0.5);
}

TEST(DiskCleaner, ScanListsTargetsOverOneMiBLargestFirstWithTheirDispositions)
{
    fixture::file(huggingFace() + QStringLiteral("/hub/model.bin"), 5 * MiB);
    fixture::file(pip() + QStringLiteral("/http/wheel"), 3 * MiB);
    // Equal sizes keep table order: npm before Yarn (alt).
    fixture::file(npm() + QStringLiteral("/blob"), 2 * MiB);
    fixture::file(yarn() + QStringLiteral("/blob"), 2 * MiB);
    oldLog(logs() + QStringLiteral("/app.log"), 2 * MiB);
    trashSomething(3 * MiB + 512 * 1024);
    // Exactly 1 MiB allocated stays off the list.
    fixture::file(chrome() + QStringLiteral("/data_0"), MiB);
    ASSERT_EQ(DiskCleaner::directorySize(chrome()), uint64_t(MiB));

    DiskCleaner cleaner;
    QSignalSpy published(&cleaner, &DiskCleaner::lastScanResultsChanged);
    const auto found = cleaner.scanTargets();
    EXPECT_EQ(names(found), (QStringList{"HuggingFace Cache", "Trash", "pip Cache", "npm Cache", "Yarn Cache (alt)",
                                         "User Logs"}));
    for (const auto& t : found) {
        EXPECT_TRUE(t.isSafe);
        EXPECT_EQ(t.sizeBytes, DiskCleaner::directorySize(t.path)) << t.name.toStdString();
    }
    EXPECT_EQ(cleaner.disposition(huggingFace()), DiskCleaner::Disposition::neverAuto);
    EXPECT_EQ(cleaner.disposition(Paths::trashDir()), DiskCleaner::Disposition::neverAuto);
    EXPECT_EQ(cleaner.disposition(pip()), DiskCleaner::Disposition::regenerable);
    EXPECT_FALSE(cleaner.disposition(chrome()).has_value());

    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(names(cleaner.lastScanResults()), names(found));
    uint64_t sum = 0;
    for (const auto& t : found) sum += t.sizeBytes;
    EXPECT_EQ(cleaner.reclaimableBytes(), sum);

    // One more allocated block puts it over the line.
    fixture::file(chrome() + QStringLiteral("/index"), 1);
    EXPECT_TRUE(names(cleaner.scanTargets()).contains(QStringLiteral("Chrome Cache")));
}

TEST(DiskCleaner, LinuxBrowserCachesAndThumbnailsAreFoundAndCleanedSafely)
{
    const QString chromium = home() + QStringLiteral("/.cache/chromium");
    const QString firefox = home() + QStringLiteral("/.cache/mozilla/firefox");
    const QString thumbnails = home() + QStringLiteral("/.cache/thumbnails");
    fixture::file(chromium + QStringLiteral("/Default/Cache/Cache_Data/data_1"), 4 * MiB);
    fixture::file(firefox + QStringLiteral("/abcd.default-release/cache2/entries/E1"), 3 * MiB);
    fixture::file(thumbnails + QStringLiteral("/large/0f3a.png"), 2 * MiB);

    DiskCleaner cleaner;
    const auto found = cleaner.scanTargets();
    ASSERT_EQ(names(found), (QStringList{"Chromium Cache", "Firefox Cache", "Thumbnails"}));
    EXPECT_EQ(found[0].category, CleanupCategory::chromeCache);
    EXPECT_EQ(found[1].category, CleanupCategory::safariCache);
    EXPECT_EQ(found[2].category, CleanupCategory::tempFiles);
    EXPECT_EQ(found[1].path, firefox);

    EXPECT_EQ(names(cleaner.cleanSafeTargets()), names(found));
    for (const QString& emptied : {chromium, firefox, thumbnails}) {
        EXPECT_TRUE(fixture::entries(emptied).isEmpty()) << emptied.toStdString();
    }
    const QStringList inTrash = fixture::entries(fixture::trashFiles());
    for (const char* item : {"Default", "abcd.default-release", "large"}) EXPECT_TRUE(inTrash.contains(QLatin1String(item))) << item;
}

TEST(DiskCleaner, CleanupsEmptyOnlyTheirCategoriesIntoTheFreedesktopTrash)
{
    fixture::file(pip() + QStringLiteral("/http/wheel"), 2 * MiB);
    fixture::file(pip() + QStringLiteral("/.selfcheck.json"), 4096);
    fixture::file(npm() + QStringLiteral("/index-v5/blob"), 2 * MiB);
    fixture::file(archives() + QStringLiteral("/App.xcarchive/payload"), 2 * MiB);
    fixture::file(docker() + QStringLiteral("/layer"), 2 * MiB);
    oldLog(logs() + QStringLiteral("/app.log"), 2 * MiB);
    fixture::file(huggingFace() + QStringLiteral("/model.bin"), 2 * MiB);
    trashSomething(2 * MiB);
    const QStringList trashBefore = fixture::entries(fixture::trashFiles());
    const uint64_t pipBytes = DiskCleaner::measureTree(pip(), true).bytes;

    DiskCleaner cleaner;
    const auto cleaned = cleaner.cleanSafeTargets();
    EXPECT_EQ(names(cleaned), (QStringList{"pip Cache", "npm Cache", "Xcode Archives"}));
    for (const QString& emptied : {pip(), npm(), archives()}) {
        EXPECT_TRUE(QFileInfo(emptied).isDir()) << emptied.toStdString();
        EXPECT_TRUE(fixture::entries(emptied).isEmpty()) << emptied.toStdString();
    }
    // Hidden entries go with the rest, and what was moved is what is reported.
    EXPECT_EQ(cleaned[0].sizeBytes, pipBytes);
    const QStringList inTrash = fixture::entries(fixture::trashFiles());
    for (const char* item : {"http", ".selfcheck.json", "index-v5", "App.xcarchive"}) {
        EXPECT_TRUE(inTrash.contains(QLatin1String(item))) << item;
        EXPECT_TRUE(QFile::exists(fixture::trashInfo() + QLatin1Char('/') + QLatin1String(item) +
                                  QStringLiteral(".trashinfo")))
            << item;
    }
    EXPECT_TRUE(QFile::exists(fixture::trashFiles() + QStringLiteral("/http/wheel")));
    for (const QString& kept : {docker() + "/layer", logs() + "/app.log", huggingFace() + "/model.bin"}) {
        EXPECT_TRUE(QFile::exists(kept)) << kept.toStdString();
    }
    for (const QString& item : trashBefore) EXPECT_TRUE(inTrash.contains(item));

    // The emergency cleanup also takes Docker's cache; logs, models and the Trash stay.
    fixture::file(pip() + QStringLiteral("/http/again"), 2 * MiB);
    const auto emergency = cleaner.emergencyCleanup();
    EXPECT_EQ(names(emergency), (QStringList{"pip Cache", "Docker Cache"}));
    EXPECT_FALSE(QFile::exists(docker() + QStringLiteral("/layer")));
    EXPECT_TRUE(QFile::exists(logs() + QStringLiteral("/app.log")));
    EXPECT_TRUE(QFile::exists(huggingFace() + QStringLiteral("/model.bin")));
    EXPECT_TRUE(fixture::entries(fixture::trashFiles()).size() >= trashBefore.size() + 6);

    // With nothing left over 1 MiB both cleanups find nothing.
    EXPECT_TRUE(cleaner.cleanSafeTargets().isEmpty());
    EXPECT_TRUE(cleaner.emergencyCleanup().isEmpty());
}

TEST(DiskCleaner, TheLogsRowTakesOnlyOldLogFilesBelowTheStateAndCacheFolders)
{
    const QString state = Paths::stateHome() + QStringLiteral("/editor");
    const QString cache = Paths::cacheHome() + QStringLiteral("/someapp");
    const QString olds[] = {state + QStringLiteral("/old.log"), cache + QStringLiteral("/run.log.1.gz")};
    for (const QString& f : olds) oldLog(f, MiB);
    // Recent logs, old files that are not logs by name, and the state they sit beside stay.
    fixture::file(state + QStringLiteral("/new.log"), 2 * MiB);
    fixture::setModified(state + QStringLiteral("/new.log"), QDateTime::currentDateTimeUtc().addDays(-3));
    oldLog(state + QStringLiteral("/history.db"), MiB);
    oldLog(cache + QStringLiteral("/logbook"), MiB);
    oldLog(cache + QStringLiteral("/run.log.bak"), MiB);

    DiskCleaner cleaner;
    ASSERT_EQ(cleaner.logCleanupDays(), 7);
    const auto row = [&] {
        for (const CleanupTarget& t : cleaner.scanTargets()) {
            if (t.category == CleanupCategory::systemLogs) return std::optional<CleanupTarget>(t);
        }
        return std::optional<CleanupTarget>();
    };
    const std::optional<CleanupTarget> logsRow = row();
    ASSERT_TRUE(logsRow.has_value());
    EXPECT_EQ(logsRow->name, QStringLiteral("User Logs"));
    EXPECT_EQ(logsRow->sizeBytes, fixture::allocated(olds[0]) + fixture::allocated(olds[1]));

    // The state folder itself is never emptied, whatever asks.
    EXPECT_FALSE(cleaner.removeContents(Paths::stateHome()));
    // Neither the safe nor the emergency cleanup touches logs.
    cleaner.cleanSafeTargets();
    cleaner.emergencyCleanup();
    for (const QString& f : olds) EXPECT_TRUE(QFile::exists(f)) << f.toStdString();

    const DiskCleaner::Removal removal = cleaner.cleanTarget(*logsRow);
    EXPECT_TRUE(removal);
    EXPECT_EQ(removal.itemsMoved, 2);
    EXPECT_EQ(removal.bytesMoved, logsRow->sizeBytes);
    for (const QString& f : olds) EXPECT_FALSE(QFile::exists(f)) << f.toStdString();
    const QStringList inTrash = fixture::entries(fixture::trashFiles());
    EXPECT_TRUE(inTrash.contains(QStringLiteral("old.log")));
    EXPECT_TRUE(inTrash.contains(QStringLiteral("run.log.1.gz")));
    for (const char* kept : {"/new.log", "/history.db"}) EXPECT_TRUE(QFile::exists(state + QLatin1String(kept))) << kept;
    for (const char* kept : {"/logbook", "/run.log.bak"}) EXPECT_TRUE(QFile::exists(cache + QLatin1String(kept))) << kept;

    // The age follows the setting: at two days the three-day-old log is old too.
    EXPECT_FALSE(row().has_value());
    cleaner.setLogCleanupDays(2);
    const std::optional<CleanupTarget> again = row();
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(cleaner.cleanTarget(*again).itemsMoved, 1);
    EXPECT_FALSE(QFile::exists(state + QStringLiteral("/new.log")));
}

TEST(DiskCleaner, RefusesEveryRootOutsideTheTableAndTheTrashItself)
{
    DiskCleaner cleaner;
    fixture::file(home() + QStringLiteral("/Documents/thesis.tex"), 100);
    fixture::file(home() + QStringLiteral("/elsewhere/keep.bin"), 100);
    QDir().mkpath(pip());
    QDir().mkpath(home() + QStringLiteral("/.cache"));
    ASSERT_EQ(symlink(QFile::encodeName(home() + QStringLiteral("/elsewhere")).constData(), QFile::encodeName(yarn()).constData()), 0);
    trashSomething(4096);
    const QStringList trashBefore = fixture::entries(fixture::trashFiles());

    const QStringList refused = {
        QStringLiteral("/"),
        home(),
        home() + QStringLiteral("/"),
        QStringLiteral("~"),
        pip() + QStringLiteral("/.."),
        QStringLiteral("a"),
        QStringLiteral("tmp"),
        QDir::cleanPath(home() + QStringLiteral("/..")),
        home() + QStringLiteral("/Documents"),
        Paths::trashDir(),
        Paths::trashDir() + QStringLiteral("/files"),
        Paths::dataHome(),
        yarn(),                                    // a table row that is a link elsewhere
        home() + QStringLiteral("/.npm/_cacache"),  // in the table but missing
    };
    for (const QString& path : refused) EXPECT_FALSE(cleaner.removeContents(path)) << path.toStdString();
    EXPECT_TRUE(QFile::exists(home() + QStringLiteral("/Documents/thesis.tex")));
    EXPECT_TRUE(QFile::exists(home() + QStringLiteral("/elsewhere/keep.bin")));
    EXPECT_EQ(fixture::entries(fixture::trashFiles()), trashBefore);

    const auto empty = cleaner.removeContents(QStringLiteral("~/.cache/./pip"));
    EXPECT_TRUE(empty);
    EXPECT_EQ(empty.itemsMoved, 0);

    // cleanTarget refuses the Trash row and any target that points at the Trash.
    CleanupTarget trashRow;
    trashRow.category = CleanupCategory::trashBin;
    trashRow.path = pip();
    EXPECT_FALSE(cleaner.cleanTarget(trashRow));
    for (const QString& path : {Paths::trashDir() + "/", Paths::dataHome() + "/./Trash", home() + "/.Trash/"}) {
        CleanupTarget disguised;
        disguised.category = CleanupCategory::pipCache;
        disguised.path = path;
        EXPECT_FALSE(cleaner.cleanTarget(disguised)) << path.toStdString();
    }
    EXPECT_EQ(fixture::entries(fixture::trashFiles()), trashBefore);
}

TEST(DiskCleaner, ALinkInsideATargetGoesToTheTrashAsALinkAndItsDestinationStays)
{
    const QString outside = home() + QStringLiteral("/Projects/model");
    fixture::file(outside + QStringLiteral("/weights.bin"), 3 * MiB);
    fixture::file(huggingFace() + QStringLiteral("/blob"), 2 * MiB);
    ASSERT_EQ(symlink(QFile::encodeName(outside).constData(),
                      QFile::encodeName(huggingFace() + QStringLiteral("/linked-model")).constData()),
              0);

    DiskCleaner cleaner;
    const uint64_t linkBytes = fixture::allocated(huggingFace() + QStringLiteral("/linked-model"));
    const uint64_t blobBytes = fixture::allocated(huggingFace() + QStringLiteral("/blob"));
    CleanupTarget target;
    target.category = CleanupCategory::huggingFace;
    target.path = huggingFace();
    const auto removal = cleaner.cleanTarget(target);
    ASSERT_TRUE(removal);
    EXPECT_EQ(removal.itemsMoved, 2);
    EXPECT_EQ(removal.bytesMoved, linkBytes + blobBytes);

    const QFileInfo trashed(fixture::trashFiles() + QStringLiteral("/linked-model"));
    EXPECT_TRUE(trashed.isSymLink());
    EXPECT_EQ(trashed.symLinkTarget(), outside);
    EXPECT_TRUE(QFile::exists(outside + QStringLiteral("/weights.bin")));
    EXPECT_EQ(fixture::allocated(outside + QStringLiteral("/weights.bin")), uint64_t(3 * MiB));
}

TEST(DiskCleaner, AnUnreadableFolderIsSkippedAndReportedNotFatal)
{
    const QString locked = pip() + QStringLiteral("/locked");
    fixture::file(locked + QStringLiteral("/secret.bin"), 4 * MiB);
    fixture::file(pip() + QStringLiteral("/wheels/ok.bin"), 2 * MiB);
    fixture::file(npm() + QStringLiteral("/blob"), 2 * MiB);
    ASSERT_EQ(chmod(QFile::encodeName(locked).constData(), 0), 0);
    struct Restore {
        QString path;
        ~Restore() { chmod(QFile::encodeName(path).constData(), 0700); }
    } restore{locked};
    if (!fixture::dropFilePrivileges() || fixture::canList(locked)) GTEST_SKIP() << "cannot make a folder unreadable here";

    DiskCleaner cleaner;
    const auto found = cleaner.scanTargets();
    ASSERT_EQ(names(found), (QStringList{"pip Cache", "npm Cache"}));
    EXPECT_LT(found[0].sizeBytes, uint64_t(3 * MiB));  // the locked 4 MiB are not counted
    EXPECT_EQ(cleaner.skippedPaths(), QStringList{locked});

    const auto cleaned = cleaner.cleanSafeTargets();
    ASSERT_EQ(names(cleaned), (QStringList{"pip Cache", "npm Cache"}));
    EXPECT_EQ(cleaned[0].sizeBytes, DiskCleaner::measureTree(fixture::trashFiles() + QStringLiteral("/wheels"), true).bytes +
                                        fixture::allocated(fixture::trashFiles() + QStringLiteral("/wheels")));
    EXPECT_TRUE(QFile::exists(fixture::trashFiles() + QStringLiteral("/wheels/ok.bin")));
    // The folder it could not read could not be moved either: it stays, and is reported.
    EXPECT_TRUE(QFileInfo::exists(locked));
    EXPECT_FALSE(QFile::exists(fixture::trashInfo() + QStringLiteral("/locked.trashinfo")));
    EXPECT_TRUE(cleaner.skippedPaths().contains(locked));
    const auto again = cleaner.removeContents(pip());
    EXPECT_TRUE(again);
    EXPECT_EQ(again.itemsMoved, 0);
    EXPECT_EQ(again.bytesMoved, 0u);
    EXPECT_EQ(again.failed, QStringList{locked});
}

TEST(DiskCleaner, BackgroundWorkPublishesOnTheMainThread)
{
    fixture::file(pip() + QStringLiteral("/wheel"), 2 * MiB);
    DiskCleaner cleaner;
    QList<bool> scanning;
    QObject::connect(&cleaner, &DiskCleaner::isScanningChanged, [&] {
        EXPECT_EQ(QThread::currentThread(), cleaner.thread());
        scanning << cleaner.isScanning();
    });
    std::optional<QList<CleanupTarget>> scanned;
    cleaner.scanInBackground([&](QList<CleanupTarget> found) {
        EXPECT_EQ(QThread::currentThread(), cleaner.thread());
        scanned = found;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return scanned.has_value(); }, 10000));
    EXPECT_EQ(names(*scanned), QStringList{"pip Cache"});
    EXPECT_EQ(names(cleaner.lastScanResults()), QStringList{"pip Cache"});
    EXPECT_EQ(scanning, (QList<bool>{true, false}));

    std::optional<QList<CleanupTarget>> cleaned;
    cleaner.cleanInBackground(*scanned, [&](QList<CleanupTarget> done) { cleaned = done; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return cleaned.has_value(); }, 10000));
    ASSERT_EQ(names(*cleaned), QStringList{"pip Cache"});
    EXPECT_EQ(cleaned->first().sizeBytes, fixture::allocated(fixture::trashFiles() + QStringLiteral("/wheel")));
    EXPECT_FALSE(QFile::exists(pip() + QStringLiteral("/wheel")));

    // An automatic cleanup from another thread flips isCleaning on the main thread.
    QList<bool> cleaning;
    QObject::connect(&cleaner, &DiskCleaner::isCleaningChanged, [&] { cleaning << cleaner.isCleaning(); });
    std::atomic<bool> finished = false;
    std::thread worker([&] {
        cleaner.emergencyCleanup();
        finished = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished && cleaning.size() == 2; }, 10000));
    worker.join();
    EXPECT_EQ(cleaning, (QList<bool>{true, false}));
}
