// The History and Processes tabs inside the dashboard, over real managers: what they list as the
// monitor publishes, and the process buttons acting on children the tests start.
#include "DashboardRig.h"
#include "support/ChildProcess.h"
#include "ui/dashboard/ActionHistoryRow.h"
#include "ui/dashboard/DetailedView.h"
#include "ui/dashboard/HistoryTab.h"
#include "ui/dashboard/NamedColor.h"
#include "ui/dashboard/ProcessRow.h"
#include "ui/dashboard/ProcessesTab.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/ProcessListModel.h"
#include "ui/dashboard/TextView.h"

#include "platform/linux/LinuxProcessControl.h"
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QListView>
#include <QSignalSpy>
#include <QTest>
#include <csignal>

using namespace dashboard_rig;
using Type = ActionRecord::ActionType;

namespace {

class Tabs : public ::testing::Test {
protected:
    Rig rig;
    DetailedView view{rig.env()};

    void SetUp() override
    {
        view.resize(DetailedView::defaultWindowSize);
        view.show();
        settle();
    }

    HistoryTab* history()
    {
        view.selectTab(DashboardTab::history);
        settle();
        return qobject_cast<HistoryTab*>(view.tabView());
    }
    ProcessesTab* processes()
    {
        view.selectTab(DashboardTab::processes);
        settle();
        return qobject_cast<ProcessesTab*>(view.tabView());
    }
    void publishProcesses(const QList<ProcessInfoItem>& list)
    {
        Sample s;
        s.snapshot = rig.monitor.currentSnapshot();
        s.snapshot.topProcesses = list;
        s.health = rig.monitor.currentHealth();
        rig.monitor.applySample(s);
        settle();
    }
    ActionRecord record(Type type, bool automatic, const QString& target = u"Safari"_qs)
    {
        return ActionRecord::make(type, target, u"CPU 95%"_qs, rig.clock.now(), automatic);
    }
    // The history row at `row` as the delegate lays it out in the list.
    ActionHistoryRow::Layout historyLayout(HistoryTab* tab, int row)
    {
        const QModelIndex index = tab->items().index(row);
        return ActionHistoryRow::layout(ActionHistoryModel::row(tab->items().item(row), QLocale::system()),
                                        tab->list()->visualRect(index));
    }
    // Clicks the throttle or kill button of the process row at `row`.
    void clickProcessButton(ProcessesTab* tab, int row, ProcessRow::Button button)
    {
        const QModelIndex index = tab->items().index(row);
        const ProcessRow::Layout l = ProcessRow::layout(tab->items().item(row), tab->list()->visualRect(index));
        const QRect target = button == ProcessRow::Button::throttle ? l.throttle : l.kill;
        ASSERT_FALSE(target.isEmpty());
        QTest::mouseClick(tab->list()->viewport(), Qt::LeftButton, {}, target.center());
    }
    // The colour the list painted at `point` of its viewport.
    static QColor pixel(QAbstractItemView* list, QPoint point)
    {
        return list->viewport()->grab().toImage().pixelColor(point * list->viewport()->devicePixelRatioF());
    }
};

}  // namespace

