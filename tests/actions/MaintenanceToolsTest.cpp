#include "actions/MaintenanceTools.h"
#include "actions/ProgramRestart.h"
#include "platform/linux/LinuxProcessControl.h"
#include "platform/linux/SysfsWakeupSourceReader.h"
#include "support/ChildProcess.h"

#include "support/FakeMonitorState.h"
#include "support/FixtureTree.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A directory of stand-in executables: each stub is a small shell script, so no test ever runs
// pkexec, snapper, journalctl, killall or systemctl for real.
class StubDir {
public:
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }

    // Writes `name` as an executable script with `body`; "$LOG" is a file that collects lines.
    QString stub(const QString& name, const QString& body) const
    {
        const QString path = file(name);
        QFile script(path);
        script.open(QIODevice::WriteOnly | QIODevice::Truncate);
        script.write("#!/bin/sh\nLOG='" + QFile::encodeName(file(QStringLiteral("log"))) + "'\n" + body.toUtf8() + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    // The lines the stubs appended to "$LOG".
    QStringList log() const
    {
        QFile f(file(QStringLiteral("log")));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir m_dir;
};

// Records every argument on a line of its own, then runs what it was asked to run as the user.
const QString kExecPkexec = QStringLiteral("for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$LOG\"; done\nexec \"$@\"");
// Records its arguments and answers like a dismissed authentication dialog, without running anything.
const QString kRecordingPkexec = QStringLiteral("printf 'pkexec %s\\n' \"$*\" >> \"$LOG\"\nexit ${PKEXEC_EXIT:-0}");

const QString kSnapperList = QStringLiteral(
    "config,subvolume,number,default,active,type,pre-number,date,user,used-space,cleanup,description,userdata\n"
    "root,/,0,no,no,single,,,root,,,current,\n"
    "root,/,7,no,no,pre,,2024-01-15 08:30:12,root,,number,\"zypp, update\",\n"
    "root,/,8,no,no,post,7,2024-03-02 10:00:00,root,,number,,\n"
    "root,/,9,yes,yes,single,,2023-12-31 23:59:59,root,,,,\n");

// A snapper that logs each call, lists kSnapperList and fails to delete `failing`.
QString snapperStub(const char* failing)
{
    return QStringLiteral("echo \"$*\" >> \"$LOG\"\n"
                          "case \"$1\" in delete) [ \"$2\" = %1 ] || exit 0;"
                          " echo \"Snapshot '$2' not found.\" >&2; exit 1;; esac\n"
                          "cat <<'EOF'\n")
               .arg(QString::fromLatin1(failing)) +
           kSnapperList + QStringLiteral("EOF");
}

struct Completed {
    bool called = false;
    bool success = false;
    std::optional<QString> message;
};

class MaintenanceToolsTest : public ::testing::Test {
protected:
    MaintenanceTools::Tools tools()
    {
        MaintenanceTools::Tools t;
        for (const char* name : {"pkexec", "snapper", "journalctl", "killall", "systemctl", "update-desktop-database"}) {
            const QString path = stubs.file(QString::fromLatin1(name));
            if (QString::fromLatin1(name) == QLatin1String("pkexec")) t.pkexec = path;
            if (QString::fromLatin1(name) == QLatin1String("snapper")) t.snapper = path;
            if (QString::fromLatin1(name) == QLatin1String("journalctl")) t.journalctl = path;
            if (QString::fromLatin1(name) == QLatin1String("killall")) t.killall = path;
            if (QString::fromLatin1(name) == QLatin1String("systemctl")) t.systemctl = path;
            if (QString::fromLatin1(name) == QLatin1String("update-desktop-database")) t.updateDesktopDatabase = path;
        }
        t.snapperConfig = stubs.file(QStringLiteral("snapper-root"));
        t.userName = QStringLiteral("root");
        t.applicationsDir = QStringLiteral("/home/someone/.local/share/applications");
        t.processDeadline = 10s;
        t.adminDeadline = 10s;
        t.wakeupReadInterval = 0ms;  // the tests hand in their own readings
        return t;
    }

    std::unique_ptr<MaintenanceTools> make(MaintenanceTools::Tools t)
    {
        return std::make_unique<MaintenanceTools>(monitor, clock, wakeups, processes, std::move(t));
    }
    std::unique_ptr<MaintenanceTools> make() { return make(tools()); }

    MaintenanceTools::Completion into(Completed& done)
    {
        return [&done](bool success, std::optional<QString> message) {
            done = {true, success, std::move(message)};
        };
    }

    static bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 15000); }

    StubDir stubs;
    FakeMonitorState monitor;
    ManualClock clock;
    LinuxProcessControl processes;
    SysfsWakeupSourceReader wakeups{fixturePath("sys/wakeup/laptop"), fixturePath("sys/wakeup/bus"),
                                    {fixturePath("sys/wakeup/hwdata/pci.ids")}};
};

}  // namespace

// ---- The two runners

TEST_F(MaintenanceToolsTest, processRunnerDrainsBothPipesAndReportsStatus)
{
    // A megabyte on each pipe would stall a runner that reads one pipe after the other.
    const QString chatty = stubs.stub(QStringLiteral("chatty"),
                                      QStringLiteral("head -c 1048576 /dev/zero | tr '\\0' o\n"
                                                     "head -c 1048576 /dev/zero | tr '\\0' e >&2\nexit 3"));
    auto tools = make();
    const MaintenanceTools::ProcessResult result = tools->runProcess(chatty, {});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.output.size(), 1048576);
    EXPECT_EQ(result.errorOutput.size(), 1048576);

    const QString args = stubs.stub(QStringLiteral("args"), QStringLiteral("printf '[%s]' \"$@\""));
    EXPECT_EQ(tools->runProcess(args, {QStringLiteral("a b"), QStringLiteral("$(x);'\"")}).output,
              QStringLiteral("[a b][$(x);'\"]"));

    const QString latin1 = stubs.stub(QStringLiteral("latin1"), QStringLiteral("printf 'caf\\351'; printf 'ok' >&2"));
    const MaintenanceTools::ProcessResult bad = tools->runProcess(latin1, {});
    EXPECT_EQ(bad.status, 0);
    EXPECT_EQ(bad.output, QString());  // not UTF-8
    EXPECT_EQ(bad.errorOutput, QStringLiteral("ok"));

    const MaintenanceTools::ProcessResult missing = tools->runProcess(stubs.file(QStringLiteral("absent")), {});
    EXPECT_EQ(missing.status, -1);
    EXPECT_FALSE(missing.errorOutput.isEmpty());
}

