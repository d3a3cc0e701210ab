#include "ShieldRig.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTimeZone>

using namespace std::chrono_literals;

namespace {

QStringList paths(const QList<AIOpenFile>& files)
{
    QStringList out;
    for (const AIOpenFile& f : files) out.append(f.fd + QLatin1Char(' ') + f.path);
    return out;
}

}  // namespace

TEST(AIShieldBoundary, ParsesTheToolsFieldOutput)
{
    // As the tool prints it: names with spaces, a deleted file, sockets, pipes, a name with a
    // line break (escaped by the tool), and fields it adds on its own.
    const QString files = QStringLiteral(
        "p4242\nfcwd\nn/home/u/My Project\nfrtd\nn/\nftxt\nn/usr/bin/claude\nfmem\nn/usr/lib/libc.so.6\n"
        "f0\nn/dev/pts/3\nf1\nnpipe\nf3\nn/home/u/.ssh/id_ed25519 (deleted)\nf4\nnlocalhost:41561->localhost:8080\n"
        "f5\nnsocket\nf6\nnanon_inode:[eventfd]\nf7\nn/tmp/a\\nb\n\nf8\n");
    EXPECT_EQ(paths(AIShieldV1::parseLsofFiles(files, 4242)),
              (QStringList{"cwd /home/u/My Project", "rtd /", "txt /usr/bin/claude", "mem /usr/lib/libc.so.6",
                           "0 /dev/pts/3", "3 /home/u/.ssh/id_ed25519 (deleted)", "7 /tmp/a\\nb"}));
    const auto first = AIShieldV1::parseLsofFiles(files, 4242).first();
    EXPECT_EQ(first.id, QStringLiteral("4242:/home/u/My Project"));
    EXPECT_EQ(first.pid, 4242);
    // Without descriptor fields the descriptor stays empty.
    EXPECT_EQ(paths(AIShieldV1::parseLsofFiles(QStringLiteral("p1\nn/a\n"), 1)), QStringList{" /a"});
    EXPECT_TRUE(AIShieldV1::parseLsofFiles(QString(), 1).isEmpty());

    const QString sockets = QStringLiteral(
        "p4242\nf3\nnlocalhost:41561\nf4\nnlocalhost:40268->localhost:http-alt\nf5\nn[::1]:55570->[::1]:53787\n"
        "f6\nn*:5353\nf7\nn10.0.0.2:5000->\nf8\nnlocalhost:40269->localhost:http-alt\n");
    const QList<AINetworkEndpoint> endpoints = AIShieldV1::parseLsofEndpoints(sockets, 4242, QStringLiteral("claude"));
    QStringList remotes;
    for (const auto& e : endpoints) remotes.append(e.id + QLatin1Char(' ') + e.processName);
    // Two connections to one remote end are two endpoints with one id.
    EXPECT_EQ(remotes, (QStringList{"4242:localhost:http-alt claude", "4242:[::1]:53787 claude",
                                    "4242:localhost:http-alt claude"}));
}

TEST(AIShieldBoundary, NormalisesAndMatchesPaths)
{
    const QString home = QDir::homePath();
    struct Case {
        QString input, normalized;
    } norms[] = {
        {"  /data/secrets/ \n", "/data/secrets"}, {"~/.ssh///", home + "/.ssh"}, {"~", home}, {"/", "/"},
        {"", ""}, {"~nosuchuser_xyz/x", "~nosuchuser_xyz/x"}, {"/a/./b/../C", "/a/./b/../C"},
    };
    for (const Case& c : norms) EXPECT_EQ(AIShieldV1::normalizeBoundaryPath(c.input), c.normalized) << c.input.toStdString();
    EXPECT_EQ(AIShieldV1::normalizeBoundaryPath(QStringLiteral("~root/.ssh")), QStringLiteral("/root/.ssh"));

    const QStringList boundaries = {"/home/u/.ssh", "/home/u/Private", "/srv"};
    struct Match {
        QString path;
        std::optional<QString> boundary;
    } matches[] = {
        {"/home/u/.ssh", "/home/u/.ssh"},              // the boundary itself
        {"/home/u/.ssh/id_rsa", "/home/u/.ssh"},       // inside
        {"/home/u/.ssh/", "/home/u/.ssh"},             // trailing slash
        {"/home/u/.sshkeys/id_rsa", std::nullopt},     // a prefix that is not a parent
        {"/home/u/.SSH/id_rsa", std::nullopt},         // letter case counts
        {"/home/u/Private/a/b (deleted)", "/home/u/Private"},
        {"/srv", "/srv"},
        {"/srvdata", std::nullopt},
    };
    for (const Match& m : matches) EXPECT_EQ(AIShieldV1::matchBoundary(m.path, boundaries), m.boundary) << m.path.toStdString();
    EXPECT_EQ(AIShieldV1::matchBoundary(QStringLiteral("/anything"), {QStringLiteral("/")}), QStringLiteral("/"));
}

