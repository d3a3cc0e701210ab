// The History and Processes tabs without a display: what a record or a process row shows, and
// what the process buttons do to real children the tests start.
#include "monitoring/ProcessManager.h"
#include "platform/linux/LinuxProcessControl.h"
#include "support/ChildProcess.h"
#include "support/FakeMonitorState.h"
#include "support/ManualClock.h"
#include "support/ManualScheduler.h"
#include "ui/dashboard/ActionHistoryModel.h"
#include "ui/dashboard/ProcessActions.h"
#include "ui/dashboard/ProcessListModel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <csignal>

using Type = ActionRecord::ActionType;

TEST(ActionHistoryModel, EachKindHasItsSymbolColourAndName)
{
    struct Case {
        Type type;
        const char* symbol;
        NamedColor color;
        const char* title;
    };
    const Case cases[] = {
        {Type::processKilled, "xmark.octagon.fill", NamedColor::red, "Process Killed"},
        {Type::processThrottled, "tortoise.fill", NamedColor::orange, "Process Throttled"},
        {Type::cacheCleared, "trash.fill", NamedColor::blue, "Cache Cleared"},
        {Type::diskCleaned, "externaldrive.badge.minus", NamedColor::blue, "Disk Cleaned"},
        {Type::emergencyCleanup, "exclamationmark.triangle.fill", NamedColor::red, "Emergency Cleanup"},
        {Type::memoryFreed, "memorychip", NamedColor::purple, "Memory Freed"},
        {Type::alertSent, "bell.badge.fill", NamedColor::yellow, "Alert Sent"},
        {Type::systemCheck, "checkmark.shield.fill", NamedColor::green, "System Check"},
    };
    ASSERT_EQ(std::size(cases), ActionRecord::allActionTypes.size());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const ActionRecord record = ActionRecord::make(c.type, u"t"_qs, u"d"_qs, QDateTime::currentDateTimeUtc(), false);
        const ActionHistoryModel::Row row = ActionHistoryModel::row(record, QLocale(QLocale::English));
        EXPECT_EQ(row.style.symbol, QString::fromLatin1(c.symbol));
        EXPECT_EQ(row.style.color, c.color);
        EXPECT_EQ(row.title, QString::fromLatin1(c.title));
    }
}

TEST(ActionHistoryModel, CountTagTargetDetailAndTimeInTheLocalesShortForms)
{
    EXPECT_EQ(ActionHistoryModel::countText(0), u"0 actions"_qs);
    EXPECT_EQ(ActionHistoryModel::countText(1), u"1 action"_qs);
    EXPECT_EQ(ActionHistoryModel::countText(500), u"500 actions"_qs);

    const QDateTime when(QDate(2026, 12, 9), QTime(15, 42, 10), Qt::LocalTime);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    ActionRecord manual = ActionRecord::make(Type::processThrottled, u"Safari"_qs, u"CPU 95%"_qs, when, false);
    ActionHistoryModel::Row row = ActionHistoryModel::row(manual, us);
    EXPECT_FALSE(row.showsAutoTag);
    EXPECT_EQ(row.subtitle, u"Safari — CPU 95%"_qs);
    EXPECT_EQ(row.timeText, us.toString(QTime(15, 42, 10), QLocale::ShortFormat));
    EXPECT_TRUE(row.timeText.contains(u"3:42"_qs)) << row.timeText.toStdString();
    EXPECT_EQ(row.dateText, u"12/9/26"_qs);
    row = ActionHistoryModel::row(manual, de);
    EXPECT_EQ(row.timeText, u"15:42"_qs);
    EXPECT_EQ(row.dateText, u"09.12.26"_qs);

    // A UTC stamp is shown in the machine's zone.
    const ActionRecord utc = ActionRecord::make(Type::systemCheck, {}, {}, when.toUTC(), true);
    row = ActionHistoryModel::row(utc, de);
    EXPECT_TRUE(row.showsAutoTag);
    EXPECT_EQ(row.timeText, u"15:42"_qs);
    EXPECT_EQ(row.subtitle, u" — "_qs);
}

TEST(ProcessListModel, FormatsAndThresholds)
{
    struct Cpu {
        double usage;
        NamedColor color;
        const char* text;
    };
    for (const Cpu& c : {Cpu{80.1, NamedColor::red, "80.1%"}, Cpu{80.0, NamedColor::yellow, "80.0%"},
                         Cpu{50.1, NamedColor::yellow, "50.1%"}, Cpu{50.0, NamedColor::green, "50.0%"},
                         Cpu{0.04, NamedColor::green, "0.0%"}, Cpu{12.34, NamedColor::green, "12.3%"},
                         Cpu{350.0, NamedColor::red, "350.0%"}}) {
        SCOPED_TRACE(c.usage);
        ProcessInfoItem p;
        p.cpuUsage = c.usage;
        const ProcessListModel::Row row = ProcessListModel::row(p);
        EXPECT_EQ(row.cpuColor, c.color);
        EXPECT_EQ(row.cpuText, QString::fromLatin1(c.text));
    }
    ProcessInfoItem p;
    p.pid = 4242;
    p.name = u"worker"_qs;
    p.memoryMB = 0.4;
    ProcessListModel::Row row = ProcessListModel::row(p);
    EXPECT_EQ(row.pidText, u"4242"_qs);
    EXPECT_EQ(row.memoryText, u"0 MB"_qs);
    EXPECT_EQ(row.statusText, u"Normal"_qs);
    EXPECT_EQ(row.statusColor, NamedColor::green);
    EXPECT_FALSE(row.highlighted);
    EXPECT_TRUE(row.hasButtons);
    EXPECT_FALSE(row.showsShield);

    p.memoryMB = 812.6;
    p.isRunaway = true;
    p.isProtected = true;
    row = ProcessListModel::row(p);
    EXPECT_EQ(row.memoryText, u"813 MB"_qs);
    EXPECT_EQ(row.statusText, u"High"_qs);
    EXPECT_EQ(row.statusColor, NamedColor::red);
    EXPECT_TRUE(row.highlighted);
    EXPECT_FALSE(row.hasButtons);
    EXPECT_TRUE(row.showsShield);

    EXPECT_EQ(ProcessListModel::countText(0), u"0 processes"_qs);
    EXPECT_EQ(ProcessListModel::countText(1), u"1 process"_qs);
    EXPECT_EQ(ProcessListModel::countText(12), u"12 processes"_qs);
}