TEST_F(Tabs, HistoryShowsTheEmptyStateThenTheNewestRecordFirst)
{
    HistoryTab* tab = history();
    ASSERT_TRUE(tab);
    EXPECT_EQ(tab->countText()->text(), u"0 actions"_qs);
    EXPECT_TRUE(tab->emptyState()->isVisible());
    EXPECT_FALSE(tab->list()->isVisible());
    EXPECT_EQ(tab->items().rowCount(), 0);

    rig.monitor.logAction(record(Type::processThrottled, false));
    settle();
    EXPECT_EQ(tab->countText()->text(), u"1 action"_qs);
    EXPECT_FALSE(tab->emptyState()->isVisible());
    EXPECT_TRUE(tab->list()->isVisible());
    ASSERT_EQ(tab->items().rowCount(), 1);
    EXPECT_TRUE(historyLayout(tab, 0).tag.isEmpty());
    EXPECT_EQ(historyLayout(tab, 0).subtitleLines, QStringList{u"Safari — CPU 95%"_qs});

    // The next record is one inserted row at the top; the row below is the same row, moved.
    QSignalSpy inserted(&tab->items(), &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&tab->items(), &QAbstractItemModel::modelReset);
    const QPersistentModelIndex first(tab->items().index(0));
    rig.monitor.logAction(record(Type::emergencyCleanup, true, u"Caches"_qs));
    settle();
    ASSERT_EQ(tab->items().rowCount(), 2);
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 0);
    EXPECT_EQ(reset.size(), 0);
    EXPECT_EQ(first.row(), 1);
    const ActionHistoryModel::Row top = ActionHistoryModel::row(tab->items().item(0), QLocale::system());
    EXPECT_EQ(top.title, u"Emergency Cleanup"_qs);
    EXPECT_EQ(top.style.symbol, u"exclamationmark.triangle.fill"_qs);
    const ActionHistoryRow::Layout l = historyLayout(tab, 0);
    ASSERT_FALSE(l.tag.isEmpty());
    EXPECT_GT(l.tag.left(), l.title.right()) << "the tag stands right of the name";
    EXPECT_GT(l.time.left(), l.subtitle.left());
    EXPECT_NE(pixel(tab->list(), QPoint(l.tag.left() + 2, l.tag.center().y())).rgb(),
              pixel(tab->list(), QPoint(l.tag.right() + 4, l.tag.center().y())).rgb())
        << "the tag's plate is painted";
    EXPECT_EQ(tab->items().item(1).action, Type::processThrottled);
}

TEST_F(Tabs, HistoryKeepsFiveHundredAndCutsALongDetailAtTwoLines)
{
    for (int i = 0; i < 500; ++i) rig.monitor.logAction(record(Type::systemCheck, true, QString::number(i)));
    HistoryTab* tab = history();
    EXPECT_EQ(tab->countText()->text(), u"500 actions"_qs);
    EXPECT_EQ(tab->items().rowCount(), 500);
    const int oneLineHeight = tab->list()->visualRect(tab->items().index(0)).height();
    QSignalSpy inserted(&tab->items(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&tab->items(), &QAbstractItemModel::rowsRemoved);
    const QString longDetail = u"word "_qs.repeated(200);
    rig.monitor.logAction(ActionRecord::make(Type::memoryFreed, u"newest"_qs, longDetail, rig.clock.now(), false));
    settle();
    EXPECT_EQ(tab->countText()->text(), u"500 actions"_qs);
    ASSERT_EQ(tab->items().rowCount(), 500);
    EXPECT_EQ(inserted.size(), 1);
    ASSERT_EQ(removed.size(), 1);
    EXPECT_EQ(removed[0][1].toInt(), 499);
    EXPECT_EQ(tab->items().item(0).target, u"newest"_qs);
    EXPECT_EQ(tab->items().item(499).target, u"1"_qs) << "the oldest (\"0\") went";

    const ActionHistoryRow::Layout l = historyLayout(tab, 0);
    ASSERT_EQ(l.subtitleLines.size(), 2);
    EXPECT_TRUE(l.subtitleLines[1].endsWith(QChar(0x2026))) << l.subtitleLines[1].toStdString();
    EXPECT_EQ(tab->list()->visualRect(tab->items().index(0)).height() - oneLineHeight,
              QFontMetrics(DashboardStyle::font(11)).lineSpacing())
        << "a two-line row is one line taller";
}

TEST_F(Tabs, PaletteChangeRecoloursTheTitleButNotTheTypeIcons)
{
    rig.monitor.logAction(record(Type::processKilled, true));
    HistoryTab* tab = history();
    // Some pixel of the icon is the fixed red (the grab includes the palette's background).
    auto iconIsRed = [&] {
        const QRect icon = historyLayout(tab, 0).icon;
        const QImage img = tab->list()->viewport()->grab(icon).toImage().convertToFormat(QImage::Format_RGB32);
        const QColor red = namedColor(NamedColor::red);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb px = img.pixel(x, y);
                if (std::abs(qRed(px) - red.red()) < 8 && std::abs(qGreen(px) - red.green()) < 8 &&
                    std::abs(qBlue(px) - red.blue()) < 8)
                    return true;
            }
        return false;
    };
    EXPECT_EQ(tab->titleText()->color(), rig.themes.current().accent);
    EXPECT_TRUE(iconIsRed());
    PaletteTheme other = PaletteTheme::all().first();
    for (const PaletteTheme& t : PaletteTheme::all())
        if (t.accent != rig.themes.current().accent) other = t;
    ASSERT_NE(other.accent, rig.themes.current().accent);
    rig.themes.setCurrent(other);
    settle();
    EXPECT_EQ(tab->titleText()->color(), other.accent);
    EXPECT_TRUE(iconIsRed());
}