TEST(AIShieldBoundary, KeepsTheBoundaryListNormalisedSortedAndDistinct)
{
    ShieldRig r;
    EXPECT_EQ(AIShieldV1::loadBoundaryPaths(r.settings), AIShieldV1::defaultBoundaryPaths());
    EXPECT_EQ(AIShieldV1::defaultBoundaryPaths().first(), QDir::homePath() + QStringLiteral("/.ssh"));

    AIShieldV1::saveBoundaryPaths(r.settings, {"/b/", "~/x", "/a", " /b", "", "/\u00e9", "/e\u0301"});
    EXPECT_EQ(AIShieldV1::loadBoundaryPaths(r.settings),
              (QStringList{"/a", "/b", QDir::homePath() + "/x", "/\u00e9"}));
    AIShieldV1::addBoundaryPath(r.settings, QStringLiteral("/0/"));
    AIShieldV1::addBoundaryPath(r.settings, QStringLiteral("/a"));
    AIShieldV1::addBoundaryPath(r.settings, QStringLiteral("   "));
    EXPECT_EQ(AIShieldV1::loadBoundaryPaths(r.settings).first(), QStringLiteral("/0"));
    EXPECT_EQ(AIShieldV1::loadBoundaryPaths(r.settings).size(), 5);

    // Stored entries are used normalised.
    r.settings.setAiShieldBoundaryPathsData(QByteArray(R"(["~/keys/"])"));
    EXPECT_EQ(AIShieldV1::loadBoundaryPaths(r.settings), QStringList{QDir::homePath() + "/keys"});

    // Removing every entry stores an empty list, which reads as the defaults.
    AIShieldV1::removeBoundaryPath(r.settings, QStringLiteral("~/keys"));
    EXPECT_EQ(r.settings.aiShieldBoundaryPathsData(), QByteArray("[]"));
    EXPECT_EQ(AIShieldV1::loadBoundaryPaths(r.settings), AIShieldV1::defaultBoundaryPaths());
    for (const QByteArray& bad : {QByteArray("{"), QByteArray("[1]"), QByteArray(R"({"a":1})")}) {
        r.settings.setAiShieldBoundaryPathsData(bad);
        EXPECT_EQ(AIShieldV1::loadBoundaryPaths(r.settings), AIShieldV1::defaultBoundaryPaths()) << bad.constData();
    }
}

TEST(AIShieldBoundary, QuietHoursFollowTheLocalClock)
{
    ShieldRig r;
    auto at = [](int h, int m) { return QDateTime(QDate(2026, 3, 2), QTime(h, m), Qt::LocalTime); };
    struct Case {
        bool enabled;
        qint64 start, end;
        int h, m;
        bool inside;
    } cases[] = {
        {true, 1380, 420, 23, 0, true},   {true, 1380, 420, 6, 59, true}, {true, 1380, 420, 7, 0, false},
        {true, 1380, 420, 22, 59, false}, {true, 1380, 420, 0, 0, true},  {false, 1380, 420, 23, 30, false},
        {true, 600, 600, 10, 0, false},   {true, 540, 1020, 9, 0, true},  {true, 540, 1020, 17, 0, false},
        {true, -5, 60, 0, 0, true},       {true, 1200, 2000, 23, 59, false}, {true, 1200, 2000, 23, 58, true},
    };
    for (const Case& c : cases) {
        r.settings.setAiShieldQuietHoursEnabled(c.enabled);
        r.settings.setAiShieldQuietHoursStartMin(c.start);
        r.settings.setAiShieldQuietHoursEndMin(c.end);
        EXPECT_EQ(AIShieldV1::isInQuietHours(at(c.h, c.m), r.settings), c.inside)
            << c.start << "-" << c.end << " at " << c.h << ":" << c.m;
    }
}

