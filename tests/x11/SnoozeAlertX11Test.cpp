// The alert window on a real X server: while it shows it holds the keyboard (another client's
// grab fails), typing reaches only the blackout's own editor, and the dismissal shortcut, pressed
// with xdotool as a user would, closes it and gives the keyboard back.
#include "VirtualDisplay.h"

#include "ui/snooze/SnoozeRig.h"
#include "ui/snooze/SnoozeBlackoutView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <xcb/xcb.h>

namespace {

// Another X client trying to take the keyboard: the status of its grab on the root window
// (released again at once when it succeeded).
int otherClientGrab()
{
    xcb_connection_t* c = xcb_connect(VirtualDisplay::current()->name().constData(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return -1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_grab_keyboard_reply_t* reply = xcb_grab_keyboard_reply(
        c, xcb_grab_keyboard(c, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr);
    const int status = reply ? reply->status : -1;
    free(reply);
    if (status == XCB_GRAB_STATUS_SUCCESS) xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    xcb_flush(c);
    xcb_disconnect(c);
    return status;
}

}  // namespace

#define REQUIRE_DISPLAY()                                                  \
    if (!VirtualDisplay::current()) GTEST_SKIP() << "Xvfb could not start"

TEST(SnoozeAlertX11, LockoutHoldsTheKeyboardUntilTheShortcut)
{
    REQUIRE_DISPLAY();
    ScriptedCoach coach;
    AlertRig t(coach);
    ASSERT_EQ(otherClientGrab(), XCB_GRAB_STATUS_SUCCESS);

    t.window->show(QStringLiteral("TEST — Snooze Guard is alive"), 0);
    ASSERT_TRUE(waitFor([&] { return t.window->keyboardLocked(); }));
    EXPECT_EQ(otherClientGrab(), XCB_GRAB_STATUS_ALREADY_GRABBED);

    // Not the shortcut: swallowed, the alert stays.
    ASSERT_EQ(xdotool({QStringLiteral("key"), QStringLiteral("super+9")}), 0);
    ASSERT_EQ(xdotool({QStringLiteral("key"), QStringLiteral("shift+9")}), 0);
    EXPECT_FALSE(waitFor([&] { return !t.window->isShowing(); }, 500));

    ASSERT_EQ(xdotool({QStringLiteral("key"), QStringLiteral("super+shift+9")}), 0);
    ASSERT_TRUE(waitFor([&] { return !t.window->isShowing(); }));
    EXPECT_FALSE(t.window->keyboardLocked());
    EXPECT_TRUE(waitFor([&] { return otherClientGrab() == XCB_GRAB_STATUS_SUCCESS; }, 2000));
    EXPECT_FALSE(t.logged.join(QLatin1Char('\n')).contains(QStringLiteral("lockout tap install failed")));
}

TEST(SnoozeAlertX11, BlackoutEditorTakesTypingAndTriplePressOverrides)
{
    REQUIRE_DISPLAY();
    // Another window of ours had the keyboard before the blackout.
    QLineEdit elsewhere;
    elsewhere.setWindowTitle(QStringLiteral("elsewhere"));
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(waitFor([&] { return elsewhere.hasFocus(); }));

    ScriptedCoach coach;
    AlertRig t(coach);
    t.guard.level = 5;
    t.window->show(QStringLiteral("Drowsiness detected — Eyes closed"), 5);
    ASSERT_TRUE(waitFor([&] { return t.window->keyboardLocked(); }));
    auto* blackout = qobject_cast<SnoozeBlackoutView*>(t.window->content());
    ASSERT_TRUE(blackout);

    ASSERT_EQ(xdotool({QStringLiteral("type"), QStringLiteral("flight at 6am")}), 0);
    ASSERT_TRUE(waitFor([&] { return blackout->editor()->toPlainText() == QStringLiteral("flight at 6am"); }))
        << blackout->editor()->toPlainText().toStdString();
    EXPECT_TRUE(elsewhere.text().isEmpty());

    // Two presses are not enough at the blackout; the third within 4 s overrides.
    for (int i = 0; i < 2; ++i) ASSERT_EQ(xdotool({QStringLiteral("key"), QStringLiteral("super+shift+9")}), 0);
    EXPECT_FALSE(waitFor([&] { return !t.window->isShowing(); }, 500));
    EXPECT_EQ(t.guard.overrides, 0);
    EXPECT_EQ(blackout->editor()->toPlainText(), QStringLiteral("flight at 6am")) << "the shortcut typed nothing";
    ASSERT_EQ(xdotool({QStringLiteral("key"), QStringLiteral("super+shift+9")}), 0);
    ASSERT_TRUE(waitFor([&] { return !t.window->isShowing(); }));
    EXPECT_EQ(t.guard.overrides, 1);
    EXPECT_TRUE(t.logged.contains(QStringLiteral(
        "[SnoozeGuard] emergency override — blackout bypassed by triple Cmd+Shift+9")));
    EXPECT_TRUE(waitFor([&] { return otherClientGrab() == XCB_GRAB_STATUS_SUCCESS; }, 2000));
}
