#include "SnoozeRig.h"

#include "assistant/ScriptedServer.h"
#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "services/SnoozeBlackoutAI.h"
#include "support/StallWatch.h"
#include "ui/snooze/SnoozeAlertView.h"
#include "ui/snooze/SnoozeBlackoutView.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <thread>

using namespace std::chrono_literals;

namespace {

QString shotPath(const QString& name)
{
    QDir().mkpath(QStringLiteral(VELTRANMOOR_SCREENSHOTS));
    return QDir(QStringLiteral(VELTRANMOOR_SCREENSHOTS)).filePath(name + QStringLiteral(".png"));
}

SnoozeAlertView* alertView(const AlertRig& t) { return qobject_cast<SnoozeAlertView*>(t.window->content()); }
SnoozeBlackoutView* blackoutView(const AlertRig& t) { return qobject_cast<SnoozeBlackoutView*>(t.window->content()); }

void press(const AlertRig& t, Qt::KeyboardModifiers modifiers, Qt::Key key = Qt::Key_9)
{
    QTest::keyClick(t.window->content(), key, modifiers);
    QCoreApplication::processEvents();
}

const Qt::KeyboardModifiers superShift = Qt::MetaModifier | Qt::ShiftModifier;

}  // namespace

TEST(SnoozeAlertWindow, CoversThePrimaryScreenAndUpdatesInPlace)
{
    ScriptedCoach coach;
    AlertRig t(coach);
    t.pactl.setVolume(QStringLiteral("30%"));
    t.window->show(QStringLiteral("Drowsiness detected — Eyes closed"), 3);
    ASSERT_TRUE(t.window->isShowing());
    QWidget* surface = t.window->window();
    ASSERT_TRUE(surface && surface->isVisible());
    EXPECT_EQ(surface->geometry(), QGuiApplication::primaryScreen()->geometry());
    EXPECT_TRUE(surface->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(surface->windowFlags() & Qt::FramelessWindowHint);
    ASSERT_TRUE(alertView(t));
    EXPECT_EQ(alertView(t)->level(), 3);
    EXPECT_EQ(alertView(t)->counterText(), QStringLiteral("Alert 4 of 5 before mandatory rest"));
    EXPECT_EQ(alertView(t)->headline(), QStringLiteral("WAKE UP, ADA")) << "the user's own first name";
    EXPECT_EQ(t.alarm.plays, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return t.pactl.calls().size() == 2; }, 5000));

    // The fifth alert turns the same window into the blackout, without sounding or reading again.
    t.window->show(QStringLiteral("Key A held 3.2s — released"), 5);
    EXPECT_EQ(t.window->window(), surface);
    ASSERT_TRUE(blackoutView(t));
    EXPECT_EQ(blackoutView(t)->reason(), QStringLiteral("Key A held 3.2s — released"));
    EXPECT_EQ(blackoutView(t)->headline(), QStringLiteral("Ada, you're done."));
    EXPECT_EQ(t.alarm.plays, 1);
    QTest::qWait(200);
    EXPECT_EQ(t.pactl.calls(), (QStringList{QStringLiteral("get-sink-volume @DEFAULT_SINK@"),
                                            QStringLiteral("set-sink-volume @DEFAULT_SINK@ 100%")}));

    // Levels outside 0-5 are clamped.
    t.window->show(QStringLiteral("r"), -2);
    ASSERT_TRUE(alertView(t));
    EXPECT_EQ(alertView(t)->level(), 0);
    EXPECT_EQ(alertView(t)->washColor().rgba(), qRgba(0x0a, 0x84, 0xff, 140));
    EXPECT_EQ(SnoozeAlertView::levelColor(4), SnoozeAlertView::levelColor(9)) << "red above orange";
    t.window->show(QStringLiteral("r"), 7);
    EXPECT_TRUE(blackoutView(t));
    stall_watch::expectNoStall("showing and updating the alert");
}

