// The Disk tab over a fixture home: the real cleaner scans and empties folders of the test's
// private home into its Trash, on the cleaner's worker.
#include "DashboardRig.h"
#include "actions/DiskCleaner.h"
#include "actions/EpitopeLibrary.h"
#include "core/ByteCountFormatter.h"
#include "core/Paths.h"
#include "core/Trash.h"
#include "support/StallWatch.h"
#include "ui/dashboard/DiskCleanerView.h"
#include "ui/dashboard/TextView.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace dashboard_rig;
using namespace DiskCleanerModel;

namespace {

constexpr qint64 MiB = 1024 * 1024;

void makeFile(const QString& path, qint64 bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    if (bytes > 0) ::posix_fallocate(fd, 0, bytes);
    ::close(fd);
}

uint64_t allocatedBelow(const QString& dir)
{
    uint64_t sum = 0;
    // Folders count too: their blocks go to the Trash with them.
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        struct stat st;
        if (::lstat(QFile::encodeName(it.next()).constData(), &st) == 0) sum += uint64_t(st.st_blocks) * 512u;
    }
    return sum;
}

CleanupTarget target(uint64_t bytes)
{
    CleanupTarget t;
    t.sizeBytes = bytes;
    return t;
}

}  // namespace

TEST(DiskCleanerModel, ContentStatesAndTexts)
{
    struct Case {
        bool scanning, cleaning, scanned, empty;
        Content want;
    };
    for (const Case& c : {Case{false, false, false, false, Content::prompt},  // earlier results do not show
                          Case{true, false, false, true, Content::scanning}, Case{true, true, true, false, Content::scanning},
                          Case{false, true, true, false, Content::cleaning}, Case{false, false, true, true, Content::clean},
                          Case{false, false, true, false, Content::results}})
        EXPECT_EQ(content(c.scanning, c.cleaning, c.scanned, c.empty), c.want)
            << c.scanning << c.cleaning << c.scanned << c.empty;

    const QList<CleanupTarget> list{target(3 * MiB), target(5 * MiB)};
    const QUuid gone = QUuid::createUuid();
    EXPECT_EQ(selectedBytes(list, {list[1].id, gone}), uint64_t(5 * MiB));  // a stale id adds nothing
    EXPECT_EQ(selectedBytes(list, {}), 0u);
    // Stale ids count towards "Deselect All".
    EXPECT_EQ(selectionButtonText(2, 2), QStringLiteral("Deselect All"));
    EXPECT_EQ(selectionButtonText(1, 2), QStringLiteral("Select All"));
    EXPECT_EQ(selectionButtonText(0, 0), QStringLiteral("Deselect All"));
    EXPECT_EQ(freeSpaceText(12.345), QStringLiteral("12.3 GB free on disk"));
    EXPECT_EQ(freeSpaceText(0), QStringLiteral("0.0 GB free on disk"));
    EXPECT_EQ(cleanButtonText(5 * MiB), QStringLiteral("Clean Selected (") + formatByteCount(5 * MiB) + ")");
    EXPECT_EQ(canFreeText(0), QStringLiteral("Can free: ") + formatByteCount(0));
    EXPECT_EQ(selectedText(MiB), QStringLiteral("Selected: ") + formatByteCount(MiB));
    EXPECT_TRUE(confirmMessage(MiB).contains(formatByteCount(MiB)));
    EXPECT_TRUE(confirmMessage(MiB).contains(QStringLiteral("Trash")));
}

