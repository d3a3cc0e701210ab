// The Maintenance tab over the real maintenance tools, whose system tools are shell scripts put
// first on PATH: the fixes' progress and outcomes, the snapshot list and its deletions, and the
// sleep and wake analysis.
#include "DashboardRig.h"
#include "actions/MaintenanceTools.h"
#include "platform/linux/LinuxProcessControl.h"
#include "platform/linux/SysfsWakeupSourceReader.h"
#include "support/FakeMonitorState.h"
#include "support/FixtureTree.h"
#include "support/StallWatch.h"
#include "ui/dashboard/DetailedView.h"
#include "ui/dashboard/TextView.h"
#include "ui/dashboard/WrappedTextView.h"
#include "ui/dashboard/maintenance/MaintenanceActionRow.h"
#include "ui/dashboard/maintenance/MaintenanceModel.h"
#include "ui/dashboard/maintenance/MaintenanceView.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace dashboard_rig;
using namespace MaintenanceModel;
using namespace std::chrono_literals;

namespace {

// Stand-ins for pkexec, systemctl, snapper, journalctl and the rest. Each logs its call to
// "$D/log"; while "$D/hold" exists it waits, so a test can look at a running fix; its exit
// status and what it prints come from files the test writes.
const char* const kStubs[][2] = {
    {"pkexec", "echo \"pkexec $*\" >> \"$D/log\"\nhold\n[ -e \"$D/pkexec-exit\" ] && exit \"$(cat \"$D/pkexec-exit\")\"\nexit 0"},
    {"systemctl",
     "echo \"systemctl $*\" >> \"$D/log\"\nhold\nif [ -e \"$D/systemctl-fail\" ]; then cat \"$D/systemctl-fail\" >&2; exit 5; fi"},
    {"killall", "echo \"killall $*\" >> \"$D/log\"\nexit 1"},
    {"update-desktop-database", "echo \"update-desktop-database $*\" >> \"$D/log\"\nhold"},
    {"snapper",
     "echo \"snapper $*\" >> \"$D/log\"\n"
     "case \"$1\" in delete) hold; grep -qx \"$2\" \"$D/snapper-fail\" 2>/dev/null && { echo \"Snapshot '$2' not found.\" >&2; exit 1; }"
     "; sed -i \"/^root,\\/,$2,/d\" \"$D/snapper-list\"; exit 0;; esac\n"
     "cat \"$D/snapper-list\" 2>/dev/null"},
    {"journalctl", "echo \"journalctl $*\" >> \"$D/log\"\nhold\ncat \"$D/journal\" 2>/dev/null"},
};

const QByteArray kSnapperHeading =
    "config,subvolume,number,default,active,type,pre-number,date,user,used-space,cleanup,description,userdata\n"
    "root,/,0,no,no,single,,,root,,,current,\n";

class MaintenanceViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const auto& [name, body] : kStubs) {
            QFile script(file(QString::fromLatin1(name)));
            ASSERT_TRUE(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\nD='" + QFile::encodeName(dir.path()) +
                         "'\nhold() { while [ -e \"$D/hold\" ]; do sleep 0.02; done; }\n" + body + "\n");
            script.close();
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(dir.path()) + ':' + oldPath);
        write(QStringLiteral("snapper-config"), "ALLOW_USERS=\"tester\"\n");
        write(QStringLiteral("snapper-list"), kSnapperHeading);
        QDir().mkpath(file(QStringLiteral("proc")));
    }
    void TearDown() override { qputenv("PATH", oldPath); }

    QString file(const QString& name) const { return dir.filePath(name); }
    void write(const QString& name, const QByteArray& content) const
    {
        QFile f(file(name));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(content);
    }
    void hold() const { write(QStringLiteral("hold"), {}); }
    void release() const { QFile::remove(file(QStringLiteral("hold"))); }
    QStringList log() const
    {
        QFile f(file(QStringLiteral("log")));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void clearLog() const { QFile::remove(file(QStringLiteral("log"))); }
    void setSnapshots(const QList<std::pair<int, const char*>>& rows) const
    {
        QByteArray csv = kSnapperHeading;
        for (const auto& [number, date] : rows) csv += "root,/," + QByteArray::number(number) + ",no,no,single,," + date + ",root,,,,\n";
        write(QStringLiteral("snapper-list"), csv);
    }
    // Kernel lines of returns from suspend, `hoursAgo` before the clock's now.
    void setWakes(const QList<int>& hoursAgo) const
    {
        QByteArray journal;
        for (int h : hoursAgo) {
            journal += rig.clock.now().addSecs(-h * 3600).toString(Qt::ISODate).toUtf8() +
                       " laptop kernel: PM: suspend exit\n";
        }
        write(QStringLiteral("journal"), journal);
    }

    std::unique_ptr<MaintenanceTools> makeTools()
    {
        MaintenanceTools::Tools t;  // the tools by their bare names, found on PATH
        t.procRoot = file(QStringLiteral("proc"));  // no file manager or panel runs there
        t.snapperConfig = file(QStringLiteral("snapper-config"));
        t.userName = QStringLiteral("tester");
        t.userGroups = {QStringLiteral("tester")};
        t.applicationsDir = file(QStringLiteral("applications"));
        t.processDeadline = 20s;
        t.adminDeadline = 20s;
        t.wakeupReadInterval = 0ms;  // the readings are the test's own (recordLidWakes)
        return std::make_unique<MaintenanceTools>(monitor, rig.clock, wakeups, processes, t);
    }

    // Readings of the wake-up sources around each wake, oldest first, as the running
    // application takes them: the lid's count rises across every sleep.
    void recordLidWakes(MaintenanceTools& tools, QList<int> hoursAgo) const
    {
        std::sort(hoursAgo.begin(), hoursAgo.end(), std::greater<>());
        std::chrono::milliseconds awake = 1000s;
        uint64_t lid = 10;
        for (int h : hoursAgo) {
            const QDateTime wake = rig.clock.now().addSecs(-h * 3600);
            tools.recordWakeupSources(wake.addSecs(-600), awake, {{QStringLiteral("PNP0C0D:00"), lid}});
            awake += 20s;
            tools.recordWakeupSources(wake.addSecs(5), awake, {{QStringLiteral("PNP0C0D:00"), ++lid}});
            awake += 20s;
        }
    }

    // A shown view whose first refresh and analysis have finished.
    std::unique_ptr<MaintenanceView> showView(MaintenanceTools& tools, QSize size = {760, 1500})
    {
        auto view = std::make_unique<MaintenanceView>(tools, rig.themes, rig.clock);
        view->resize(size);
        view->show();
        return view;
    }
    static bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 15000); }
    // Waits until no operation runs, then lets the view draw what was published.
    static bool idle(MaintenanceTools& tools)
    {
        const bool done = waitFor([&] { return !tools.isWorking(); });
        settle();
        return done;
    }

    QTemporaryDir dir;
    QByteArray oldPath;
    Rig rig;
    FakeMonitorState monitor;
    LinuxProcessControl processes;
    SysfsWakeupSourceReader wakeups{fixturePath(QStringLiteral("sys/wakeup/laptop"))};
};

