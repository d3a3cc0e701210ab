// Snooze Guard's coordinator on virtual time: the escalation window, the pause a compromise or
// the override sets, the master switch, and the texts its two watchers' findings become.
#include "SnoozeDoubles.h"

#include "core/AppSettings.h"
#include "core/Log.h"
#include "core/UserDefaults.h"
#include "guards/SnoozeGuard.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>

using namespace std::chrono_literals;

namespace {

const QString eyesClosed = QStringLiteral("Drowsiness detected \u2014 Eyes closed");

struct SnoozeRig {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("settings.json"))};
    ManualClock clock{QDateTime(QDate(2026, 12, 9), QTime(10, 41, 7), QTimeZone::utc())};
    AppSettings settings{defaults, clock};
    ScriptedSnoozeWatcher drowsiness;
    ScriptedSnoozeWatcher stuckKey;
    RecordingAlert alert;
    SnoozeGuard guard{clock, settings, drowsiness, stuckKey, alert};
    QStringList lines;

    SnoozeRig() { Log::setSink([this](const QString& l) { lines << l; }); }
    ~SnoozeRig() { Log::setSink({}); }

    void fireAfter(std::chrono::milliseconds gap)
    {
        clock.advance(gap);
        Q_EMIT drowsiness.eventOccurred(DrowsyEvent::drowsy(QStringLiteral("Eyes closed")));
    }
    void fiveAlerts()
    {
        for (int i = 0; i < 5; ++i) fireAfter(10s);
        ASSERT_EQ(guard.escalationLevel(), 5);
    }
};

struct EscalationCase {
    const char* name;
    std::vector<int> gapsSeconds;  // before each alert
    std::vector<qint64> levels;
};

}  // namespace

TEST(SnoozeGuard, EscalationOverTheTwoMinuteWindow)
{
    const EscalationCase cases[] = {
        {"five quick alerts skip level 4, a sixth stays at 5", {0, 10, 10, 10, 10, 10}, {0, 1, 2, 3, 5, 5}},
        {"121 s after the only earlier alert starts over", {0, 121}, {0, 0}},
        {"exactly 120 s after it still counts", {0, 120}, {0, 1}},
        {"the oldest alerts age out one by one", {0, 60, 60, 1, 60}, {0, 1, 2, 2, 2}},
        {"a fifth alert outside the first one's window is level 3", {0, 40, 40, 40, 1}, {0, 1, 2, 3, 3}},
    };
    for (const auto& c : cases) {
        SnoozeRig r;
        std::vector<qint64> levels;
        for (int gap : c.gapsSeconds) {
            r.fireAfter(std::chrono::seconds(gap));
            levels.push_back(r.guard.escalationLevel());
        }
        EXPECT_EQ(levels, c.levels) << c.name;
        ASSERT_EQ(r.alert.calls.size(), qsizetype(c.levels.size())) << c.name;
        EXPECT_EQ(r.alert.calls.last(), QStringLiteral("show %1 %2").arg(c.levels.back()).arg(eyesClosed)) << c.name;
        EXPECT_EQ(r.guard.lastTrigger(), eyesClosed);
        EXPECT_EQ(r.guard.lastTriggerAt(), r.clock.now());
    }
}

TEST(SnoozeGuard, WatcherFindingsBecomeReasonTexts)
{
    SnoozeRig r;
    QStringList reasons;
    r.guard.observeLastTriggerAt([&](const std::optional<QDateTime>& at) {
        reasons << (at ? r.guard.lastTrigger().value_or(QString()) : QStringLiteral("<none>"));
    });

    Q_EMIT r.stuckKey.eventOccurred(StuckKeyEvent{38, 3.04, QStringLiteral("A")});
    Q_EMIT r.stuckKey.eventOccurred(StuckKeyEvent{-1, 3.0});  // a key-mash burst
    // The camera's verdicts: only drowsy raises an alert.
    Q_EMIT r.drowsiness.eventOccurred(DrowsyEvent::awake());
    Q_EMIT r.drowsiness.eventOccurred(DrowsyEvent::noFace());
    Q_EMIT r.drowsiness.eventOccurred(DrowsyEvent::drowsy(QStringLiteral("Head dropped")));

    EXPECT_EQ(reasons, (QStringList{QStringLiteral("<none>"), QStringLiteral("Key A held 3.0s \u2014 released"),
                                    QStringLiteral("Keys mashed for 3.0s"),
                                    QStringLiteral("Drowsiness detected \u2014 Head dropped")}));
    EXPECT_EQ(r.alert.calls.size(), 3);
}