TEST(SnoozeAlertWindow, AlarmRepeatsAndTheAlertClosesAMinuteAfterTheLastOne)
{
    ScriptedCoach coach;
    AlertRig t(coach, 100ms, 1500ms);
    QElapsedTimer clock;
    clock.start();
    t.window->show(QStringLiteral("Drowsiness detected — Head dropped"), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.alarm.plays >= 3; }, 1200));
    EXPECT_TRUE(t.window->isShowing());
    // A new alert restarts the countdown: past the first one's end the window is still up.
    QTest::qWait(qMax<qint64>(0, 900 - clock.elapsed()));
    t.window->show(QStringLiteral("Drowsiness detected — Head dropped"), 1);
    QTest::qWait(qMax<qint64>(0, 1700 - clock.elapsed()));
    EXPECT_TRUE(t.window->isShowing());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !t.window->isShowing(); }, 5000));
    EXPECT_TRUE(t.logged.contains(QStringLiteral("[SnoozeGuard] alert auto-dismissed after 60s of no re-fire")));
    EXPECT_EQ(t.alarm.stops, 1);
    const int plays = t.alarm.plays;
    QTest::qWait(300);
    EXPECT_EQ(t.alarm.plays, plays) << "no alarm after the alert closed";
    // No keyboard grab on the offscreen platform: said once, and the alert showed anyway.
    EXPECT_EQ(t.logged.count(QStringLiteral("[SnoozeGuard] lockout tap install failed — alert visible but keys not "
                                            "locked")),
              1);
}

TEST(SnoozeAlertWindow, VolumeIsRaisedOnlyWhenReadAndPutBack)
{
    ScriptedCoach coach;
    // Read: raised to full, then the channels restored as they were.
    {
        AlertRig t(coach);
        t.pactl.setVolume(QStringLiteral("30% / -31.37 dB,   front-right: 26214 /  40%"));
        t.window->show(QStringLiteral("r"), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return t.pactl.calls().size() == 2; }, 5000));
        t.window->dismiss();
        ASSERT_TRUE(QTest::qWaitFor([&] { return t.pactl.calls().size() == 3; }, 5000));
        EXPECT_EQ(t.pactl.calls(), (QStringList{QStringLiteral("get-sink-volume @DEFAULT_SINK@"),
                                                QStringLiteral("set-sink-volume @DEFAULT_SINK@ 100%"),
                                                QStringLiteral("set-sink-volume @DEFAULT_SINK@ 30% 40%")}));
    }
    // Unreadable (no sound server): the volume is left alone, before and after.
    {
        AlertRig t(coach);
        t.window->show(QStringLiteral("r"), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return t.pactl.calls().size() == 1; }, 5000));
        QTest::qWait(200);
        t.window->dismiss();
        QTest::qWait(300);
        EXPECT_EQ(t.pactl.calls(), QStringList{QStringLiteral("get-sink-volume @DEFAULT_SINK@")});
    }
    // Dismissed while the reading is still on its way: nothing is raised afterwards.
    {
        AlertRig t(coach);
        t.pactl.setVolume(QStringLiteral("30%"));
        t.pactl.setDelay(QStringLiteral("0.4"));
        t.window->show(QStringLiteral("r"), 0);
        t.window->dismiss();
        QTest::qWait(900);
        EXPECT_EQ(t.pactl.calls(), QStringList{QStringLiteral("get-sink-volume @DEFAULT_SINK@")});
    }
    stall_watch::expectNoStall("a pactl that takes its time");
}

TEST(SnoozeAlertWindow, DismissalShortcutBelowTheBlackout)
{
    struct Case {
        const char* name;
        Qt::KeyboardModifiers modifiers;
        Qt::Key key;
        bool closes;
    };
    for (const Case& c : std::vector<Case>{
             {"Super+Shift+9", superShift, Qt::Key_9, true},
             {"Super+Shift+Alt+9", superShift | Qt::AltModifier, Qt::Key_9, true},
             {"Super+9", Qt::MetaModifier, Qt::Key_9, false},
             {"Shift+9", Qt::ShiftModifier, Qt::Key_9, false},
             {"Super+Shift+8", superShift, Qt::Key_8, false},
         }) {
        ScriptedCoach coach;
        AlertRig t(coach);
        t.window->show(QStringLiteral("r"), 2);
        press(t, c.modifiers, c.key);
        EXPECT_EQ(!t.window->isShowing(), c.closes) << c.name;
        EXPECT_EQ(t.guard.overrides, 0) << c.name;
    }
    // Dismissing with nothing up does nothing.
    ScriptedCoach coach;
    AlertRig t(coach);
    t.window->dismiss();
    EXPECT_EQ(t.alarm.stops, 0);
    EXPECT_TRUE(t.pactl.calls().isEmpty());
}