TEST_F(MaintenanceToolsTest, processRunnerKillsAToolThatOutlivesItsDeadline)
{
    const QString hang = stubs.stub(QStringLiteral("hang"), QStringLiteral("echo started\nexec sleep 30"));
    MaintenanceTools::Tools t = tools();
    t.processDeadline = 300ms;
    auto tools = make(t);
    QElapsedTimer timer;
    timer.start();
    const MaintenanceTools::ProcessResult result = tools->runProcess(hang, {});
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.errorOutput, QStringLiteral("Timed out after 0.3 s"));
}

TEST_F(MaintenanceToolsTest, adminShellPassesTheCommandAsOneArgumentAndDataAsParameters)
{
    stubs.stub(QStringLiteral("pkexec"), kExecPkexec);
    auto tools = make();
    const QString command = QStringLiteral("printf '%s|%s' \"$1\" \"$2\"; echo \" \\\\n\" >/dev/null");
    const QString data = QStringLiteral("a \"quoted\" \\back; rm -rf /");
    const MaintenanceTools::AdminShellResult result = tools->runAdminShell(command, {data, QStringLiteral("two")});
    EXPECT_TRUE(result.success);
    EXPECT_EQ(result.error, std::nullopt);
    EXPECT_EQ(result.output, data + QStringLiteral("|two"));
    EXPECT_EQ(stubs.log(), (QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"), command, QStringLiteral("sh"),
                                        data, QStringLiteral("two")}));
}

TEST_F(MaintenanceToolsTest, adminShellFailures)
{
    struct Case {
        const char* body;
        std::optional<QString> error;
    };
    const Case cases[] = {
        {"exit 126", QStringLiteral("Cancelled")},
        {"echo 'Error executing command as another user: Not authorized' >&2; exit 127",
         QStringLiteral("Error executing command as another user: Not authorized")},
        {"exit 1", QStringLiteral("Unknown error")},
    };
    for (const Case& c : cases) {
        stubs.stub(QStringLiteral("pkexec"), QString::fromLatin1(c.body));
        auto tools = make();
        const MaintenanceTools::AdminShellResult result = tools->runAdminShell(QStringLiteral("true"));
        EXPECT_FALSE(result.success) << c.body;
        EXPECT_EQ(result.output, QString()) << c.body;
        EXPECT_EQ(result.error, c.error) << c.body;
    }
    MaintenanceTools::Tools t = tools();
    t.pkexec = stubs.file(QStringLiteral("no-pkexec"));
    const MaintenanceTools::AdminShellResult missing = make(t)->runAdminShell(QStringLiteral("true"));
    EXPECT_FALSE(missing.success);
    EXPECT_FALSE(missing.error.value_or(QString()).isEmpty());
}

// ---- Instant fixes and the lock

TEST_F(MaintenanceToolsTest, dnsFlushRecordsAfterTheCompletionOnSuccess)
{
    stubs.stub(QStringLiteral("pkexec"), kRecordingPkexec);
    auto tools = make();
    Completed done;
    size_t actionsAtCompletion = 99;
    tools->flushDNS([&](bool success, std::optional<QString> message) {
        done = {true, success, message};
        actionsAtCompletion = monitor.actions.size();
    });
    EXPECT_TRUE(tools->isWorking());
    ASSERT_TRUE(waitFor([&] { return !monitor.actions.isEmpty(); }));
    EXPECT_TRUE(done.success);
    EXPECT_EQ(done.message, std::nullopt);
    EXPECT_EQ(actionsAtCompletion, 0u);
    EXPECT_FALSE(tools->isWorking());
    EXPECT_EQ(tools->lastDNSFlush(), clock.now());
    EXPECT_EQ(stubs.log(), QStringList{QStringLiteral("pkexec /bin/sh -c resolvectl flush-caches")});
    const ActionRecord& record = monitor.actions.first();
    EXPECT_EQ(record.action, ActionType::systemCheck);
    EXPECT_EQ(record.target, QStringLiteral("DNS cache"));
    EXPECT_EQ(record.detail, QStringLiteral("Flushed the resolver cache (resolvectl)"));
    EXPECT_FALSE(record.wasAutomatic);
}

TEST_F(MaintenanceToolsTest, dismissedPromptIsCancelledAndChangesNoDate)
{
    stubs.stub(QStringLiteral("pkexec"), QStringLiteral("exit 126"));
    auto tools = make();
    Completed done;
    tools->flushDNS(into(done));
    ASSERT_TRUE(waitFor([&] { return done.called; }));
    EXPECT_FALSE(done.success);
    EXPECT_EQ(done.message, QStringLiteral("Cancelled"));
    EXPECT_EQ(tools->lastError(), QStringLiteral("Cancelled"));
    EXPECT_EQ(tools->lastDNSFlush(), std::nullopt);
    QTest::qWait(50);
    EXPECT_TRUE(monitor.actions.isEmpty());
}

