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
#include "ui/chat/SymbolButton.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/dashboard/TagView.h"
#include "ui/dashboard/TextView.h"
#include "ui/dashboard/WrappedTextView.h"

#include "platform/linux/LinuxProcessControl.h"
#include <gtest/gtest.h>

#include <QScrollArea>
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
};

}  // namespace

TEST_F(Tabs, HistoryShowsTheEmptyStateThenTheNewestRecordFirst)
{
    HistoryTab* tab = history();
    ASSERT_TRUE(tab);
    EXPECT_EQ(tab->countText()->text(), u"0 actions"_qs);
    EXPECT_TRUE(tab->emptyState()->isVisible());
    EXPECT_FALSE(tab->list()->isVisible());
    EXPECT_TRUE(tab->rows().isEmpty());

    rig.monitor.logAction(record(Type::processThrottled, false));
    settle();
    EXPECT_EQ(tab->countText()->text(), u"1 actions"_qs);
    EXPECT_FALSE(tab->emptyState()->isVisible());
    EXPECT_TRUE(tab->list()->isVisible());
    ASSERT_EQ(tab->rows().size(), 1);
    EXPECT_EQ(tab->rows()[0]->autoTag(), nullptr);
    EXPECT_EQ(tab->rows()[0]->subtitle()->text(), u"Safari — CPU 95%"_qs);

    rig.monitor.logAction(record(Type::emergencyCleanup, true, u"Caches"_qs));
    settle();
    ASSERT_EQ(tab->rows().size(), 2);
    ActionHistoryRow* top = tab->rows()[0];
    EXPECT_EQ(top->title()->text(), u"Emergency Cleanup"_qs);
    ASSERT_TRUE(top->autoTag());
    EXPECT_EQ(top->autoTag()->text(), u"AUTO"_qs);
    EXPECT_EQ(top->typeIcon()->name(), u"exclamationmark.triangle.fill"_qs);
    EXPECT_GT(top->autoTag()->geometry().left(), top->title()->geometry().right()) << "the tag stands right of the name";
    EXPECT_EQ(tab->rows()[1]->title()->text(), u"Process Throttled"_qs);
}

TEST_F(Tabs, HistoryKeepsFiveHundredAndCutsALongDetailAtTwoLines)
{
    for (int i = 0; i < 500; ++i) rig.monitor.logAction(record(Type::systemCheck, true, QString::number(i)));
    HistoryTab* tab = history();
    EXPECT_EQ(tab->countText()->text(), u"500 actions"_qs);
    EXPECT_EQ(tab->rows().size(), 500);
    const QString longDetail = u"word "_qs.repeated(200);
    rig.monitor.logAction(ActionRecord::make(Type::memoryFreed, u"newest"_qs, longDetail, rig.clock.now(), false));
    settle();
    EXPECT_EQ(tab->countText()->text(), u"500 actions"_qs);
    ASSERT_EQ(tab->rows().size(), 500);
    EXPECT_EQ(tab->rows().first()->action().target, u"newest"_qs);
    EXPECT_EQ(tab->rows().last()->action().target, u"1"_qs) << "the oldest (\"0\") went";

    WrappedTextView* subtitle = tab->rows().first()->subtitle();
    const QStringList lines = subtitle->linesFor(subtitle->width());
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].endsWith(QChar(0x2026))) << lines[1].toStdString();
    EXPECT_LE(subtitle->height(), 2 * QFontMetrics(subtitle->font()).lineSpacing() + 1);
}

TEST_F(Tabs, PaletteChangeRecoloursTheTitleButNotTheTypeIcons)
{
    rig.monitor.logAction(record(Type::processKilled, true));
    HistoryTab* tab = history();
    // Some pixel of the icon is the fixed red (the grab includes the palette's background).
    auto iconIsRed = [&] {
        const QImage img = tab->rows()[0]->typeIcon()->grab().toImage().convertToFormat(QImage::Format_RGB32);
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
    EXPECT_TRUE(tab->rows().isEmpty());

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
    ASSERT_EQ(tab->rows().size(), 2);
    ProcessRow* first = tab->rows()[0];
    EXPECT_EQ(first->process().name, u"busy"_qs);
    EXPECT_EQ(first->cpuText()->color(), namedColor(NamedColor::red));
    EXPECT_EQ(first->statusText()->text(), u"High"_qs);
    ASSERT_TRUE(first->throttleButton() && first->killButton());
    EXPECT_EQ(first->throttleButton()->toolTip(), u"Throttle process"_qs);
    EXPECT_EQ(first->killButton()->toolTip(), u"Kill process"_qs);
    EXPECT_EQ(first->lock(), nullptr);
    // The columns sit side by side, as wide as their titles.
    EXPECT_GT(first->memoryText()->geometry().left(), first->cpuText()->geometry().right());
    EXPECT_EQ(first->cpuText()->width(), 80);
    EXPECT_GT(first->cpuText()->geometry().left(), 60 + 16);
    const auto titles = tab->columnHeaders()->findChildren<TextView*>();
    const auto cpuTitle = std::find_if(titles.begin(), titles.end(), [](TextView* t) { return t->text() == u"CPU %"_qs; });
    ASSERT_NE(cpuTitle, titles.end());
    EXPECT_EQ((*cpuTitle)->mapTo(tab, QPoint(0, 0)).x(), first->cpuText()->mapTo(tab, QPoint(0, 0)).x());
    ProcessRow* second = tab->rows()[1];
    EXPECT_EQ(second->cpuText()->color(), namedColor(NamedColor::green));
    EXPECT_EQ(second->statusText()->text(), u"Normal"_qs);
    EXPECT_EQ(second->throttleButton(), nullptr);
    EXPECT_EQ(second->killButton(), nullptr);
    EXPECT_TRUE(second->lock());
    EXPECT_TRUE(second->shield());
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
    ASSERT_EQ(tab->rows().size(), 2);

    QTest::mouseClick(tab->rows()[0]->throttleButton(), Qt::LeftButton);
    EXPECT_EQ(ChildProcess::niceOf(slow.pid()), 19);
    QTest::mouseClick(tab->rows()[1]->killButton(), Qt::LeftButton);
    ASSERT_TRUE(doomed.waitForExit(std::chrono::seconds(5)));
    EXPECT_EQ(doomed.terminatingSignal(), SIGTERM);
    settle();
    EXPECT_EQ(tab->rows().size(), 2) << "the list waits for the next sample";

    // The kill button again on the row of the process that is gone: nothing more is logged.
    QTest::mouseClick(tab->rows()[1]->killButton(), Qt::LeftButton);
    settle();

    ASSERT_EQ(rig.monitor.actionHistory().size(), 2);
    EXPECT_EQ(rig.monitor.actionHistory()[0].detail, u"Manual kill"_qs);
    EXPECT_EQ(rig.monitor.actionHistory()[1].detail, u"Manual throttle"_qs);
    EXPECT_EQ(rig.processManager.processIncidentCounts().value(u"slow"_qs), 1);

    HistoryTab* list = history();
    ASSERT_EQ(list->rows().size(), 2);
    EXPECT_EQ(list->rows()[0]->typeIcon()->name(), u"xmark.octagon.fill"_qs);
    EXPECT_EQ(list->rows()[1]->typeIcon()->name(), u"tortoise.fill"_qs);
}