TEST_F(Tabs, ProcessesListsEachPublishedProcessWithItsState)
{
    ProcessesTab* tab = processes();
    ASSERT_TRUE(tab);
    EXPECT_EQ(tab->countText()->text(), u"0 processes"_qs);
    EXPECT_TRUE(tab->columnHeaders()->isVisible());
    EXPECT_EQ(tab->items().rowCount(), 0);

    ProcessInfoItem busy;
    busy.pid = 100;
    busy.name = u"busy"_qs;
    busy.cpuUsage = 80.1;
    busy.isRunaway = true;
    ProcessInfoItem guarded;
    guarded.pid = 200;
    guarded.name = u"guarded"_qs;
    guarded.cpuUsage = 50.0;
    guarded.isProtected = true;
    publishProcesses({busy, guarded});
    EXPECT_EQ(tab->countText()->text(), u"2 processes"_qs);
    ASSERT_EQ(tab->items().rowCount(), 2);
    EXPECT_EQ(tab->items().item(0).name, u"busy"_qs);
    const QRect firstRect = tab->list()->visualRect(tab->items().index(0));
    const ProcessRow::Layout first = ProcessRow::layout(tab->items().item(0), firstRect);
    ASSERT_FALSE(first.throttle.isEmpty());
    ASSERT_FALSE(first.kill.isEmpty());
    EXPECT_TRUE(first.lock.isEmpty());
    EXPECT_TRUE(first.shield.isEmpty());
    // The columns sit side by side, as wide as their titles, and line up with them.
    EXPECT_GT(first.memory.left(), first.cpu.right());
    EXPECT_EQ(first.cpu.width(), 80);
    EXPECT_GT(first.cpu.left(), 60 + 16);
    const auto titles = tab->columnHeaders()->findChildren<TextView*>();
    const auto cpuTitle = std::find_if(titles.begin(), titles.end(), [](TextView* t) { return t->text() == u"CPU %"_qs; });
    ASSERT_NE(cpuTitle, titles.end());
    EXPECT_EQ((*cpuTitle)->mapTo(tab, QPoint(0, 0)).x(), tab->list()->viewport()->mapTo(tab, first.cpu.topLeft()).x());
    // A runaway row has the faint red background; the protected one below has none.
    const QColor runaway = pixel(tab->list(), QPoint(first.name.right() - 2, firstRect.top() + 2));
    const QRect secondRect = tab->list()->visualRect(tab->items().index(1));
    const QColor calm = pixel(tab->list(), QPoint(first.name.right() - 2, secondRect.top() + 2));
    EXPECT_GT(runaway.red(), calm.red());

    const ProcessRow::Layout second = ProcessRow::layout(tab->items().item(1), secondRect);
    EXPECT_TRUE(second.throttle.isEmpty());
    EXPECT_TRUE(second.kill.isEmpty());
    EXPECT_FALSE(second.lock.isEmpty());
    EXPECT_FALSE(second.shield.isEmpty());
    // A click where the buttons would be does nothing for a protected process.
    QTest::mouseClick(tab->list()->viewport(), Qt::LeftButton, {}, second.lock.center());
    settle();
    EXPECT_TRUE(rig.monitor.actionHistory().isEmpty());

    // The next sample re-ranks and updates the same rows in place: no row is rebuilt.
    QSignalSpy reset(&tab->items(), &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&tab->items(), &QAbstractItemModel::rowsInserted);
    const QPersistentModelIndex busyRow(tab->items().index(0));
    busy.cpuUsage = 10;
    guarded.cpuUsage = 60;
    publishProcesses({guarded, busy});
    EXPECT_EQ(reset.size(), 0);
    EXPECT_EQ(inserted.size(), 0);
    EXPECT_EQ(busyRow.row(), 1);
    EXPECT_EQ(tab->items().item(1).cpuUsage, 10);
    EXPECT_EQ(ProcessListModel::row(tab->items().item(0)).cpuColor, NamedColor::yellow);
}