TEST_F(MaintenanceToolsTest, oneOperationHoldsTheToolsAndShutdownStopsIt)
{
    stubs.stub(QStringLiteral("pkexec"), QStringLiteral("echo waiting >> \"$LOG\"\nexec sleep 30"));
    auto tools = make();
    Completed first;
    tools->flushDNS(into(first));
    ASSERT_TRUE(waitFor([&] { return !stubs.log().isEmpty(); }));

    Completed second;
    tools->runQuickFix(tools->quickFixes().first(), into(second));
    EXPECT_TRUE(second.called);  // at once, not later
    EXPECT_FALSE(second.success);
    EXPECT_EQ(second.message, QString::fromLatin1(MaintenanceTools::busyText));
    int deleted = -1;
    QStringList failed;
    tools->deleteAllSnapshots([&](int d, QStringList f) {
        deleted = d;
        failed = f;
    });
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(failed, QStringList{QString::fromLatin1(MaintenanceTools::busyText)});
    bool wakeCalled = false;
    tools->analyzeWakes(24, [&](std::optional<WakeAnalysis> a) {
        wakeCalled = true;
        EXPECT_EQ(a, std::nullopt);
    });
    EXPECT_TRUE(wakeCalled);
    EXPECT_TRUE(tools->isWorking());
    EXPECT_EQ(tools->lastError(), std::nullopt);

    // Quitting does not wait out the authentication dialog; the caller still hears back once.
    QElapsedTimer timer;
    timer.start();
    tools.reset();
    EXPECT_LT(timer.elapsed(), 5000);
    ASSERT_TRUE(waitFor([&] { return first.called; }));
    EXPECT_FALSE(first.success);
}

TEST_F(MaintenanceToolsTest, audioResetRestartsTheUserSoundServices)
{
    stubs.stub(QStringLiteral("systemctl"), QStringLiteral("printf '%s\\n' \"$*\" >> \"$LOG\""));
    auto tools = make();
    Completed done;
    tools->resetAudioServer(into(done));
    ASSERT_TRUE(waitFor([&] { return !monitor.actions.isEmpty(); }));
    EXPECT_TRUE(done.success);
    EXPECT_EQ(stubs.log(), QStringList{QStringLiteral("--user restart pipewire pipewire-pulse wireplumber")});
    EXPECT_EQ(tools->lastAudioReset(), clock.now());
    EXPECT_EQ(monitor.actions.first().target, QStringLiteral("pipewire"));
    EXPECT_EQ(monitor.actions.first().detail, QStringLiteral("Audio server reset"));
}

TEST_F(MaintenanceToolsTest, quickFixTableKeepsItsRowsAndRunsAdminRowsThroughPkexec)
{
    stubs.stub(QStringLiteral("pkexec"), kRecordingPkexec);
    auto tools = make();
    QStringList ids;
    for (const QuickFix& fix : tools->quickFixes()) ids << fix.id;
    EXPECT_EQ(ids, (QStringList{"finder", "dock", "purge", "spotlight", "launchservices", "fontcache"}));
    const QuickFix& purge = tools->quickFixes()[2];
    Completed done;
    tools->runQuickFix(purge, into(done));
    ASSERT_TRUE(waitFor([&] { return !monitor.actions.isEmpty(); }));
    EXPECT_TRUE(done.success);
    EXPECT_EQ(stubs.log(), QStringList{QStringLiteral("pkexec /bin/sh -c sync; echo 3 > /proc/sys/vm/drop_caches")});
    EXPECT_EQ(monitor.actions.first().target, QStringLiteral("Purge Inactive Memory"));
    EXPECT_EQ(monitor.actions.first().detail, QStringLiteral("Inactive memory purged"));
    EXPECT_EQ(tools->lastQuickFixRun().value(QStringLiteral("purge")), clock.now());
}

