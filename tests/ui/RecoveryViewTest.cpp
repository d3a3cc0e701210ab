#include "core/Paths.h"
#include "guards/WorkRecovery.h"
#include "guards/WorkSnapshotter.h"
#include "support/ManualClock.h"
#include "support/StallWatch.h"
#include "ui/recovery/RecoveryView.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimeZone>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

bool write(const QString& path, const QByteArray& content, const QDateTime& mtime)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size()) return false;
    f.close();
    const qint64 ms = mtime.toMSecsSinceEpoch();
    const struct timespec t[2] = {{ms / 1000, (ms % 1000) * 1000000}, {ms / 1000, (ms % 1000) * 1000000}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), t, 0) == 0;
}

QByteArray read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString screenshotPath(const QString& name)
{
    QDir().mkpath(QStringLiteral(VELTRANMOOR_SCREENSHOTS));
    return QDir(QStringLiteral(VELTRANMOOR_SCREENSHOTS)).filePath(name);
}

struct Recovery : ::testing::Test {
    ManualClock clock{QDateTime::currentDateTimeUtc()};
    WorkSnapshotter store{clock};
    WorkRecovery recovery{store.snapshotsRoot(), clock};
    QStringList revealed;
    QString report = Paths::home() + QStringLiteral("/Documents/Reports/q3 report.md");
    QString todo = Paths::home() + QStringLiteral("/Desktop/todo.txt");

    std::unique_ptr<RecoveryView> makeView()
    {
        auto view = std::make_unique<RecoveryView>(RecoveryView::Deps{
            .recovery = recovery, .clock = clock, .revealFile = [this](const QString& p) { revealed << p; }});
        return view;
    }
    // Saves `file` with `content`, `minutesAgo`, and snapshots it.
    void save(const QString& file, const QByteArray& content, int minutesAgo)
    {
        clock.advance(std::chrono::seconds(31));  // each capture 30 s after the last
        ASSERT_TRUE(write(file, content, clock.now().addSecs(-60 * minutesAgo)));
        ASSERT_TRUE(store.snapshotFile(file, 3, 1 << 30, 30));
    }
    static void settle(RecoveryView& view)
    {
        for (int i = 0; i < 500 && view.isBusy(); ++i) QTest::qWait(5);
        QTest::qWait(5);
        ASSERT_FALSE(view.isBusy());
    }
    static QStringList labels(QWidget* w)
    {
        QStringList out;
        for (QLabel* l : w->findChildren<QLabel*>()) out << l->text();
        return out;
    }
    static QMessageBox* waitForAlert(RecoveryView& view)
    {
        for (int i = 0; i < 500 && !(view.alert() && view.alert()->isVisible()); ++i) QTest::qWait(5);
        return view.alert();
    }
};

TEST_F(Recovery, EmptyStoreShowsThePlaceholder)
{
    auto view = makeView();
    view->show();
    settle(*view);
    EXPECT_EQ(view->fileList()->count(), 0);
    EXPECT_EQ(view->footerText(), QStringLiteral("0 files"));
    EXPECT_EQ(view->placeholderText(), RecoveryView::emptyText);
    EXPECT_EQ(view->windowTitle(), QStringLiteral("Work Guard \u2014 Recovery"));
    stall_watch::expectNoStall("showing an empty store");
}

TEST_F(Recovery, BrowseFilterAndSelect)
{
    save(todo, "buy milk", 90);
    save(report, "v1", 50);
    save(report, "v2", 40);
    save(report, "v3", 30);
    auto view = makeView();
    view->show();
    settle(*view);

    // The newest file and its newest revision are selected; both buttons work.
    ASSERT_EQ(view->entries().size(), 2);
    EXPECT_EQ(view->selectedBucket(), store.bucketURL(report));
    ASSERT_EQ(view->revisions().size(), 3);
    EXPECT_EQ(view->selectedRevision(), view->revisions().first().id);
    EXPECT_TRUE(view->restoreButton()->isEnabled());
    EXPECT_TRUE(view->revealButton()->isEnabled());
    EXPECT_TRUE(view->placeholderText().isEmpty());
    EXPECT_EQ(view->footerText(), QStringLiteral("2 files"));
    const QStringList rows = labels(view->fileList());
    EXPECT_TRUE(rows.contains(QStringLiteral("3 revs")));
    EXPECT_TRUE(rows.contains(QStringLiteral("1 rev")));
    EXPECT_TRUE(rows.contains(QStringLiteral("q3 report.md")));
    EXPECT_TRUE(rows.contains(QStringLiteral("30m ago")));
    EXPECT_TRUE(labels(view->revisionList()).contains(QStringLiteral("40m ago \u2014 2 bytes")));

    ASSERT_TRUE(view->grab().save(screenshotPath(QStringLiteral("recovery-window.png"))));

    QTest::keyClicks(view->filterField(), QStringLiteral("DOC"));
    ASSERT_EQ(view->filteredEntries().size(), 1);
    EXPECT_EQ(view->filteredEntries().first().originalPath, report);
    EXPECT_EQ(view->fileList()->count(), 1);
    EXPECT_EQ(view->footerText(), QStringLiteral("2 files"));
    view->setQuery(QStringLiteral(" "));
    EXPECT_EQ(view->fileList()->count(), 1);  // only the path holding a blank
    view->setQuery(QString());
    EXPECT_EQ(view->fileList()->count(), 2);

    view->revealSelected();
    EXPECT_EQ(revealed, QStringList{view->revisions().first().id});

    // Choosing the other file shows its one revision.
    view->fileList()->setCurrentRow(1);
    settle(*view);
    EXPECT_EQ(view->selectedBucket(), store.bucketURL(todo));
    EXPECT_EQ(view->revisions().size(), 1);
    stall_watch::expectNoStall("browsing");
}