TEST(SnoozeGuard, AStuckKeyIsNamedByItsLabelWithPrintfRounding)
{
    const struct {
        StuckKeyEvent event;
        QString text;
    } cases[] = {
        // 3.25 lies exactly between 3.2 and 3.3: printf rounds to the even digit.
        {{38, 3.25, QStringLiteral("A")}, QStringLiteral("Key A held 3.2s \u2014 released")},
        {{40, 3.35, QStringLiteral("D")}, QStringLiteral("Key D held 3.4s \u2014 released")},
        // A key whose label is not known is named by its number rather than not at all.
        {{38, 3.0, QString()}, QStringLiteral("Key 38 held 3.0s \u2014 released")},
        {{-1, 3.0, QString()}, QStringLiteral("Keys mashed for 3.0s")},
    };
    for (const auto& c : cases) EXPECT_EQ(SnoozeGuard::stuckKeyText(c.event), c.text) << c.text.toStdString();
}

TEST(SnoozeGuard, OneEyesClosedEpisodeIsOneAlert)
{
    // The detector reports a verdict when it changes: closed, then open again, then closed.
    SnoozeRig r;
    r.fireAfter(0s);
    r.clock.advance(5s);
    Q_EMIT r.drowsiness.eventOccurred(DrowsyEvent::awake());
    EXPECT_EQ(r.alert.calls, QStringList{QStringLiteral("show 0 ") + eyesClosed});
    r.fireAfter(5s);
    EXPECT_EQ(r.alert.calls.size(), 2);
    EXPECT_EQ(r.guard.escalationLevel(), 1);
}

TEST(SnoozeGuard, CompromisePausesAlertsAndLowersTheLevel)
{
    SnoozeRig r;
    r.fiveAlerts();
    const QDateTime lastAt = *r.guard.lastTriggerAt();
    r.alert.calls.clear();
    r.lines.clear();

    r.guard.grantCompromise(30);
    EXPECT_EQ(r.guard.escalationLevel(), 0) << "lowered at once";
    EXPECT_EQ(r.lines, QStringList{QStringLiteral(
                           "[SnoozeGuard] compromise extension granted: 30min, pausing until 2026-12-09 11:11:57 +0000")});

    // Inside the pause: one line, nothing else changes.
    r.fireAfter(29min + 59s);
    EXPECT_EQ(r.lines.last(), QStringLiteral("[SnoozeGuard] suppressed during compromise pause (until 2026-12-09 11:11:57 +0000)"));
    EXPECT_TRUE(r.alert.calls.isEmpty());
    EXPECT_EQ(r.guard.lastTriggerAt(), lastAt);
    EXPECT_EQ(r.guard.recentAlertTimestamps().size(), 5);

    // The pause ends by itself; the history is long out of the window.
    r.fireAfter(1s);
    EXPECT_EQ(r.guard.escalationLevel(), 0);
    EXPECT_EQ(r.alert.calls, QStringList{QStringLiteral("show 0 ") + eyesClosed});
}

TEST(SnoozeGuard, AShortCompromiseStillPausesFiveMinutesAndSaysWhatWasGranted)
{
    SnoozeRig r;
    r.guard.grantCompromise(0);
    EXPECT_EQ(r.lines, QStringList{QStringLiteral(
                           "[SnoozeGuard] compromise extension granted: 0min, pausing until 2026-12-09 10:46:07 +0000")});
    EXPECT_EQ(r.guard.pauseUntil(), r.clock.now().addSecs(300));
    r.fireAfter(299s);
    EXPECT_TRUE(r.alert.calls.isEmpty());
    // A new grant replaces the end, also with an earlier one.
    r.guard.emergencyOverride();
    r.guard.grantCompromise(-3);
    EXPECT_EQ(r.guard.pauseUntil(), r.clock.now().addSecs(300));
}

TEST(SnoozeGuard, EmergencyOverridePausesFourHoursAndForgetsTheHistory)
{
    SnoozeRig r;
    r.fiveAlerts();
    r.alert.calls.clear();
    r.guard.emergencyOverride();
    EXPECT_EQ(r.lines.last(), QStringLiteral("[SnoozeGuard] emergency override \u2014 paused 4hr"));
    EXPECT_EQ(r.guard.escalationLevel(), 0);
    EXPECT_TRUE(r.guard.recentAlertTimestamps().isEmpty());
    EXPECT_TRUE(r.alert.calls.isEmpty()) << "the caller closes the window";

    r.fireAfter(4h - 1s);
    EXPECT_TRUE(r.lines.last().startsWith(QStringLiteral("[SnoozeGuard] suppressed during compromise pause (until ")));
    EXPECT_TRUE(r.alert.calls.isEmpty());
    r.fireAfter(1s);
    EXPECT_EQ(r.alert.calls, QStringList{QStringLiteral("show 0 ") + eyesClosed});
}