TEST(ProgramRestart, userUnitComesFromTheCgroupBelowTheUserManager)
{
    const std::pair<const char*, std::optional<QString>> rows[] = {
        {"0::/user.slice/user-1000.slice/user@1000.service/app.slice/plasma-plasmashell.service\n",
         QStringLiteral("plasma-plasmashell.service")},
        {"12:pids:/user.slice\n0::/user.slice/user-1000.slice/user@1000.service/session.slice/org.gnome.Shell@x11.service\n",
         QStringLiteral("org.gnome.Shell@x11.service")},
        // Started by the session itself, or as a transient scope: nothing to restart it with.
        {"0::/user.slice/user-1000.slice/session-2.scope\n", std::nullopt},
        {"0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-org.gnome.Nautilus-1234.scope\n", std::nullopt},
        {"0::/system.slice/display-manager.service\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, unit] : rows) EXPECT_EQ(ProgramRestart::userUnitFromCgroup(QString::fromLatin1(text)), unit) << text;
}

TEST_F(MaintenanceToolsTest, restartStopsTheFirstRunningProgramAndStartsItAgain)
{
    // Two names of this test's own; only the second runs, with arguments and its own folder.
    const QString suffix = QString::number(::getpid() % 100000);
    const QString absent = QStringLiteral("vmfa") + suffix;
    const QString present = QStringLiteral("vmfb") + suffix;
    // A real program (a copy of sleep) under that name: a script would be started again as "sh".
    const QString program = stubs.file(present);
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    ChildProcess child({program, QStringLiteral("600"), QStringLiteral("1s")});
    QDir::setCurrent(previous);
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(waitFor([&] { return ProgramRestart::findOwn(QStringLiteral("/proc"), present, ::getuid()).size() == 1; }));
    const RunningProgram before = ProgramRestart::findOwn(QStringLiteral("/proc"), present, ::getuid()).first();

    MaintenanceTools::Tools t = tools();
    t.sessionRestartWait = 50ms;
    auto maintenance = make(t);
    QuickFix fix = maintenance->quickFixes().first();
    fix.restartPrograms = {absent, present};
    Completed done;
    maintenance->runQuickFix(fix, into(done));
    ASSERT_TRUE(waitFor([&] { return !monitor.actions.isEmpty(); }));
    EXPECT_TRUE(done.success);
    EXPECT_EQ(monitor.actions.first().target, QStringLiteral("Restart Files"));
    EXPECT_EQ(monitor.actions.first().detail, QStringLiteral("Restarted ") + present);

    ASSERT_TRUE(child.waitForExit(5s));
    EXPECT_EQ(child.terminatingSignal(), SIGTERM);
    QList<RunningProgram> after;
    ASSERT_TRUE(waitFor([&] {
        after = ProgramRestart::findOwn(QStringLiteral("/proc"), present, ::getuid());
        return after.size() == 1 && after.first().argv == before.argv;
    }));
    EXPECT_NE(after.first().pid, child.pid());
    EXPECT_EQ(after.first().argv, before.argv);
    EXPECT_EQ(after.first().argv, (QStringList{program, QStringLiteral("600"), QStringLiteral("1s")}));
    EXPECT_EQ(after.first().workingDirectory, before.workingDirectory);
    ::kill(after.first().pid, SIGKILL);  // the copy this test caused to be started
}

TEST_F(MaintenanceToolsTest, restartGoesThroughTheUserUnitAndSaysWhenNothingRuns)
{
    // A process table with a panel that a systemd user unit runs.
    QTemporaryDir proc;
    const QString dir = proc.path() + QStringLiteral("/4242");
    QDir().mkpath(dir);
    auto write = [&](const char* name, const QByteArray& text) {
        QFile f(dir + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write("comm", "plasmashell\n");
    write("status", "Name:\tplasmashell\nUid:\t" + QByteArray::number(::getuid()) + "\t0\t0\t0\n");
    write("cmdline", QByteArray("/usr/bin/plasmashell\0--no-respawn\0", 34));
    write("cgroup", "0::/user.slice/user-1000.slice/user@1000.service/session.slice/plasma-plasmashell.service\n");
    stubs.stub(QStringLiteral("systemctl"), QStringLiteral("echo \"$*\" >> \"$LOG\"\nexit ${SYSTEMCTL_EXIT:-0}"));

    MaintenanceTools::Tools t = tools();
    t.procRoot = proc.path();
    auto maintenance = make(t);
    const QuickFix panel = maintenance->quickFixes()[1];
    Completed done;
    maintenance->runQuickFix(panel, into(done));
    ASSERT_TRUE(waitFor([&] { return !monitor.actions.isEmpty(); }));
    EXPECT_TRUE(done.success);
    EXPECT_EQ(stubs.log(), QStringList{QStringLiteral("--user restart plasma-plasmashell.service")});
    EXPECT_EQ(monitor.actions.first().target, QStringLiteral("Restart Panel"));
    EXPECT_EQ(monitor.actions.first().detail, QStringLiteral("Restarted plasmashell (plasma-plasmashell.service)"));

    // Another user's panel is not ours to restart; with none of the list running, it says so.
    write("status", "Uid:\t" + QByteArray::number(::getuid() + 1) + "\t0\t0\t0\n");
    monitor.actions.clear();
    Completed nothing;
    maintenance->runQuickFix(panel, into(nothing));
    ASSERT_TRUE(waitFor([&] { return !monitor.actions.isEmpty(); }));
    EXPECT_TRUE(nothing.success);
    EXPECT_EQ(monitor.actions.first().detail,
              QStringLiteral("Nothing to restart: none of plasmashell, xfce4-panel, mate-panel, lxqt-panel, lxpanel is running"));
    EXPECT_EQ(stubs.log().size(), 1);
}

TEST_F(MaintenanceToolsTest, userFixFailures)
{
    struct Case {
        const char* body;  // of update-desktop-database; nullptr: not installed
        QString message;
    };
    const Case cases[] = {
        // Status 1 is a failure for a tool whose name does not end in "all".
        {"echo 'cannot read directory' >&2; exit 1", QStringLiteral("cannot read directory")},
        {"exit 1", QStringLiteral("exit 1")},
        {"exit 2", QStringLiteral("exit 2")},
    };
    for (const Case& c : cases) {
        stubs.stub(QStringLiteral("update-desktop-database"), QString::fromLatin1(c.body));
        auto tools = make();
        Completed done;
        tools->runQuickFix(tools->quickFixes()[4], into(done));
        ASSERT_TRUE(waitFor([&] { return done.called; }));
        EXPECT_FALSE(done.success);
        EXPECT_EQ(done.message, c.message);
        EXPECT_EQ(tools->lastError(), c.message);
        EXPECT_FALSE(tools->lastQuickFixRun().contains(QStringLiteral("launchservices")));
    }

    auto tools = make();
    QuickFix missing = tools->quickFixes()[4];
    missing.userExec = {{stubs.file(QStringLiteral("absent")), {}}};
    Completed notStarted;
    tools->runQuickFix(missing, into(notStarted));
    ASSERT_TRUE(waitFor([&] { return notStarted.called; }));
    EXPECT_FALSE(notStarted.success);
    EXPECT_FALSE(notStarted.message.value_or(QString()).isEmpty());
    EXPECT_NE(notStarted.message, QStringLiteral("exit -1"));

    QuickFix misconfigured = missing;
    misconfigured.userExec.clear();
    Completed none;
    tools->runQuickFix(misconfigured, into(none));
    ASSERT_TRUE(waitFor([&] { return none.called; }));
    EXPECT_EQ(none.message, QStringLiteral("misconfigured fix"));
    QTest::qWait(50);
    EXPECT_TRUE(monitor.actions.isEmpty());
}

// ---- Local snapshots

TEST(SnapshotList, parsesTheToolsCsvNewestFirst)
{
    const QList<LocalSnapshot> snapshots = MaintenanceTools::parseSnapshotList(
        kSnapperList + QStringLiteral("root,/,10,no,no,single,,2024-13-01 00:00:00,root,,,,\n"  // month 13
                                      "root,/,11\n"                                             // cut short
                                      "root,/,x12,no,no,single,,2024-01-01 00:00:00,root,,,,\r\n"
                                      "root,/,13,no,no,single,,2024-02-01 09:00:00,root,,,\"a,\"\"b\"\"\",\r\n"));
    QStringList names;
    for (const LocalSnapshot& s : snapshots) names << s.name;
    // 0 is the live system; 10, 11 and x12 do not read.
    EXPECT_EQ(names, (QStringList{"8", "13", "7", "9"}));
    EXPECT_EQ(snapshots[2].date, QDateTime(QDate(2024, 1, 15), QTime(8, 30, 12), QTimeZone::utc()));
    EXPECT_NE(snapshots[0].id, MaintenanceTools::parseSnapshotList(kSnapperList).first().id);

    EXPECT_TRUE(MaintenanceTools::parseSnapshotList(QString()).isEmpty());
    EXPECT_TRUE(MaintenanceTools::parseSnapshotList(QStringLiteral("Unknown config.\n")).isEmpty());
    EXPECT_TRUE(MaintenanceTools::parseSnapshotList(QStringLiteral("number,type\n7,single\n")).isEmpty());
    EXPECT_EQ(MaintenanceTools::splitCsvLine(QStringLiteral("a,\"b,c\",\"d\"\"e\",")),
              (QStringList{"a", "b,c", "d\"e", ""}));
}

TEST(SnapshotList, allowUsersDecidesWhoDeletesWithoutAdministratorRights)
{
    const QString config = QStringLiteral("SUBVOLUME=\"/\"\nALLOW_USERS=\"alice bob\"\nALLOW_GROUPS=\"\"\n");
    EXPECT_TRUE(MaintenanceTools::snapperAllowsUser(config, QStringLiteral("bob")));
    EXPECT_FALSE(MaintenanceTools::snapperAllowsUser(config, QStringLiteral("bo")));
    EXPECT_FALSE(MaintenanceTools::snapperAllowsUser(config, QString()));
    EXPECT_FALSE(MaintenanceTools::snapperAllowsUser(QStringLiteral("ALLOW_USERS=\"\"\n"), QStringLiteral("alice")));
    EXPECT_FALSE(MaintenanceTools::snapperAllowsUser(QStringLiteral("#ALLOW_USERS=\"alice\"\n"), QStringLiteral("alice")));
    // Membership of an allowed group admits as well.
    const QString groups = QStringLiteral("ALLOW_USERS=\"\"\nALLOW_GROUPS=\"wheel snapper\"\n");
    EXPECT_TRUE(MaintenanceTools::snapperAllowsUser(groups, QStringLiteral("carol"), {"users", "snapper"}));
    EXPECT_FALSE(MaintenanceTools::snapperAllowsUser(groups, QStringLiteral("carol"), {"users", "snap"}));
    EXPECT_FALSE(MaintenanceTools::snapperAllowsUser(config, QStringLiteral("carol"), {"alice"})) << "a group is not a user";
}

TEST_F(MaintenanceToolsTest, listingReadsTheToolOrGivesNothingWithoutIt)
{
    stubs.stub(QStringLiteral("snapper"), QStringLiteral("echo \"$*\" >> \"$LOG\"\ncat <<'EOF'\n") + kSnapperList +
                                              QStringLiteral("EOF"));
    auto tools = make();
    tools->refreshSnapshots();
    ASSERT_TRUE(waitFor([&] { return tools->localSnapshots().size() == 3; }));
    EXPECT_EQ(stubs.log(), QStringList{QStringLiteral("--utc --iso --csvout list")});

    QFile::remove(stubs.file(QStringLiteral("snapper")));
    tools->refreshSnapshots();
    ASSERT_TRUE(waitFor([&] { return tools->localSnapshots().isEmpty(); }));
}

TEST_F(MaintenanceToolsTest, listingAsksForNoPasswordWhereSnapperHasNoConfiguration)
{
    stubs.stub(QStringLiteral("pkexec"), kRecordingPkexec);
    stubs.stub(QStringLiteral("snapper"), QStringLiteral("echo \"$*\" >> \"$LOG\""));
    MaintenanceTools::Tools t = tools();
    t.userName = QStringLiteral("mallory");  // not root, and no configuration file admits anyone
    auto tools = make(t);
    QSignalSpy changed(tools.get(), &MaintenanceTools::changed);
    tools->refreshSnapshots();
    ASSERT_TRUE(changed.wait(15000));
    EXPECT_TRUE(tools->localSnapshots().isEmpty());
    EXPECT_TRUE(stubs.log().isEmpty());
}

TEST_F(MaintenanceToolsTest, deletingOneSnapshot)
{
    stubs.stub(QStringLiteral("snapper"), snapperStub("7"));
    auto tools = make();
    tools->refreshSnapshots();
    ASSERT_TRUE(waitFor([&] { return tools->localSnapshots().size() == 3; }));
    const QList<LocalSnapshot> before = tools->localSnapshots();

    // A name that is not a snapshot number never reaches the tool.
    bool answered = false;
    LocalSnapshot bogus = before[1];
    bogus.name = QStringLiteral("8; rm -rf /");
    tools->deleteSnapshot(bogus, [&](bool ok, QString) {
        answered = true;
        EXPECT_FALSE(ok);
    });
    EXPECT_TRUE(answered);

    std::optional<std::pair<bool, QString>> failed;
    tools->deleteSnapshot(before[1], [&](bool ok, QString error) { failed = {ok, error}; });  // "7"
    ASSERT_TRUE(waitFor([&] { return failed.has_value(); }));
    EXPECT_FALSE(failed->first);
    EXPECT_EQ(failed->second, QStringLiteral("Snapshot '7' not found."));
    EXPECT_EQ(tools->localSnapshots().size(), 3);

    std::optional<bool> deleted;
    tools->deleteSnapshot(before[0], [&](bool ok, QString) { deleted = ok; });  // "8"
    ASSERT_TRUE(waitFor([&] { return !monitor.actions.isEmpty(); }));
    EXPECT_EQ(deleted, true);
    ASSERT_EQ(tools->localSnapshots().size(), 2);
    EXPECT_EQ(tools->localSnapshots()[0].name, QStringLiteral("7"));
    EXPECT_EQ(stubs.log(), (QStringList{"--utc --iso --csvout list", "delete 7", "delete 8"}));
    EXPECT_EQ(monitor.actions.first().action, ActionType::cacheCleared);
    EXPECT_EQ(monitor.actions.first().target, QStringLiteral("local snapshot (snapper)"));
    EXPECT_EQ(monitor.actions.first().detail, QStringLiteral("8"));
    EXPECT_EQ(tools->lastError(), std::nullopt);
}

TEST_F(MaintenanceToolsTest, deletingAllSnapshotsAsUserOrAsAdministrator)
{
    // The administrator path runs the constant loop through pkexec with the numbers as
    // parameters; its snapper is found on PATH, where the stub directory comes first.
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(stubs.path()) + ':' + oldPath);
    stubs.stub(QStringLiteral("pkexec"), QStringLiteral("echo pkexec >> \"$LOG\"\nexec \"$@\""));
    stubs.stub(QStringLiteral("snapper"), snapperStub("7"));
    QFile config(stubs.file(QStringLiteral("snapper-root")));
    config.open(QIODevice::WriteOnly);
    config.write("ALLOW_USERS=\"alice\"\n");
    config.close();

    struct Case {
        const char* user;
        QStringList log;
    };
    const Case cases[] = {
        {"alice", {"delete 8", "delete 7", "delete 9"}},
        {"mallory", {"pkexec", "delete 8", "delete 7", "delete 9", "pkexec"}},
    };
    for (const Case& c : cases) {
        MaintenanceTools::Tools t = tools();
        t.userName = QString::fromLatin1(c.user);
        auto tools = make(t);
        tools->refreshSnapshots();
        ASSERT_TRUE(waitFor([&] { return tools->localSnapshots().size() == 3; }));
        QFile::remove(stubs.file(QStringLiteral("log")));
        monitor.actions.clear();
        std::optional<std::pair<int, QStringList>> result;
        tools->deleteAllSnapshots([&](int deleted, QStringList failed) { result = {deleted, failed}; });
        EXPECT_TRUE(tools->isWorking());
        ASSERT_TRUE(waitFor([&] { return !monitor.actions.isEmpty(); }));
        EXPECT_EQ(result->first, 2) << c.user;
        EXPECT_EQ(result->second, QStringList{QStringLiteral("7")}) << c.user;
        EXPECT_FALSE(tools->isWorking());
        EXPECT_EQ(monitor.actions.first().target, QStringLiteral("local snapshots (snapper)"));
        EXPECT_EQ(monitor.actions.first().detail, QStringLiteral("Deleted 2, failed 1"));
        // The run asks for a fresh listing.
        ASSERT_TRUE(waitFor([&] { return stubs.log().size() == c.log.size() + 1; }));
        EXPECT_EQ(stubs.log(), c.log + QStringList{QStringLiteral("--utc --iso --csvout list")}) << c.user;

        // A single deletion hands on the tool's error on either path.
        std::optional<std::pair<bool, QString>> single;
        tools->deleteSnapshot(tools->localSnapshots()[1], [&](bool ok, QString error) { single = {ok, error}; });
        ASSERT_TRUE(waitFor([&] { return single.has_value(); }));
        EXPECT_EQ(single, (std::pair<bool, QString>{false, QStringLiteral("Snapshot '7' not found.")})) << c.user;
    }
    qputenv("PATH", oldPath);
}

TEST_F(MaintenanceToolsTest, deletingAllOfAnEmptyListingStillRecordsAndRelists)
{
    stubs.stub(QStringLiteral("snapper"), QStringLiteral("echo \"$*\" >> \"$LOG\""));
    auto tools = make();
    std::optional<std::pair<int, QStringList>> result;
    tools->deleteAllSnapshots([&](int deleted, QStringList failed) { result = {deleted, failed}; });
    ASSERT_TRUE(waitFor([&] { return !monitor.actions.isEmpty() && !stubs.log().isEmpty(); }));
    EXPECT_EQ(result, (std::pair<int, QStringList>{0, {}}));
    EXPECT_EQ(monitor.actions.first().detail, QStringLiteral("Deleted 0, failed 0"));
    EXPECT_EQ(stubs.log(), QStringList{QStringLiteral("--utc --iso --csvout list")});
}

// ---- Wake analysis

TEST(WakeLog, readsReasonsAndSkipsWhatItCannotPlace)
{
    const QDateTime now(QDate(2024, 1, 15), QTime(12, 0), QTimeZone::utc());
    struct Case {
        QString line;
        QString label;  // empty: the line is skipped
    };
    const Case cases[] = {
        {"2024-01-15 08:30:12 +0000 DarkWake from Deep Idle [CDNP] : due to EC.LidOpen/Lid Open", "Lid open"},
        {"2024-01-15 09:30:12 +0100 Wake from Deep Idle [CDNVA] : due to KEY/Text (Charge:100%)", "KEY"},
        {"2024-01-15 08:30:12 +0000 Wake from Deep Idle due to ec.lidopen", "ec.lidopen"},
        {"2024-01-15 08:30:12 +0000 Wake from Deep Idle due to   :XHC1", "Unknown"},
        {"2024-01-15 08:30:12 +0000 Wake from Deep Idle due to ", "Unknown"},
        {"2024-01-15 13:00:00 +0000 Wake from Deep Idle due to RTC/Alarm", "Scheduled wake"},  // after now
        {"2024-01-15 08:30:12 +0000 Wake from Deep Idle due toXHC1", ""},
        {"2024-01-15 08:30:12 +0000 Sleep entered due to XHC1", ""},
        {"Wake from due to XHC1", ""},                                                  // short
        {"2024-01-15 8:30:12  +0000 Wake from Deep Idle due to XHC1/USB", ""},           // time unreadable
        {"yesterday, half past eight Wake from Deep Idle due to XHC1/USB", ""},
        {"2024-01-14 08:30:12 +0000 Wake from Deep Idle due to XHC1/USB", ""},           // before the window
        {"2024-01-15 08:30:12 +2500 Wake from Deep Idle due to XHC1/USB", ""},           // no such offset
    };
    for (const Case& c : cases) {
        const WakeAnalysis a = MaintenanceTools::parseWakeLog(c.line + QStringLiteral("\n"), 24, now);
        if (c.label.isEmpty()) {
            EXPECT_EQ(a.totalWakes, 0) << qPrintable(c.line);
            continue;
        }
        ASSERT_EQ(a.totalWakes, 1) << qPrintable(c.line);
        EXPECT_EQ(a.topReasons.first().first, c.label) << qPrintable(c.line);
    }
    EXPECT_EQ(MaintenanceTools::normalizeWakeReason(QStringLiteral(" \tPNP/XHC2 ")), QStringLiteral("USB device"));
    EXPECT_EQ(MaintenanceTools::parseWakeLog(QString(), 3, now).humanSummary,
              QStringLiteral("No wake events recorded in the last 3 hours."));
    const WakeAnalysis window = MaintenanceTools::parseWakeLog(QString(), 2, now);
    EXPECT_EQ(window.windowStart, now.addSecs(-7200));
    EXPECT_EQ(window.windowEnd, now);
}

TEST(WakeLog, countsLabelsAndSummarises)
{
    const QDateTime now(QDate(2024, 1, 15), QTime(12, 0), QTimeZone::utc());
    auto log = [](const QStringList& reasons) {
        QString text;
        for (const QString& r : reasons) text += QStringLiteral("2024-01-15 11:30:00 +0000 Wake from Sleep due to ") + r + '\n';
        return text;
    };
    const WakeAnalysis one = MaintenanceTools::parseWakeLog(log({"LID0"}), 1, now);
    EXPECT_EQ(one.humanSummary, QStringLiteral("Computer woke 1 time in the last 1 hours, all from lid open."));

    const WakeAnalysis five = MaintenanceTools::parseWakeLog(log({"XHC1/a", "RTC", "EHC2", "LID0", "XHC0"}), 24, now);
    EXPECT_EQ(five.humanSummary,
              QStringLiteral("Computer woke 5 times in the last 24 hours, mostly from usb device (3)."));
    EXPECT_EQ(five.topReasons, (QList<QPair<QString, int>>{{"USB device", 3}, {"Scheduled wake", 1}, {"Lid open", 1}}));

    const WakeAnalysis seven =
        MaintenanceTools::parseWakeLog(log({"LID0", "RTC", "PWRB", "WIFI", "EC.FanOff", "BT.OOB", "XHC1"}), 24, now);
    EXPECT_EQ(seven.totalWakes, 7);
    ASSERT_EQ(seven.topReasons.size(), 5);
    EXPECT_EQ(seven.topReasons.first(), (QPair<QString, int>{"Lid open", 1}));
    EXPECT_EQ(seven.topReasons.last(), (QPair<QString, int>{"Thermal", 1}));
}

TEST(WakeLog, eachWakeIsAttributedToWhatRoseAcrossItsOwnSleep)
{
    auto at = [](int h, int m, int sec = 0) { return QDateTime(QDate(2024, 1, 15), QTime(h, m, sec), QTimeZone::utc()); };
    const QString journal = QStringLiteral(
        "-- Boot 1f2e --\n"
        "2024-01-15T09:30:12+0100 laptop kernel: PM: suspend entry (deep)\n"
        "2024-01-15T09:30:12+0100 laptop kernel: PM: suspend exit\n"             // 08:30:12
        "2024-01-15T10:00:00+01:00 laptop kernel: PM: hibernation: hibernation exit\n"  // 09:00
        "2024-01-15T10:00:00Z laptop kernel: PM: suspend exit\n"
        "2024-01-15T11:00:00Z laptop kernel: PM: suspend exit\n"
        "2024-01-15T11:20:00Z laptop kernel: PM: suspend exit\n"
        "2024-01-15T11:40:00Z laptop kernel: PM: suspend exit\n"
        "2024-01-15T11:50:00Z laptop kernel: PM: suspend exit\n"
        "2024-01-15T11:55:00Z laptop kernel: PM: suspend exit\n"
        "Jan 15 11:00:00 laptop kernel: PM: suspend exit\n"
        "2024-01-15T10:00:00+0100 laptop systemd-sleep[812]: System returned from sleep state.\n");
    const QList<WakeupRise> rises{
        // The journal places the wake a few seconds after the reading that followed it.
        {at(8, 0), at(8, 30, 5), {{"[timerfd]", 40}, {"PNP0C0D:00", 1}}},
        {at(8, 45), at(9, 0, 1), {{"eventpoll", 3}, {"1-4", 2}, {"0000:00:14.0", 2}}},
        {at(9, 50), at(10, 0, 1), {{"eventpoll", 7}}},  // only noise rose
        {at(10, 50), at(11, 0, 1), {}},                 // nothing rose
        {at(11, 10), at(11, 45), {{"PNP0C0C:00", 1}}},  // two wakes inside: neither can be told
        {at(11, 52), at(11, 52, 30), {{"alarmtimer.0.auto", 1}}},  // ended before the wake
    };
    QStringList asked;
    const auto deviceName = [&](const QString& source) {
        asked << source;
        if (source == QLatin1String("1-4")) return QStringLiteral("Logitech USB Receiver");
        if (source == QLatin1String("0000:00:14.0")) return QStringLiteral("xHCI Host Controller");
        return QString();
    };
    const QList<WakeEvent> wakes = MaintenanceTools::wakesFromJournal(journal, rises, deviceName);
    struct Expected {
        QDateTime time;
        const char* raw;
        const char* reason;
    };
    const Expected expected[] = {
        {at(8, 30, 12), "PNP0C0D:00", "Lid open"},
        {at(9, 0), "1-4", "Logitech USB Receiver"},
        {at(10, 0), "eventpoll", "eventpoll"},
        {at(11, 0), "", "Unknown"},
        {at(11, 20), "", "Unknown"},
        {at(11, 40), "", "Unknown"},
        {at(11, 50), "", "Unknown"},
        {at(11, 55), "", "Unknown"},
    };
    ASSERT_EQ(wakes.size(), std::size(expected));
    for (qsizetype i = 0; i < wakes.size(); ++i) {
        EXPECT_EQ(wakes[i].timestamp, expected[i].time) << i;
        EXPECT_EQ(wakes[i].rawReason, QString::fromLatin1(expected[i].raw)) << i;
        EXPECT_EQ(wakes[i].normalizedReason, QString::fromLatin1(expected[i].reason)) << i;
    }
    EXPECT_EQ(asked.count(QStringLiteral("1-4")), 1);  // each device looked up once

    const WakeAnalysis analysis = MaintenanceTools::summarizeWakes(wakes, 3, at(12, 0));
    EXPECT_EQ(analysis.totalWakes, 7);  // from 09:00 on
    EXPECT_EQ(analysis.topReasons,
              (QList<QPair<QString, int>>{{"Unknown", 5}, {"Logitech USB Receiver", 1}, {"eventpoll", 1}}));
    EXPECT_EQ(analysis.humanSummary, QStringLiteral("Computer woke 7 times in the last 3 hours, mostly from unknown (5)."));

    struct Reason {
        const char* source;
        const char* device;
        const char* reason;
    };
    const Reason reasons[] = {
        {"PNP0C0D:00", "", "Lid open"},          {"LNXPWRBN:00", "", "Power button"},
        {"alarmtimer.0.auto", "", "Scheduled wake"}, {"usb1", "", "USB device"},
        {"0000:00:14.0", "Cannon Lake xHCI", "Cannon Lake xHCI"}, {"0000:00:14.3", "Wi-Fi 6 AX201", "Wi-Fi 6 AX201"},
        {"serio0", "", "serio0"},                {"", "", "Unknown"},
    };
    for (const Reason& r : reasons) {
        EXPECT_EQ(MaintenanceTools::wakeReasonFor(QString::fromLatin1(r.source), QString::fromLatin1(r.device)),
                  QString::fromLatin1(r.reason))
            << r.source;
    }
}

TEST(WakeLog, risenSourcesAreThoseWhoseCountGrew)
{
    const QList<WakeupSource> before{{"a", 5}, {"b", 2}, {"c", 9}, {"gone", 4}};
    const QList<WakeupSource> after{{"a", 6}, {"b", 2}, {"c", 12}, {"new", 2}, {"d", 1}};
    EXPECT_EQ(MaintenanceTools::risenSources(before, after),
              (QList<WakeupSource>{{"c", 3}, {"new", 2}, {"a", 1}, {"d", 1}}));
    EXPECT_TRUE(MaintenanceTools::risenSources(after, after).isEmpty());
}

TEST_F(MaintenanceToolsTest, readingsAroundASleepAttributeItsWakeToTheDeviceByName)
{
    clock.set(QDateTime(QDate(2024, 1, 15), QTime(12, 0), QTimeZone::utc()));
    auto tools = make();
    auto at = [](int h, int m) { return QDateTime(QDate(2024, 1, 15), QTime(h, m), QTimeZone::utc()); };
    const QList<WakeupSource> evening{{"PNP0C0D:00", 14}, {"1-4", 3}, {"eventpoll", 100}};
    // Awake a minute between readings: no sleep.
    tools->recordWakeupSources(at(8, 0), 1000s, evening);
    tools->recordWakeupSources(at(8, 1), 1060s, {{"PNP0C0D:00", 14}, {"1-4", 3}, {"eventpoll", 104}});
    EXPECT_TRUE(tools->wakeupRises().isEmpty());
    // An hour on the wall clock but seconds awake: the machine slept, and the receiver woke it.
    tools->recordWakeupSources(at(9, 1), 1070s, {{"PNP0C0D:00", 14}, {"1-4", 5}, {"eventpoll", 190}});
    // A reading that arrives late, from before the last one, changes nothing.
    tools->recordWakeupSources(at(8, 30), 1065s, evening);
    ASSERT_EQ(tools->wakeupRises().size(), 1);
    EXPECT_EQ(tools->wakeupRises().first().before, at(8, 1));
    EXPECT_EQ(tools->wakeupRises().first().after, at(9, 1));
    EXPECT_EQ(tools->wakeupRises().first().risen, (QList<WakeupSource>{{"eventpoll", 86}, {"1-4", 2}}));
    // Then the lid.
    tools->recordWakeupSources(at(10, 30), 1200s, {{"PNP0C0D:00", 15}, {"1-4", 5}, {"eventpoll", 200}});

    stubs.stub(QStringLiteral("journalctl"),
               QStringLiteral("echo \"$*\" >> \"$LOG\"\n"
                              "echo '2024-01-15T06:00:00+0000 laptop kernel: PM: suspend exit'\n"
                              "echo '2024-01-15T10:01:00+0100 laptop kernel: PM: suspend exit'\n"
                              "echo '2024-01-15T10:30:02+0000 laptop kernel: PM: suspend exit'\n"
                              "echo '2024-01-13T10:30:12+0100 laptop kernel: PM: suspend exit'"));
    std::optional<WakeAnalysis> result;
    bool called = false;
    tools->analyzeWakes(24, [&](std::optional<WakeAnalysis> a) {
        called = true;
        result = a;
    });
    EXPECT_TRUE(tools->isWorking());
    ASSERT_TRUE(waitFor([&] { return called; }));
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(tools->isWorking());
    EXPECT_EQ(stubs.log(), QStringList{QStringLiteral("-k --since=-24h -o short-iso")});
    EXPECT_EQ(result->totalWakes, 3);
    EXPECT_EQ(result->topReasons, (QList<QPair<QString, int>>{{"Unknown", 1}, {"Logitech USB Receiver", 1}, {"Lid open", 1}}));
    ASSERT_TRUE(tools->lastWakeAnalysis().has_value());
    EXPECT_EQ(tools->lastWakeAnalysis()->totalWakes, 3);

    // Without the tool the analysis is empty, not an error.
    QFile::remove(stubs.file(QStringLiteral("journalctl")));
    called = false;
    tools->analyzeWakes(6, [&](std::optional<WakeAnalysis> a) {
        called = true;
        result = a;
    });
    ASSERT_TRUE(waitFor([&] { return called; }));
    EXPECT_EQ(result->humanSummary, QStringLiteral("No wake events recorded in the last 6 hours."));
}