TEST_F(Tabs, ProcessButtonsActOnTheChildAndTheHistoryShowsIt)
{
    ChildProcess slow({u"/bin/sleep"_qs, u"30"_qs});
    ChildProcess doomed({u"/bin/sleep"_qs, u"30"_qs});
    ASSERT_TRUE(slow.started() && doomed.started());
    ProcessInfoItem a;
    a.pid = slow.pid();
    a.startTime = LinuxProcessControl::identityOf(slow.pid()).value_or(ProcessIdentity{}).startTime;
    a.name = u"slow"_qs;
    ProcessInfoItem b;
    b.pid = doomed.pid();
    b.startTime = LinuxProcessControl::identityOf(doomed.pid()).value_or(ProcessIdentity{}).startTime;
    b.name = u"doomed"_qs;
    ProcessesTab* tab = processes();
    publishProcesses({a, b});
    ASSERT_EQ(tab->items().rowCount(), 2);

    clickProcessButton(tab, 0, ProcessRow::Button::throttle);
    EXPECT_EQ(ChildProcess::niceOf(slow.pid()), 19);

    // A sample that arrives between the press and the release re-ranks the rows: the release
    // still acts on the process that was pressed, not on the one now under the pointer.
    {
        const QRect rect = tab->list()->visualRect(tab->items().index(1));
        const QPoint killAt = ProcessRow::layout(tab->items().item(1), rect).kill.center();
        QTest::mousePress(tab->list()->viewport(), Qt::LeftButton, {}, killAt);
        publishProcesses({b, a});
        ASSERT_EQ(tab->items().item(1).pid, slow.pid());
        QTest::mouseRelease(tab->list()->viewport(), Qt::LeftButton, {}, killAt);
    }
    ASSERT_TRUE(doomed.waitForExit(std::chrono::seconds(5)));
    EXPECT_EQ(doomed.terminatingSignal(), SIGTERM);
    EXPECT_EQ(::kill(slow.pid(), 0), 0) << "the process now under the pointer was left alone";
    settle();
    EXPECT_EQ(tab->items().rowCount(), 2) << "the list waits for the next sample";

    // The kill button again on the row of the process that is gone: nothing more is logged.
    clickProcessButton(tab, 0, ProcessRow::Button::kill);
    settle();

    ASSERT_EQ(rig.monitor.actionHistory().size(), 2);
    EXPECT_EQ(rig.monitor.actionHistory()[0].detail, u"Manual kill"_qs);
    EXPECT_EQ(rig.monitor.actionHistory()[1].detail, u"Manual throttle"_qs);
    EXPECT_EQ(rig.processManager.processIncidentCounts().value(u"slow"_qs), 1);

    HistoryTab* list = history();
    ASSERT_EQ(list->items().rowCount(), 2);
    EXPECT_EQ(list->items().item(0).action, Type::processKilled);
    EXPECT_EQ(list->items().item(1).action, Type::processThrottled);
}