QuickFix fix(const MaintenanceTools& tools, const QString& id)
{
    for (const QuickFix& f : tools.quickFixes())
        if (f.id == id) return f;
    return {};
}

MaintenanceActionRow* row(const MaintenanceView& view, const QString& title)
{
    for (MaintenanceActionRow* r : view.fixRows())
        if (r->title() == title) return r;
    return nullptr;
}

}  // namespace

TEST(MaintenanceModel, SubtitlesCountWholeMinutesSinceTheLastRun)
{
    const QDateTime now(QDate(2026, 3, 2), QTime(12, 0), QTimeZone::utc());
    QuickFix purge;
    purge.id = QStringLiteral("purge");
    purge.subtitle = QStringLiteral("Frees memory");
    struct Case {
        std::optional<qint64> msAgo;
        const char* tail;
    };
    for (const Case& c : {Case{std::nullopt, ""}, Case{30'000, " \u00b7 just ran"}, Case{-120'000, " \u00b7 just ran"},
                          Case{59'999, " \u00b7 just ran"}, Case{60'000, " \u00b7 ran 1m ago"},
                          Case{3'594'000, " \u00b7 ran 59m ago"}, Case{61 * 60'000, " \u00b7 ran 61m ago"},
                          Case{3 * 3'600'000, " \u00b7 ran 180m ago"}}) {
        QHash<QString, QDateTime> runs;
        if (c.msAgo) runs.insert(purge.id, now.addMSecs(-*c.msAgo));
        EXPECT_EQ(quickFixSubtitle(purge, runs, now), purge.subtitle + QString::fromUtf8(c.tail)) << c.msAgo.value_or(-1);
    }

    EXPECT_EQ(audioSubtitle(std::nullopt, now),
              QStringLiteral("Recover from stuck devices, Bluetooth audio drop-outs, distorted output"));
    EXPECT_EQ(audioSubtitle(now.addSecs(-300), now), QStringLiteral("Last reset 5 min. ago"));
    EXPECT_EQ(dnsSubtitle(now.addSecs(-2 * 3600 - 59), now), QStringLiteral("Last flush 2 hr. ago"));
    EXPECT_EQ(dnsSubtitle(std::nullopt, now),
              QStringLiteral("Fix VPN switch issues, broken .local hostnames, stale MX lookups"));
    EXPECT_EQ(relativeText(now.addSecs(-86400), now), QStringLiteral("1 day ago"));
    EXPECT_EQ(relativeText(now.addSecs(45), now), QStringLiteral("in 45 sec."));
}

TEST(MaintenanceModel, OutcomeLinesAndSnapshotCounts)
{
    QuickFix finder;
    finder.title = QStringLiteral("Restart Files");
    finder.logDetail = QStringLiteral("Files restarted");
    struct Case {
        MaintenanceModel::Status got, want;
    };
    const Case cases[] = {
        {audioOutcome(true, std::nullopt), {QStringLiteral("Audio server restarted."), false}},
        {audioOutcome(false, std::nullopt), {QStringLiteral("Reset failed."), true}},
        {audioOutcome(false, QStringLiteral("  ")), {QStringLiteral("Reset failed."), true}},
        {audioOutcome(false, QStringLiteral("Cancelled")), {QStringLiteral("Cancelled"), true}},
        {dnsOutcome(true, std::nullopt), {QStringLiteral("DNS cache flushed."), false}},
        {dnsOutcome(false, std::nullopt), {QStringLiteral("Flush failed."), true}},
        {dnsOutcome(false, QString::fromLatin1(MaintenanceTools::busyText)),
         {QStringLiteral("Another maintenance task is running"), true}},
        {quickFixOutcome(finder, true, std::nullopt), {QStringLiteral("Files restarted."), false}},
        {quickFixOutcome(finder, false, std::nullopt), {QStringLiteral("Restart Files failed."), true}},
        {quickFixOutcome(finder, true, QStringLiteral("Restarted nautilus (the session started it again)")),
         {QStringLiteral("Files restarted."), false}},
        {deleteOneOutcome(true), {QStringLiteral("Snapshot deleted."), false}},
        {deleteOneOutcome(false), {QStringLiteral("Snapshot delete failed."), true}},
        {deleteAllOutcome(1, 0), {QStringLiteral("Deleted 1 snapshot."), false}},
        {deleteAllOutcome(3, 0), {QStringLiteral("Deleted 3 snapshots."), false}},
        {deleteAllOutcome(0, 0), {QStringLiteral("Deleted 0 snapshots."), false}},
        {deleteAllOutcome(0, 2), {QStringLiteral("Deleted 0, failed 2."), true}},
        {deleteAllOutcome(2, 1), {QStringLiteral("Deleted 2, failed 1."), true}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.want.message.toStdString();

    EXPECT_EQ(snapshotCountCaption(0), noSnapshotsCaption);
    EXPECT_EQ(snapshotCountCaption(1), QStringLiteral("1 snapshot found"));
    EXPECT_EQ(snapshotCountCaption(3), QStringLiteral("3 snapshots found"));
    // Abbreviated month, no weekday, then the short time.
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QDateTime morning(QDate(2024, 1, 15), QTime(8, 30));
    EXPECT_EQ(snapshotDateText(morning, us),
              QStringLiteral("Jan 15, 2024, ") + us.toString(QTime(8, 30), QLocale::ShortFormat));

    QStringList labels;
    QList<int> hours;
    for (const WakeWindow& w : wakeWindows()) {
        labels << w.label;
        hours << w.hours;
    }
    EXPECT_EQ(labels, (QStringList{"12h", "24h", "72h", "7d"}));
    EXPECT_EQ(hours, (QList<int>{12, 24, 72, 168}));
}

TEST_F(MaintenanceViewTest, FixShowsProgressRefusesASecondRunAndReportsItsOutcome)
{
    auto tools = makeTools();
    auto view = showView(*tools);
    // Appearing lists the snapshots and starts the first 24-hour analysis.
    ASSERT_TRUE(idle(*tools));
    ASSERT_TRUE(waitFor([&] { return log().contains(QStringLiteral("snapper --utc --iso --csvout list")); }));
    EXPECT_TRUE(log().contains(QStringLiteral("journalctl -k --since=-24h -o short-iso")));

    const QList<MaintenanceActionRow*> rows = view->fixRows();
    ASSERT_EQ(rows.size(), 8);
    QStringList titles, locked;
    for (MaintenanceActionRow* r : rows) {
        titles << r->title();
        if (r->hasLock()) locked << r->title();
        EXPECT_TRUE(r->button()->isEnabled());
        EXPECT_FALSE(r->button()->showsSpinner());
    }
    EXPECT_EQ(titles, (QStringList{"Reset Audio Server", "Flush DNS Cache", "Restart Files", "Restart Panel",
                                   "Purge Inactive Memory", "Rebuild Search Index", "Rebuild Application Database",
                                   "Clear Font Caches"}));
    // The shield marks what asks for the administrator password.
    EXPECT_EQ(locked, (QStringList{"Flush DNS Cache", "Purge Inactive Memory", "Rebuild Search Index", "Clear Font Caches"}));
    // Only those rows say they prompt for the password; the section says nothing of it.
    for (MaintenanceActionRow* r : rows) {
        EXPECT_EQ(r->authNote() != nullptr, r->hasLock()) << r->title().toStdString();
        if (r->authNote()) EXPECT_EQ(r->authNote()->text(), passwordNote);
    }
    qsizetype mentions = 0;
    for (TextView* t : view->findChildren<TextView*>()) mentions += t->text().contains(QStringLiteral("password"));
    EXPECT_EQ(mentions, locked.size());
    EXPECT_FALSE(view->statusLine()->isVisible());
    ASSERT_TRUE(saveTabShot(*view, QStringLiteral("maintenance-idle")));

    // A failed audio reset shows the tool's own words in the danger colour.
    write(QStringLiteral("systemctl-fail"), "Failed to restart pipewire.service: Unit pipewire.service not found.\n");
    row(*view, audioTitle)->button()->click();
    ASSERT_TRUE(idle(*tools));
    EXPECT_EQ(view->statusMessage(), QStringLiteral("Failed to restart pipewire.service: Unit pipewire.service not found."));
    EXPECT_TRUE(view->statusIsError());
    EXPECT_EQ(view->statusLine()->color(), rig.themes.current().danger);
    EXPECT_EQ(tools->lastAudioReset(), std::nullopt);

    // While the DNS flush waits for its tool, every row spins and no button can be pressed; the
    // last outcome is cleared when the flush starts.
    hold();
    clearLog();
    row(*view, dnsTitle)->button()->click();
    settle();
    EXPECT_EQ(view->statusMessage(), std::nullopt);
    for (MaintenanceActionRow* r : rows) {
        EXPECT_TRUE(r->button()->showsSpinner()) << r->title().toStdString();
        EXPECT_FALSE(r->button()->isEnabled()) << r->title().toStdString();
    }
    ASSERT_TRUE(waitFor([&] { return log().size() == 1; }));
    ASSERT_TRUE(saveTabShot(*view, QStringLiteral("maintenance-fix-running")));

    // A second run asked for meanwhile (the buttons cannot, another caller can) is refused.
    view->runQuickFixAction(fix(*tools, QStringLiteral("purge")));
    EXPECT_EQ(view->statusMessage(), QStringLiteral("Another maintenance task is running"));
    EXPECT_TRUE(view->statusIsError());

    release();
    ASSERT_TRUE(idle(*tools));
    EXPECT_EQ(log(), QStringList{QStringLiteral("pkexec /bin/sh -c resolvectl flush-caches")});
    EXPECT_EQ(view->statusMessage(), QStringLiteral("DNS cache flushed."));
    EXPECT_FALSE(view->statusIsError());
    EXPECT_EQ(view->statusLine()->color(), rig.themes.current().success);
    EXPECT_EQ(row(*view, dnsTitle)->subtitle(), QStringLiteral("Last flush 0 sec. ago"));
    for (MaintenanceActionRow* r : rows) {
        EXPECT_FALSE(r->button()->showsSpinner());
        EXPECT_TRUE(r->button()->isEnabled());
    }
    ASSERT_TRUE(saveTabShot(*view, QStringLiteral("maintenance-fix-done")));
    stall_watch::expectNoStall("running a fix");

    // The authentication dialog dismissed: "Cancelled", and the fix keeps no date.
    write(QStringLiteral("pkexec-exit"), "126");
    row(*view, QStringLiteral("Purge Inactive Memory"))->button()->click();
    ASSERT_TRUE(idle(*tools));
    EXPECT_EQ(view->statusMessage(), QStringLiteral("Cancelled"));
    EXPECT_TRUE(view->statusIsError());
    EXPECT_FALSE(tools->lastQuickFixRun().contains(QStringLiteral("purge")));
    EXPECT_EQ(row(*view, QStringLiteral("Purge Inactive Memory"))->subtitle(), fix(*tools, QStringLiteral("purge")).subtitle);

    // A user fix that succeeds: its detail, and its subtitle says it just ran.
    row(*view, QStringLiteral("Rebuild Application Database"))->button()->click();
    ASSERT_TRUE(idle(*tools));
    EXPECT_EQ(view->statusMessage(), QStringLiteral("Application Database rebuilt."));
    EXPECT_FALSE(view->statusIsError());
    EXPECT_TRUE(row(*view, QStringLiteral("Rebuild Application Database"))->subtitle().endsWith(QStringLiteral(" \u00b7 just ran")));
    // A restart with none of its programs running says so rather than claim a restart.
    row(*view, QStringLiteral("Restart Files"))->button()->click();
    ASSERT_TRUE(idle(*tools));
    EXPECT_EQ(view->statusMessage(), QStringLiteral("Nothing to restart: none of nautilus, dolphin, nemo, thunar, caja, "
                                                    "pcmanfm-qt, pcmanfm is running."));
    EXPECT_FALSE(view->statusIsError());

    // The subtitle is cut after two lines at any width.
    auto* subtitle = row(*view, QStringLiteral("Rebuild Search Index"))->subtitleView();
    EXPECT_EQ(subtitle->linesFor(60).size(), 2);
}

TEST_F(MaintenanceViewTest, SnapshotListDeletionsAndTheirConfirmation)
{
    setSnapshots({{7, "2024-01-15 08:30:12"}, {8, "2024-03-02 10:00:00"}, {9, "2023-12-31 23:59:59"}});
    auto tools = makeTools();
    auto view = showView(*tools);
    ASSERT_TRUE(waitFor([&] { return view->snapshotRows().size() == 3; }));
    ASSERT_TRUE(idle(*tools));
    EXPECT_EQ(view->snapshotCaption()->text(), QStringLiteral("3 snapshots found"));
    QStringList names;
    for (SnapshotRow* r : view->snapshotRows()) names << r->snapshot().name;
    EXPECT_EQ(names, (QStringList{"8", "7", "9"}));  // newest first
    EXPECT_EQ(view->snapshotDividers(), 2);
    EXPECT_TRUE(view->deleteAllButton()->isVisible());
    EXPECT_EQ(view->snapshotPlaceholder(), nullptr);
    ASSERT_TRUE(saveTabShot(*view, QStringLiteral("maintenance-snapshots")));

    // While a fix runs, the trash buttons are disabled; refresh and Delete All are not.
    hold();
    view->runQuickFixAction(fix(*tools, QStringLiteral("fontcache")));
    settle();
    for (SnapshotRow* r : view->snapshotRows()) EXPECT_FALSE(r->deleteButton()->isEnabled());
    EXPECT_TRUE(view->refreshButton()->isEnabled());
    EXPECT_TRUE(view->deleteAllButton()->isEnabled());
    // Delete All while it runs is refused as a whole.
    view->deleteAllSnapshotsAction();
    EXPECT_EQ(view->statusMessage(), QStringLiteral("Deleted 0, failed 1."));
    EXPECT_TRUE(view->statusIsError());
    release();
    ASSERT_TRUE(idle(*tools));
    for (SnapshotRow* r : view->snapshotRows()) EXPECT_TRUE(r->deleteButton()->isEnabled());

    // One from its row: a failure, then a success that takes the row away.
    write(QStringLiteral("snapper-fail"), "7\n");
    view->snapshotRows()[1]->deleteButton()->click();  // 7
    ASSERT_TRUE(waitFor([&] { return view->statusMessage() == QStringLiteral("Snapshot delete failed."); }));
    EXPECT_TRUE(view->statusIsError());
    view->snapshotRows()[0]->deleteButton()->click();  // 8
    ASSERT_TRUE(waitFor([&] { return view->statusMessage() == QStringLiteral("Snapshot deleted."); }));
    EXPECT_FALSE(view->statusIsError());
    settle();
    ASSERT_EQ(view->snapshotRows().size(), 2);
    EXPECT_EQ(view->snapshotDividers(), 1);

    // Cancel changes nothing.
    view->deleteAllButton()->click();
    ASSERT_NE(view->deleteAllConfirmation(), nullptr);
    EXPECT_EQ(view->deleteAllConfirmation()->text(), deleteAllTitle);
    EXPECT_EQ(view->deleteAllConfirmation()->informativeText(), deleteAllMessage);
    clearLog();
    view->deleteAllConfirmation()->button(QMessageBox::Cancel)->click();
    settle();
    EXPECT_EQ(view->deleteAllConfirmation(), nullptr);
    EXPECT_EQ(view->statusMessage(), QStringLiteral("Snapshot deleted."));
    EXPECT_EQ(view->snapshotRows().size(), 2);
    EXPECT_TRUE(log().isEmpty());

    // Delete: 7 still fails, 9 goes; the counts in the danger colour, then a fresh listing.
    view->deleteAllButton()->click();
    ASSERT_NE(view->deleteAllConfirmation(), nullptr);
    for (QAbstractButton* b : view->deleteAllConfirmation()->buttons())
        if (b->text() == QStringLiteral("Delete")) b->click();
    ASSERT_TRUE(waitFor([&] { return view->statusMessage() == QStringLiteral("Deleted 1, failed 1."); }));
    EXPECT_TRUE(view->statusIsError());
    ASSERT_TRUE(waitFor([&] {
        settle();
        return view->snapshotRows().size() == 1;
    }));
    EXPECT_EQ(view->snapshotCaption()->text(), QStringLiteral("1 snapshot found"));
    EXPECT_EQ(view->snapshotDividers(), 0);

    // All gone: the placeholder, and no Delete All.
    QFile::remove(file(QStringLiteral("snapper-fail")));
    view->deleteAllSnapshotsAction();
    ASSERT_TRUE(waitFor([&] { return view->statusMessage() == QStringLiteral("Deleted 1 snapshot."); }));
    EXPECT_FALSE(view->statusIsError());
    ASSERT_TRUE(waitFor([&] {
        settle();
        return view->snapshotPlaceholder() != nullptr;
    }));
    EXPECT_EQ(view->snapshotCaption()->text(), noSnapshotsCaption);
    EXPECT_FALSE(view->deleteAllButton()->isVisible());
    EXPECT_TRUE(view->snapshotRows().isEmpty());
    ASSERT_TRUE(saveTabShot(*view, QStringLiteral("maintenance-no-snapshots")));
}

TEST_F(MaintenanceViewTest, APasswordForTheListIsAskedOnTheFirstVisitAndOnRefreshOnly)
{
    setSnapshots({{7, "2024-01-15 08:30:12"}});
    auto listings = [&] {
        int pkexec = 0, snapper = 0;
        for (const QString& line : log()) {
            if (line.startsWith(QStringLiteral("pkexec ")) && line.endsWith(QStringLiteral(" list"))) ++pkexec;
            if (line == QStringLiteral("snapper --utc --iso --csvout list")) ++snapper;
        }
        return std::pair{pkexec, snapper};
    };
    const struct {
        const char* config;
        bool needsPassword;
    } cases[] = {{"ALLOW_USERS=\"tester\"\n", false}, {"ALLOW_USERS=\"\"\nALLOW_GROUPS=\"wheel\"\n", true}};
    for (const auto& c : cases) {
        write(QStringLiteral("snapper-config"), c.config);
        clearLog();
        auto tools = makeTools();
        auto view = showView(*tools);
        // Four visits to the tab.
        for (int visit = 1; visit <= 4; ++visit) {
            if (visit > 1) {
                view->hide();
                view->show();
            }
            ASSERT_TRUE(waitFor([&] { return listings().first + listings().second >= (c.needsPassword ? 1 : visit); }));
            ASSERT_TRUE(idle(*tools));
        }
        QTest::qWait(300);  // a listing a visit started late would show up here
        EXPECT_EQ(listings(), (c.needsPassword ? std::pair{1, 0} : std::pair{0, 4})) << c.config;
        // The tab's own refresh control always lists.
        view->refreshButton()->click();
        ASSERT_TRUE(waitFor([&] { return listings().first + listings().second == (c.needsPassword ? 2 : 5); }));
        view->hide();
        view->show();
        ASSERT_TRUE(idle(*tools));
        QTest::qWait(300);
        EXPECT_EQ(listings(), (c.needsPassword ? std::pair{2, 0} : std::pair{0, 6})) << c.config;
    }
}

TEST_F(MaintenanceViewTest, WakeAnalysisPlaceholderCardAndWindows)
{
    setWakes({2});
    hold();
    auto tools = makeTools();
    recordLidWakes(*tools, {2, 30, 100});
    auto view = showView(*tools);
    ASSERT_TRUE(waitFor([&] { return log().contains(QStringLiteral("journalctl -k --since=-24h -o short-iso")); }));
    settle();
    // Until the first analysis is in: the placeholder, no figure.
    ASSERT_NE(view->wakePlaceholder(), nullptr);
    EXPECT_EQ(view->wakeFigure(), nullptr);
    EXPECT_EQ(view->wakePlaceholder()->findChild<TextView*>(QStringLiteral("placeholderTitle"))->text(),
              QStringLiteral("Reading sleep log\u2026"));
    EXPECT_EQ(view->wakePlaceholder()->findChild<TextView*>(QStringLiteral("placeholderSubtitle"))->text(),
              wakePendingSubtitle);
    ASSERT_TRUE(saveTabShot(*view, QStringLiteral("maintenance-wake-reading")));
    release();
    ASSERT_TRUE(idle(*tools));

    // One wake: the figure 1 and "time" without an s; the ember palette has no glow.
    ASSERT_NE(view->wakeCard(), nullptr);
    EXPECT_EQ(view->wakePlaceholder(), nullptr);
    EXPECT_EQ(view->wakeFigure()->text(), QStringLiteral("1"));
    EXPECT_EQ(view->wakeSummary()->text(), QStringLiteral("Computer woke 1 time in the last 24 hours, all from lid open."));
    EXPECT_EQ(view->wakeReasonLines(), (QStringList{"TOP REASONS", "Lid open 1"}));
    EXPECT_FALSE(view->wakeFigureGlows());
    QStringList checked;
    for (QAbstractButton* b : view->wakeWindowButtons())
        if (b->isChecked()) checked << b->text();
    EXPECT_EQ(checked, QStringList{QStringLiteral("24h")});

    // "7d" asks for 168 hours; the old card stays until the new analysis is in.
    setWakes({2, 30, 100});
    hold();
    view->wakeWindowButtons()[3]->click();
    EXPECT_EQ(view->wakeWindowHours(), 168);
    ASSERT_TRUE(waitFor([&] { return log().contains(QStringLiteral("journalctl -k --since=-168h -o short-iso")); }));
    settle();
    EXPECT_EQ(view->wakeFigure()->text(), QStringLiteral("1"));
    release();
    ASSERT_TRUE(idle(*tools));
    EXPECT_EQ(view->wakeFigure()->text(), QStringLiteral("3"));
    EXPECT_EQ(view->wakeSummary()->text(), QStringLiteral("Computer woke 3 times in the last 168 hours, all from lid open."));
    ASSERT_TRUE(saveTabShot(*view, QStringLiteral("maintenance-wake")));

    // A window chosen while a fix runs: the picker moves, the analysis stays, nothing is asked.
    hold();
    view->runQuickFixAction(fix(*tools, QStringLiteral("spotlight")));
    clearLog();
    view->wakeWindowButtons()[0]->click();
    EXPECT_EQ(view->wakeWindowHours(), 12);
    EXPECT_TRUE(view->wakeWindowButtons()[0]->isChecked());
    release();
    ASSERT_TRUE(idle(*tools));
    EXPECT_EQ(view->wakeFigure()->text(), QStringLiteral("3"));
    EXPECT_FALSE(log().join(' ').contains(QStringLiteral("journalctl")));

    // No wakes in the window: 0, the no-wake sentence, no reasons block.
    setWakes({});
    view->selectWakeWindow(24);
    ASSERT_TRUE(idle(*tools));
    EXPECT_EQ(view->wakeFigure()->text(), QStringLiteral("0"));
    EXPECT_EQ(view->wakeSummary()->text(), QStringLiteral("No wake events recorded in the last 24 hours."));
    EXPECT_TRUE(view->wakeReasonLines().isEmpty());

    // A new view shows the analysis the tools hold at once and asks for none; its picker is
    // back on 24h. A glowing palette lights the figure.
    view.reset();
    rig.themes.setCurrent(PaletteTheme::circuit());
    clearLog();
    auto again = showView(*tools);
    settle();
    ASSERT_NE(again->wakeFigure(), nullptr);
    EXPECT_EQ(again->wakeFigure()->text(), QStringLiteral("0"));
    EXPECT_EQ(again->wakeWindowHours(), 24);
    EXPECT_TRUE(again->wakeFigureGlows());
    EXPECT_FALSE(tools->isWorking());
    ASSERT_TRUE(waitFor([&] { return !log().isEmpty(); }));
    QTest::qWait(100);
    EXPECT_EQ(log(), QStringList{QStringLiteral("snapper --utc --iso --csvout list")});
}

TEST_F(MaintenanceViewTest, DashboardOpensItOnTheMaintenanceTab)
{
    auto tools = makeTools();
    DashboardEnvironment env = rig.env();
    env.maintenanceTools = tools.get();
    DetailedView dashboard(env);
    dashboard.resize(1000, 760);
    dashboard.show();
    dashboard.selectTab(DashboardTab::maintenance);
    settle();
    auto* view = dashboard.findChild<MaintenanceView*>();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    ASSERT_TRUE(idle(*tools));
    dashboard.selectTab(DashboardTab::overview);
    EXPECT_EQ(dashboard.findChild<MaintenanceView*>(), nullptr);
}