TEST(DiskCleanerView, ScansSelectsAndMovesExactlyTheSelectedTargetsToTheTrash)
{
    Rig rig;
    DiskCleaner cleaner;
    EpitopeLibrary epitopes(rig.clock, rig.dir.path());
    const QString home = Paths::home();
    const QString npm = home + QStringLiteral("/.npm/_cacache");
    const QString yarn = home + QStringLiteral("/.cache/yarn");
    const QString pip = Paths::cacheHome() + QStringLiteral("/pip");
    makeFile(npm + QStringLiteral("/index/a.bin"), 12 * MiB);
    makeFile(npm + QStringLiteral("/b.bin"), 3 * MiB);
    makeFile(yarn + QStringLiteral("/c.bin"), 6 * MiB);
    makeFile(pip + QStringLiteral("/d.bin"), 2 * MiB);

    DiskCleanerView view(cleaner, rig.monitor, &epitopes, rig.themes);
    view.resize(800, 600);
    view.show();
    settle();
    EXPECT_EQ(view.content(), Content::prompt);
    EXPECT_TRUE(view.currentContent()->isVisible());
    EXPECT_FALSE(view.canFreeText()->isVisible());
    ASSERT_TRUE(saveTabShot(view, QStringLiteral("disk-empty")));

    QSignalSpy scanning(&cleaner, &DiskCleaner::isScanningChanged);
    view.scanButton()->click();
    ASSERT_TRUE(scanning.wait(5000));
    settle();
    if (cleaner.isScanning()) {
        EXPECT_EQ(view.content(), Content::scanning);
        ASSERT_TRUE(saveTabShot(view, QStringLiteral("disk-scanning")));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasScanned(); }, 10000));
    settle();
    ASSERT_EQ(view.content(), Content::results);
    ASSERT_EQ(view.rows().size(), 3);
    EXPECT_EQ(view.rows()[0]->target().path, npm);  // largest first
    EXPECT_TRUE(view.canFreeText()->isVisible());
    EXPECT_FALSE(view.cleanButton()->isEnabled());
    EXPECT_EQ(view.selectionButton()->text(), QStringLiteral("Select All"));

    // Pick npm and pip by clicking their rows.
    const uint64_t npmBytes = allocatedBelow(npm), pipBytes = allocatedBelow(pip), yarnBytes = allocatedBelow(yarn);
    for (CleanupTargetRow* row : view.rows())
        if (row->target().path != yarn) QTest::mouseClick(row, Qt::LeftButton);
    for (CleanupTargetRow* row : view.rows()) EXPECT_EQ(row->isSelected(), row->target().path != yarn);
    settle();
    EXPECT_EQ(view.selectedTargets().size(), 2);
    EXPECT_TRUE(view.cleanButton()->isEnabled());
    EXPECT_EQ(view.cleanButton()->text(), cleanButtonText(npmBytes + pipBytes));
    ASSERT_TRUE(saveTabShot(view, QStringLiteral("disk-results")));

    // Cancel changes nothing.
    view.cleanButton()->click();
    ASSERT_NE(view.confirmation(), nullptr);
    EXPECT_EQ(view.confirmation()->text(), confirmMessage(npmBytes + pipBytes));
    view.confirmation()->button(QMessageBox::Cancel)->click();
    settle();
    EXPECT_EQ(view.confirmation(), nullptr);
    EXPECT_EQ(allocatedBelow(npm), npmBytes);

    QSignalSpy finished(&view, &DiskCleanerView::cleanFinished);
    QSignalSpy cleaning(&cleaner, &DiskCleaner::isCleaningChanged);
    view.cleanButton()->click();
    ASSERT_NE(view.confirmation(), nullptr);
    for (QAbstractButton* b : view.confirmation()->buttons())
        if (b->text() == QStringLiteral("Clean")) b->click();
    ASSERT_TRUE(cleaning.wait(5000));
    settle();
    if (cleaner.isCleaning()) {
        EXPECT_EQ(view.content(), Content::cleaning);
        ASSERT_TRUE(saveTabShot(view, QStringLiteral("disk-cleaning")));
    }
    ASSERT_TRUE(finished.wait(10000));
    const uint64_t freed = finished.first().first().value<uint64_t>();

    // Exactly the selected folders were emptied; the folders themselves and yarn stay.
    EXPECT_TRUE(QDir(npm).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_TRUE(QDir(pip).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_EQ(allocatedBelow(yarn), yarnBytes);
    const QString trashFiles = Paths::trashDir() + QStringLiteral("/files");
    EXPECT_EQ(allocatedBelow(trashFiles), npmBytes + pipBytes);
    EXPECT_EQ(freed, npmBytes + pipBytes);
    EXPECT_EQ(view.freedText()->text(), freedText(npmBytes + pipBytes));
    EXPECT_TRUE(view.selectedTargets().isEmpty());

    const auto recorded = epitopes.epitope(QStringLiteral("manual:diskclean"));
    ASSERT_TRUE(recorded.has_value());
    EXPECT_EQ(recorded->displayName, QStringLiteral("Disk Cleanup"));
    EXPECT_EQ(recorded->metric, OutcomeMetric::diskFreedGB);

    // The rescan after the clean lists what is left: the Trash that now holds the moved items,
    // and yarn.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !cleaner.isScanning() && view.rows().size() == 2; }, 10000));
    settle();
    EXPECT_EQ(view.rows()[0]->target().category, CleanupCategory::trashBin);
    EXPECT_EQ(view.rows()[1]->target().path, yarn);
    EXPECT_EQ(view.freedText()->text(), QStringLiteral("Moved ") + formatByteCount(qint64(freed)) + " to the Trash");
    ASSERT_TRUE(saveTabShot(view, QStringLiteral("disk-done")));
}

TEST(DiskCleanerView, LinuxCachesAreListedAndTheTrashCannotBeSelected)
{
    Rig rig;
    DiskCleaner cleaner;
    const QString home = Paths::home();
    makeFile(home + QStringLiteral("/.cache/chromium/Default/Cache/Cache_Data/data_1"), 40 * MiB);
    makeFile(home + QStringLiteral("/.cache/mozilla/firefox/abcd.default-release/cache2/entries/E1"), 12 * MiB);
    makeFile(home + QStringLiteral("/.cache/thumbnails/large/0f3a.png"), 5 * MiB);
    const QString old = home + QStringLiteral("/old.iso");
    makeFile(old, 26 * MiB);
    ASSERT_TRUE(Trash::move(home, old).ok());

    DiskCleanerView view(cleaner, rig.monitor, nullptr, rig.themes);
    view.resize(800, 600);
    view.show();
    view.scanButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasScanned() && !cleaner.isScanning(); }, 10000));
    settle();
    QStringList names;
    for (CleanupTargetRow* row : view.rows()) names << row->target().name;
    ASSERT_EQ(names, (QStringList{"Chromium Cache", "Trash", "Firefox Cache", "Thumbnails"}));

    // The Trash shows its size and where it is emptied, but a click or "Select All" never picks it.
    CleanupTargetRow* trashRow = view.rows()[1];
    ASSERT_NE(trashRow->note(), nullptr);
    EXPECT_EQ(trashRow->note()->text(), trashNote);
    EXPECT_EQ(view.rows()[0]->note(), nullptr);
    QTest::mouseClick(trashRow, Qt::LeftButton);
    settle();
    EXPECT_FALSE(trashRow->isSelected());
    EXPECT_TRUE(view.selectedTargets().isEmpty());
    EXPECT_FALSE(view.cleanButton()->isEnabled());
    view.selectionButton()->click();
    settle();
    EXPECT_EQ(view.selectedTargets().size(), 3);
    EXPECT_FALSE(view.selectedTargets().contains(trashRow->target().id));
    EXPECT_FALSE(trashRow->isSelected());
    EXPECT_EQ(view.selectionButton()->text(), QStringLiteral("Deselect All"));
    EXPECT_EQ(view.cleanButton()->text(),
              cleanButtonText(view.rows()[0]->target().sizeBytes + view.rows()[2]->target().sizeBytes +
                              view.rows()[3]->target().sizeBytes));
    ASSERT_TRUE(saveTabShot(view, QStringLiteral("disk-linux-caches")));
}