TEST(SnoozeGuard, StartFollowsTheSwitchAndReportsTheWatchers)
{
    SnoozeRig r;
    QSignalSpy running(&r.guard, &SnoozeGuard::isRunningChanged);

    r.guard.start();  // the switch is off by default
    EXPECT_EQ(r.lines, QStringList{QStringLiteral("[SnoozeGuard] disabled via AppSettings.snoozeGuardEnabled \u2014 skip")});
    EXPECT_EQ(r.alert.calls, QStringList{QStringLiteral("dismiss")});
    EXPECT_EQ(r.drowsiness.starts + r.stuckKey.starts, 0);
    EXPECT_FALSE(r.guard.isRunning());
    EXPECT_EQ(running.size(), 1) << "published on every assignment";

    r.lines.clear();
    r.drowsiness.grants = false;  // no camera permission; the keyboard side works alone
    r.guard.setEnabled(true);
    r.guard.start();
    EXPECT_TRUE(r.settings.snoozeGuardEnabled());
    EXPECT_EQ(r.lines, (QStringList{QStringLiteral("[SnoozeGuard] starting watchdogs"),
                                    QStringLiteral("[SnoozeGuard] running drowsy=false stuck=true cam.denied=true ax.denied=false"),
                                    QStringLiteral("[SnoozeGuard] already running, skip")}));
    EXPECT_EQ(r.drowsiness.starts, 1);
    EXPECT_EQ(r.stuckKey.starts, 1);
    EXPECT_TRUE(r.guard.isRunning());
    EXPECT_TRUE(r.guard.cameraPermissionDenied());
    EXPECT_FALSE(r.guard.accessibilityPermissionDenied());

    // The status item hears of the watchers' own changes too.
    QSignalSpy status(&r.guard, &SnoozeGuard::statusChanged);
    r.stuckKey.setState(false, true);
    EXPECT_GE(status.size(), 1);
    EXPECT_TRUE(r.guard.accessibilityPermissionDenied());
}

TEST(SnoozeGuard, SwitchingOffDuringTheBlackoutClearsEverything)
{
    SnoozeRig r;
    r.guard.setEnabled(true);
    r.fiveAlerts();
    r.guard.grantCompromise(10);
    r.alert.calls.clear();

    r.guard.setEnabled(false);
    EXPECT_FALSE(r.settings.snoozeGuardEnabled());
    EXPECT_EQ(r.alert.calls, QStringList{QStringLiteral("dismiss")});
    EXPECT_FALSE(r.guard.isRunning());
    EXPECT_EQ(r.drowsiness.stops, 1);
    EXPECT_EQ(r.stuckKey.stops, 1);
    EXPECT_EQ(r.guard.escalationLevel(), 0);
    EXPECT_TRUE(r.guard.recentAlertTimestamps().isEmpty());
    EXPECT_FALSE(r.guard.pauseUntil().has_value());

    // No pause left: the next alert shows, at level 0.
    r.fireAfter(1s);
    EXPECT_EQ(r.alert.calls.last(), QStringLiteral("show 0 ") + eyesClosed);
}

TEST(SnoozeGuard, TheHistorySurvivesARestart)
{
    SnoozeRig r;
    r.guard.setEnabled(true);
    r.fireAfter(0s);
    r.fireAfter(10s);
    // The status menu's restart.
    r.guard.stopDrowsinessDetector();
    r.guard.stopStuckKeyWatcher();
    r.guard.dismissAlert();
    r.guard.setIsRunning(false);
    r.guard.start();
    EXPECT_TRUE(r.guard.isRunning());
    r.fireAfter(10s);
    EXPECT_EQ(r.guard.escalationLevel(), 2);
}

TEST(SnoozeGuard, TheStatusMenuTestAlertChangesNothingOfTheGuard)
{
    SnoozeRig r;
    r.guard.showAlert(QStringLiteral("TEST \u2014 Snooze Guard is alive"), 0);
    r.guard.showAlert(QStringLiteral("x"), 9);
    EXPECT_EQ(r.alert.calls, (QStringList{QStringLiteral("show 0 TEST \u2014 Snooze Guard is alive"), QStringLiteral("show 5 x")}));
    EXPECT_FALSE(r.guard.lastTriggerAt().has_value());
    EXPECT_TRUE(r.guard.recentAlertTimestamps().isEmpty());
}