TEST(AIShieldBoundary, ScanAlertsOncePerProcessAndPathWithLogNoticeAndEvent)
{
    ShieldRig r;
    const QString home = QDir::homePath();
    r.inventory.add(50, QStringLiteral("claude"), QStringList{"claude"});
    r.poll();
    r.files.files[50] = QStringLiteral("p50\nf3\nn") + home + QStringLiteral("/.ssh/id_ed25519\nf4\nn") + home +
                        QStringLiteral("/.sshkeys/x\nf5\nnsocket\n");
    r.files.endpoints[50] = QStringLiteral("p50\nf6\nn127.0.0.1:5000->127.0.0.1:8080\nf7\nn*:9000\n");
    QSignalSpy suspicious(&r.shield, &AIShield::suspiciousEventRaised);

    r.scan();
    EXPECT_EQ(r.boundary.openFiles().size(), 2);
    ASSERT_EQ(r.boundary.endpoints().size(), 1);
    EXPECT_EQ(r.boundary.endpoints()[0].remote, QStringLiteral("127.0.0.1:8080"));
    ASSERT_EQ(r.boundary.boundaryAlerts().size(), 1);
    const AIBoundaryAlert alert = r.boundary.boundaryAlerts()[0];
    EXPECT_EQ(alert.id, QStringLiteral("50:") + home + QStringLiteral("/.ssh/id_ed25519"));
    EXPECT_EQ(alert.boundary, home + QStringLiteral("/.ssh"));
    EXPECT_EQ(alert.observedAt, r.clock.now());
    EXPECT_EQ(r.boundary.lastBoundaryAlert(), alert);

    const QString message = QStringLiteral("Boundary breach (advisory) \u2014 pid=50 name=claude path=") + home +
                            QStringLiteral("/.ssh/id_ed25519 boundary=") + home + QStringLiteral("/.ssh");
    EXPECT_EQ(r.log().filter(QStringLiteral("ALERT")), (QStringList{"ALERT " + message, "ALERT " + message}));
    EXPECT_EQ(suspicious.size(), 1);
    EXPECT_EQ(r.shield.lastSuspiciousEvent(), message);
    ASSERT_EQ(r.notifier.notices.size(), 1);
    EXPECT_EQ(r.notifier.notices[0].id, QStringLiteral("aishield-boundary-50-") + QString::number(r.clock.now().toSecsSinceEpoch()));
    EXPECT_EQ(r.notifier.notices[0].title, QStringLiteral("AI Shield \u2014 boundary breach"));
    EXPECT_EQ(r.notifier.notices[0].body, QStringLiteral("claude (pid 50) has ") + home +
                                              QStringLiteral("/.ssh/id_ed25519 open (boundary: ") + home + QStringLiteral("/.ssh)."));

    // Still open at the next scans: nothing new.
    r.clock.advance(30s);
    r.scan();
    r.scan();
    EXPECT_EQ(r.boundary.boundaryAlerts().size(), 1);
    EXPECT_EQ(r.notifier.notices.size(), 1);
    EXPECT_EQ(r.log().filter(QStringLiteral("ALERT")).size(), 2);

    // The tool restarted under a new pid: a new alert.
    r.inventory.remove(50);
    r.inventory.add(51, QStringLiteral("claude"), QStringList{"claude"});
    r.files.files[51] = r.files.files[50];
    r.poll();
    r.scan();
    EXPECT_EQ(r.boundary.boundaryAlerts().size(), 2);
    EXPECT_EQ(r.boundary.boundaryAlerts()[0].pid, 51);

    // Clearing forgets the keys: a breach still open is alerted again.
    r.boundary.clearAlerts();
    EXPECT_FALSE(r.boundary.lastBoundaryAlert());
    r.scan();
    EXPECT_EQ(r.boundary.boundaryAlerts().size(), 1);
    EXPECT_EQ(r.notifier.notices.size(), 3);

    // No AI process: no tool runs, both lists are published empty.
    r.inventory.rows.clear();
    r.poll();
    r.files.asked.clear();
    r.scan();
    EXPECT_TRUE(r.files.asked.isEmpty());
    EXPECT_TRUE(r.boundary.openFiles().isEmpty());
    EXPECT_TRUE(r.boundary.endpoints().isEmpty());
}

TEST(AIShieldBoundary, KeepsFiftyAlertsAndAlertsAgainWhatFellOff)
{
    ShieldRig r;
    QString fields = QStringLiteral("p9\n");
    for (int i = 0; i < 55; ++i) fields += QStringLiteral("f%1\nn/data/vault/file%1\n").arg(i);
    r.settings.setAiShieldBoundaryPathsData(QByteArray(R"(["/data/vault"])"));
    r.inventory.add(9, QStringLiteral("ollama"), QStringList{"ollama"});
    r.poll();
    r.files.files[9] = fields;
    r.scan();
    ASSERT_EQ(r.boundary.boundaryAlerts().size(), 50);
    EXPECT_EQ(r.boundary.boundaryAlerts().first().openPath, QStringLiteral("/data/vault/file54"));
    EXPECT_EQ(r.boundary.boundaryAlerts().last().openPath, QStringLiteral("/data/vault/file5"));
    // Several alerts for one pid in one second share one notice identifier.
    EXPECT_EQ(r.notifier.notices.first().id, r.notifier.notices.last().id);

    // file0 .. file4 fell off: seen again, file0 is alerted again; file54 is still listed.
    r.files.files[9] = QStringLiteral("p9\nf1\nn/data/vault/file0\nf2\nn/data/vault/file54\n");
    r.scan();
    EXPECT_EQ(r.notifier.notices.size(), 56);
    EXPECT_EQ(r.boundary.boundaryAlerts().first().openPath, QStringLiteral("/data/vault/file0"));
}