TEST(SnoozeAlertWindow, BlackoutNeedsThreePressesWithinFourSeconds)
{
    struct Case {
        const char* name;
        int shownLevel;
        QList<int> pressesMs;
        bool overrides;
        bool alertBetween = false;  // a new alert arrives after the first press
    };
    for (const Case& c : std::vector<Case>{
             {"0, 3 and 6 s: the first is too old by the third", 5, {0, 3000, 6000}, false},
             {"0, 2 and 3.9 s", 5, {0, 2000, 3900}, true},
             {"exactly 4 s apart still counts", 5, {0, 1000, 4000}, true},
             {"the test alert while the guard is at the blackout", 0, {0, 500, 1000}, true},
             {"a new alert keeps the presses", 3, {0, 500, 1000}, true, true},
         }) {
        ScriptedCoach coach;
        AlertRig t(coach);
        t.guard.level = 5;
        t.window->show(QStringLiteral("r"), c.shownLevel);
        const QDateTime start = t.clock.now();
        for (int i = 0; i < c.pressesMs.size(); ++i) {
            t.clock.set(start.addMSecs(c.pressesMs[i]));
            press(t, superShift);
            if (i == 0 && c.alertBetween) t.window->show(QStringLiteral("r"), 5);
            if (i < c.pressesMs.size() - 1) EXPECT_TRUE(t.window->isShowing()) << c.name << " press " << i;
        }
        EXPECT_EQ(t.guard.overrides, c.overrides ? 1 : 0) << c.name;
        EXPECT_EQ(t.window->isShowing(), !c.overrides) << c.name;
        EXPECT_EQ(t.logged.contains(QStringLiteral(
                      "[SnoozeGuard] emergency override — blackout bypassed by triple Cmd+Shift+9")),
                  c.overrides)
            << c.name;
    }
}

TEST(SnoozeAlertWindow, BlackoutAsksOnceAndAcceptsTheCompromise)
{
    ScriptedCoach coach;
    AlertRig t(coach);
    t.window->show(QStringLiteral("Drowsiness detected — Eyes closed"), 5);
    SnoozeBlackoutView* view = blackoutView(t);
    ASSERT_TRUE(view);
    auto* ask = view->findChild<QPushButton*>(QStringLiteral("askButton"));
    ASSERT_TRUE(ask);

    // Blanks and newlines leave the button off; one letter turns it on.
    QTest::keyClicks(view->editor(), QStringLiteral("  "));
    QTest::keyClick(view->editor(), Qt::Key_Return);
    EXPECT_FALSE(ask->isEnabled());
    QTest::keyClicks(view->editor(), QStringLiteral("prod down "));
    EXPECT_TRUE(ask->isEnabled());
    QTest::mouseClick(ask, Qt::LeftButton);
    EXPECT_TRUE(view->awaitingAI());
    EXPECT_FALSE(view->editor()->isVisible());
    ASSERT_EQ(coach.texts.size(), 1);
    EXPECT_EQ(coach.texts[0], QStringLiteral("  \nprod down ")) << "the text goes as typed";

    // Another alert at the blackout (typing fast is itself a key burst) keeps this blackout and
    // its pending question.
    t.window->show(QStringLiteral("Keys mashed for 3.0s"), 5);
    EXPECT_EQ(blackoutView(t), view);
    EXPECT_TRUE(view->awaitingAI());
    EXPECT_EQ(coach.reasons[0], QStringLiteral("Drowsiness detected — Eyes closed"));

    // The answer comes from another thread; the view takes it on its own.
    std::thread([completion = coach.pending[0]] {
        completion(BlackoutVerdict{QStringLiteral("OK — 30 minutes."), QStringLiteral("Ship it."), 30});
    }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->verdict().has_value(); }, 3000));
    EXPECT_FALSE(view->awaitingAI());
    EXPECT_FALSE(view->editor()->isVisible());
    auto* accept = view->findChild<QPushButton*>(QStringLiteral("acceptButton"));
    ASSERT_TRUE(accept && accept->isVisible());
    EXPECT_EQ(accept->text(), QStringLiteral("Accept the compromise — 30 min"));

    QTest::mouseClick(accept, Qt::LeftButton);
    EXPECT_EQ(t.guard.compromises, QList<int>{30});
    EXPECT_FALSE(t.window->isShowing());
    EXPECT_TRUE(t.logged.contains(QStringLiteral("[SnoozeGuard] blackout compromise accepted — 30min extension")));
    stall_watch::expectNoStall("asking the coach");
}