TEST_F(Recovery, RestoreAsksBeforeReplacingANewerFile)
{
    save(report, "snapshot text", 60);
    ASSERT_TRUE(write(report, "newer text", clock.now().addSecs(-60)));
    auto view = makeView();
    view->show();
    settle(*view);

    QTest::mouseClick(view->restoreButton(), Qt::LeftButton);
    QMessageBox* alert = waitForAlert(*view);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), QStringLiteral("The current file is newer than this snapshot."));
    EXPECT_TRUE(alert->informativeText().startsWith(QStringLiteral("Current file modified: ")));
    EXPECT_TRUE(alert->informativeText().contains(QStringLiteral("\nSnapshot captured: ") +
                                                  RecoveryView::dateText(view->revisions().first().capturedAt)));
    alert->button(QMessageBox::Cancel)->click();
    settle(*view);
    EXPECT_EQ(read(report), "newer text");
    EXPECT_FALSE(view->restoreMessage());

    QTest::mouseClick(view->restoreButton(), Qt::LeftButton);
    alert = waitForAlert(*view);
    ASSERT_TRUE(alert);
    QAbstractButton* anyway = nullptr;
    for (QAbstractButton* b : alert->buttons()) {
        if (b->text() == QStringLiteral("Restore Anyway")) anyway = b;
    }
    ASSERT_TRUE(anyway);
    anyway->click();
    settle(*view);
    EXPECT_EQ(view->restoreMessage(), QStringLiteral("Restored to ") + report);
    EXPECT_EQ(read(report), "snapshot text");
    EXPECT_TRUE(labels(view.get()).contains(QStringLiteral("Restored to ") + report));

    // An older file is replaced without asking; a pruned revision says why it cannot be.
    ASSERT_TRUE(write(report, "older text", clock.now().addDays(-3)));
    clock.advance(std::chrono::seconds(5));
    QTest::mouseClick(view->restoreButton(), Qt::LeftButton);
    settle(*view);
    EXPECT_FALSE(view->alert());
    EXPECT_EQ(read(report), "snapshot text");
    ASSERT_TRUE(QFile::remove(*view->selectedRevision()));
    QTest::mouseClick(view->restoreButton(), Qt::LeftButton);
    settle(*view);
    EXPECT_EQ(view->restoreMessage(), QStringLiteral("Restore failed: Snapshot has no mtime"));
    stall_watch::expectNoStall("restoring");
}

TEST_F(Recovery, ChoosingAnotherFileClearsTheStatusLine)
{
    save(todo, "list", 90);
    save(report, "text", 30);
    ASSERT_TRUE(QFile::remove(report));
    auto view = makeView();
    view->show();
    settle(*view);
    // Return presses "Restore…"; the file is gone, so it is recreated without asking.
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    QTest::keyClick(view.get(), Qt::Key_Return);
    settle(*view);
    EXPECT_EQ(read(report), "text");
    ASSERT_TRUE(view->restoreMessage());
    view->selectBucket(store.bucketURL(todo));
    settle(*view);
    EXPECT_FALSE(view->restoreMessage());
    // A selection whose bucket is gone shows the hint.
    view->selectBucket(store.snapshotsRoot() + QStringLiteral("/0000000000000000"));
    settle(*view);
    EXPECT_EQ(view->placeholderText(), RecoveryView::selectText);
}

}  // namespace