TEST(DiskCleanerView, NothingAboveTheFloorReadsClean)
{
    Rig rig;
    DiskCleaner cleaner;
    DiskCleanerView view(cleaner, rig.monitor, nullptr, rig.themes);
    view.resize(800, 600);
    view.show();
    view.scanButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasScanned(); }, 10000));
    settle();
    EXPECT_EQ(view.content(), Content::clean);
    EXPECT_FALSE(view.canFreeText()->isVisible());
    ASSERT_TRUE(saveTabShot(view, QStringLiteral("disk-clean")));
}

TEST(DiskCleanerView, ScanningTwoHundredThousandFilesNeverHoldsTheWindow)
{
    Rig rig;
    DiskCleaner cleaner;
    // 200 folders of 1,000 files in one cache, and one large file so that it is listed.
    const QString cache = Paths::home() + QStringLiteral("/.npm/_cacache/content-v2");
    for (int d = 0; d < 200; ++d) {
        const QByteArray folder = QFile::encodeName(cache + QStringLiteral("/%1").arg(d, 3, 10, QLatin1Char('0')));
        ASSERT_TRUE(QDir().mkpath(QString::fromLocal8Bit(folder)));
        for (int f = 0; f < 1000; ++f) {
            const QByteArray path = folder + "/f" + QByteArray::number(f);
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            ASSERT_GE(fd, 0);
            ::close(fd);
        }
    }
    makeFile(cache + QStringLiteral("/big.bin"), 8 * MiB);

    DiskCleanerView view(cleaner, rig.monitor, nullptr, rig.themes);
    view.resize(800, 600);
    view.show();
    settle();
    view.scanButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasScanned(); }, 90000));
    settle();
    ASSERT_EQ(view.content(), Content::results);
    ASSERT_EQ(view.rows().size(), 1);
    EXPECT_EQ(view.rows()[0]->target().path, Paths::home() + QStringLiteral("/.npm/_cacache"));
    EXPECT_GE(view.rows()[0]->target().sizeBytes, uint64_t(8 * MiB));
    stall_watch::expectNoStall("scanning 200,000 files");
}