namespace {

// The buttons' collaborators, real: priorities and signals reach the children a test starts.
struct Buttons : ::testing::Test {
    ManualClock clock;
    ManualScheduler scheduler{clock};
    LinuxProcessControl control;
    ProcessManager manager{control, scheduler};
    FakeMonitorState monitor;
    ProcessActions actions{control, manager, manager, monitor, clock};

    static ProcessInfoItem item(const ChildProcess& child, const QString& name, bool isProtected = false)
    {
        ProcessInfoItem p;
        p.pid = child.pid();
        p.startTime = LinuxProcessControl::identityOf(child.pid()).value_or(ProcessIdentity{}).startTime;
        p.name = name;
        p.isProtected = isProtected;
        return p;
    }
    static void settle()
    {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
};

}  // namespace

TEST_F(Buttons, ThrottleLowersThePriorityCountsAnIncidentAndLogsAfterwards)
{
    ChildProcess child({u"/bin/sleep"_qs, u"30"_qs});
    ASSERT_TRUE(child.started());
    const ProcessInfoItem p = item(child, u"sleeper"_qs);

    ASSERT_TRUE(actions.throttle(p));
    EXPECT_EQ(ChildProcess::niceOf(child.pid()), 19);
    EXPECT_TRUE(monitor.actions.isEmpty()) << "the entry is posted, not written during the click";
    settle();
    ASSERT_EQ(monitor.actions.size(), 1);
    const ActionRecord& r = monitor.actions.first();
    EXPECT_EQ(r.action, Type::processThrottled);
    EXPECT_EQ(r.target, u"sleeper"_qs);
    EXPECT_EQ(r.detail, u"Manual throttle"_qs);
    EXPECT_EQ(r.timestamp, clock.now());
    EXPECT_FALSE(r.wasAutomatic);
    EXPECT_EQ(manager.processIncidentCounts().value(u"sleeper"_qs), 1);

    // Again on the same row: a second entry and a second incident.
    ASSERT_TRUE(actions.throttle(p));
    settle();
    EXPECT_EQ(monitor.actions.size(), 2);
    EXPECT_NE(monitor.actions[0].id, monitor.actions[1].id);
    EXPECT_EQ(manager.processIncidentCounts().value(u"sleeper"_qs), 2);
}

TEST_F(Buttons, NothingIsLoggedForAProtectedOrVanishedProcess)
{
    ChildProcess kept({u"/bin/sleep"_qs, u"30"_qs});
    ChildProcess gone({u"/bin/true"_qs});
    ASSERT_TRUE(kept.started() && gone.started());
    ASSERT_TRUE(gone.waitForExit(std::chrono::seconds(5)));
    const std::optional<int> niceBefore = ChildProcess::niceOf(kept.pid());

    EXPECT_FALSE(actions.throttle(item(kept, u"kept"_qs, true)));
    EXPECT_FALSE(actions.kill(item(kept, u"kept"_qs, true)));
    EXPECT_FALSE(actions.throttle(item(gone, u"gone"_qs)));
    EXPECT_FALSE(actions.kill(item(gone, u"gone"_qs)));
    settle();
    EXPECT_TRUE(monitor.actions.isEmpty());
    EXPECT_EQ(ChildProcess::niceOf(kept.pid()), niceBefore);
    EXPECT_FALSE(kept.waitForExit(std::chrono::milliseconds(100))) << "a protected process is not signalled";
    EXPECT_EQ(manager.processIncidentCounts().value(u"kept"_qs), 0);
}

TEST_F(Buttons, KillStopsTheChildAndLogsIt)
{
    ChildProcess child({u"/bin/sleep"_qs, u"30"_qs});
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(actions.kill(item(child, u"sleeper"_qs)));
    ASSERT_TRUE(child.waitForExit(std::chrono::seconds(5)));
    EXPECT_EQ(child.terminatingSignal(), SIGTERM);
    settle();
    ASSERT_EQ(monitor.actions.size(), 1);
    EXPECT_EQ(monitor.actions.first().action, Type::processKilled);
    EXPECT_EQ(monitor.actions.first().target, u"sleeper"_qs);
    EXPECT_EQ(monitor.actions.first().detail, u"Manual kill"_qs);
    EXPECT_FALSE(monitor.actions.first().wasAutomatic);
    EXPECT_EQ(manager.processIncidentCounts().value(u"sleeper"_qs), 1);
}