// Screenshots of the alert at two levels and of the blackout before and after the coach's
// answer, the last one from the real exchange with a server on this computer.
TEST(SnoozeAlertWindow, Screenshots)
{
    ScriptedCoach scripted;
    {
        AlertRig t(scripted);
        t.window->show(QStringLiteral("Drowsiness detected — Eyes closed"), 0);
        QTest::qWait(50);
        ASSERT_TRUE(t.window->window()->grab().save(shotPath(QStringLiteral("snooze-alert-level0"))));
        t.window->show(QStringLiteral("Key A held 3.2s — released"), 3);
        QTest::qWait(50);
        ASSERT_TRUE(t.window->window()->grab().save(shotPath(QStringLiteral("snooze-alert-level3"))));
    }

    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.json")));
    ManualClock clock;
    AppSettings settings(defaults, clock, QLocale(QLocale::English, QLocale::UnitedStates));
    settings.setVraxIntegrationEnabled(true);
    ScriptedServer server;
    const QJsonObject content{{QStringLiteral("type"), QStringLiteral("text")},
                              {QStringLiteral("text"), QStringLiteral("```json\n{\"action\":\"sleep\",\"headline\":"
                                                                      "\"It can wait. Sleep now.\"}\n```")}};
    server.answer(200, QJsonDocument(QJsonObject{{QStringLiteral("result"),
                                                  QJsonObject{{QStringLiteral("content"), QJsonArray{content}}}}})
                           .toJson()
                           .toStdString());
    SnoozeBlackoutAI coach({.settings = settings, .endpoint = QUrl(server.base() + QStringLiteral("/mcp"))});
    AlertRig t(coach);
    t.window->show(QStringLiteral("Drowsiness detected — Eyes closed"), 5);
    SnoozeBlackoutView* view = blackoutView(t);
    ASSERT_TRUE(view);
    QTest::keyClicks(view->editor(), QStringLiteral("I'm in flow"));
    QTest::qWait(50);
    ASSERT_TRUE(t.window->window()->grab().save(shotPath(QStringLiteral("snooze-blackout-typing"))));
    QTest::mouseClick(view->findChild<QPushButton*>(QStringLiteral("askButton")), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->verdict().has_value(); }, 5000));
    EXPECT_EQ(view->verdict()->grantedExtensionMinutes, 0);
    EXPECT_FALSE(view->findChild<QPushButton*>(QStringLiteral("acceptButton")));
    ASSERT_EQ(server.requests().size(), 1u);
    QTest::qWait(50);
    ASSERT_TRUE(t.window->window()->grab().save(shotPath(QStringLiteral("snooze-blackout-verdict"))));
    EXPECT_TRUE(t.window->isShowing()) << "a verdict without minutes keeps the blackout";
    stall_watch::expectNoStall("the blackout's exchange");
}

// Keys the toolkit would hand to another of our windows (the one it last saw focused) reach the
// blackout's editor instead, and the shortcut still counts.
TEST(SnoozeAlertWindow, KeysForAnotherOfOurWindowsGoToTheAlert)
{
    QLineEdit elsewhere;
    elsewhere.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&elsewhere));
    ScriptedCoach coach;
    AlertRig t(coach);
    t.window->show(QStringLiteral("r"), 5);
    SnoozeBlackoutView* view = blackoutView(t);
    ASSERT_TRUE(view);
    for (char c : {'w', 'h', 'y'}) QTest::keyClick(elsewhere.windowHandle(), c);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->editor()->toPlainText(), QStringLiteral("why"));
    EXPECT_TRUE(elsewhere.text().isEmpty());

    t.window->show(QStringLiteral("r"), 2);
    QTest::keyClick(elsewhere.windowHandle(), Qt::Key_9, superShift);
    QCoreApplication::processEvents();
    EXPECT_FALSE(t.window->isShowing());
}