TEST(AIShieldBoundary, ABoundaryReachedThroughALinkMatchesTheRealPath)
{
    ShieldRig r;
    const QString real = r.dir.path() + QStringLiteral("/real-secrets");
    const QString link = r.dir.path() + QStringLiteral("/secrets-link");
    ASSERT_TRUE(QDir().mkpath(real));
    ASSERT_TRUE(QFile::link(real, link));
    AIShieldV1::saveBoundaryPaths(r.settings, {link + QStringLiteral("/")});
    r.inventory.add(9, QStringLiteral("claude"), QStringList{"claude"});
    r.poll();
    // The kernel names the open file by its real path.
    r.files.files[9] = QStringLiteral("p9\nf3\nn") + real + QStringLiteral("/token.txt\n");
    r.scan();
    ASSERT_EQ(r.boundary.boundaryAlerts().size(), 1);
    EXPECT_EQ(r.boundary.boundaryAlerts()[0].boundary, link);
    EXPECT_EQ(r.boundary.boundaryAlerts()[0].openPath, real + QStringLiteral("/token.txt"));
}

TEST(AIShieldBoundary, QuietHoursAndSnoozeOnlyLogThatPausingIsSuppressed)
{
    ShieldRig r;
    const QString suffix = QStringLiteral(" \u2014 SIGSTOP disabled; AI Shield no longer freezes processes");
    r.settings.setAiShieldQuietHoursEnabled(true);
    r.settings.setAiShieldQuietHoursStartMin(1380);
    r.settings.setAiShieldQuietHoursEndMin(420);
    r.clock.set(QDateTime(QDate(2026, 3, 2), QTime(22, 59, 10), Qt::LocalTime));
    r.boundary.start();
    r.boundary.start();
    EXPECT_TRUE(r.boundary.isRunning());
    EXPECT_FALSE(r.boundary.quietHoursActive());
    EXPECT_EQ(r.log(), QStringList{"=== AI Shield v1 session start ==="});

    r.scheduler.advance(60s);  // 23:00:10: the window opens at the second tick
    EXPECT_TRUE(r.boundary.quietHoursActive());
    EXPECT_EQ(r.log().mid(1), (QStringList{"PAUSE-SUPPRESSED reason=quiet-hours start" + suffix,
                                           "PAUSE-SUPPRESSED reason=quiet-hours tick" + suffix}));
    r.scheduler.advance(30min);
    EXPECT_EQ(r.log().filter(QStringLiteral("quiet-hours tick")).size(), 61);

    // Snooze Guard fires: once logged, further alerts write nothing until resumed by hand.
    r.snooze.fire(r.clock.now());
    r.snooze.fire(r.clock.now().addSecs(5));
    EXPECT_TRUE(r.boundary.snoozePauseActive());
    EXPECT_EQ(r.log().filter(QStringLiteral("Snooze")), QStringList{"INFO Snooze Guard fired \u2014 pausing AI processes"});
    EXPECT_EQ(r.log().filter(QStringLiteral("snooze fire")).size(), 1);
    r.boundary.resumeManually();
    EXPECT_FALSE(r.boundary.snoozePauseActive());
    EXPECT_FALSE(r.boundary.quietHoursActive());
    r.snooze.fire(r.clock.now().addSecs(9));
    EXPECT_EQ(r.log().filter(QStringLiteral("Snooze")).size(), 2);

    // Morning: the flag follows the clock; nothing is resumed, since nothing was paused.
    const int before = int(r.log().size());
    r.clock.set(QDateTime(QDate(2026, 3, 3), QTime(7, 0, 0), Qt::LocalTime));
    r.boundary.quietHoursTick();
    EXPECT_FALSE(r.boundary.quietHoursActive());
    EXPECT_EQ(r.log().size(), before);

    r.boundary.stop();
    EXPECT_EQ(r.log().last(), QStringLiteral("=== AI Shield v1 session stop ==="));
    EXPECT_TRUE(r.snooze.observers.isEmpty());
    EXPECT_EQ(r.scheduler.pendingCount(), 0);
    EXPECT_TRUE(r.log().filter(QStringLiteral("RESUME")).isEmpty());
}

TEST(AIShieldBoundary, StartsAndStopsWithTheProcessWatch)
{
    ShieldRig r;
    r.shield.setBoundaryWatch(&r.boundary);
    r.shield.start();
    EXPECT_FALSE(r.boundary.isRunning());  // a turn later
    r.settle();
    EXPECT_TRUE(r.boundary.isRunning());
    r.shield.stop();
    EXPECT_FALSE(r.boundary.isRunning());
    EXPECT_EQ(r.log(), (QStringList{"=== AI Shield session start ===", "=== AI Shield v1 session start ===",
                                    "=== AI Shield session stop ===", "=== AI Shield v1 session stop ==="}));
}
