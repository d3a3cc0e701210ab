// The stuck-key watcher on a real X server: keys held with xdotool are seen through XInput2,
// a held letter is released through XTest and becomes Snooze Guard's alert, and key mashing is
// a burst. The key state is read back from the server on a connection of the test's own.
#include "VirtualDisplay.h"

#include "../guards/SnoozeDoubles.h"
#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "core/UserDefaults.h"
#include "guards/SnoozeGuard.h"
#include "guards/StuckKeyWatcher.h"
#include "platform/linux/XInputKeyEventSource.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

// The server's own view of the keyboard.
struct KeyState {
    Display* dpy = XOpenDisplay(VirtualDisplay::current()->name().constData());
    ~KeyState()
    {
        if (dpy) XCloseDisplay(dpy);
    }
    int keycode(KeySym sym) const { return XKeysymToKeycode(dpy, sym); }
    bool isDown(int code) const
    {
        char keys[32] = {};
        XQueryKeymap(dpy, keys);
        return keys[code / 8] & (1 << (code % 8));
    }
};

struct KeyboardRig {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("settings.json"))};
    SystemClock clock;
    QtScheduler scheduler;
    AppSettings settings{defaults, clock};
    XInputKeyEventSource source{VirtualDisplay::current()->name(), false};
    StuckKeyWatcher watcher{source, clock, scheduler};
    ScriptedSnoozeWatcher drowsiness;
    RecordingAlert alert;
    SnoozeGuard guard{clock, settings, drowsiness, watcher, alert};
    QStringList lines;

    KeyboardRig()
    {
        Log::setSink([this](const QString& l) { lines << l; });
        drowsiness.grants = false;
    }
    ~KeyboardRig()
    {
        guard.setEnabled(false);
        Log::setSink({});
        // Leave no key down for the next test.
        xdotool({QStringLiteral("keyup"), QStringLiteral("a"), QStringLiteral("1"), QStringLiteral("super")});
    }
    QStringList alerts() const { return lines.filter(QRegularExpression(QStringLiteral("held|released"))); }
};

}  // namespace

#define REQUIRE_DISPLAY()                                                  \
    if (!VirtualDisplay::current()) GTEST_SKIP() << "Xvfb could not start"

TEST(StuckKeyWatcherX11, AHeldLetterIsReleasedAndReported)
{
    REQUIRE_DISPLAY();
    KeyboardRig r;
    KeyState server;
    ASSERT_NE(server.dpy, nullptr);
    r.guard.setEnabled(true);
    ASSERT_TRUE(r.watcher.isRunning());
    EXPECT_TRUE(r.lines.contains(QStringLiteral("[SnoozeGuard] running drowsy=false stuck=true cam.denied=true ax.denied=false")))
        << r.lines.join('\n').toStdString();

    const int a = server.keycode(XK_a);
    const int one = server.keycode(XK_1);
    QElapsedTimer held;
    held.start();
    // A digit held alongside is not watched.
    ASSERT_EQ(xdotool({QStringLiteral("keydown"), QStringLiteral("a"), QStringLiteral("1")}), 0);
    ASSERT_TRUE(waitFor([&] { return server.isDown(a); }, 2000));
    EXPECT_TRUE(waitFor([&] { return r.watcher.isPolling(); }, 2000)) << "the poll starts with the key-down";
    waitFor([] { return false; }, 2000);
    EXPECT_TRUE(server.isDown(a)) << "not before 3 s";

    ASSERT_TRUE(waitFor([&] { return !server.isDown(a); }, 3000)) << "released for the user";
    EXPECT_GE(held.elapsed(), 2900);
    ASSERT_TRUE(waitFor([&] { return !r.alert.calls.isEmpty(); }, 1000));
    const QString reason = r.alert.calls.first();
    // The key as its cap names it, not the server's code for it.
    const QRegularExpression line(QStringLiteral("^show 0 Key A held 3\\.\\ds \u2014 released$"));
    EXPECT_TRUE(line.match(reason).hasMatch()) << reason.toStdString();
    EXPECT_TRUE(server.isDown(one)) << "the digit is left alone";

    // The digit stays held past 3 s: nothing more is reported, and once released the poll stops.
    waitFor([] { return false; }, 1000);
    EXPECT_EQ(r.alert.calls.size(), 1) << r.alert.calls.join('\n').toStdString();
    ASSERT_EQ(xdotool({QStringLiteral("keyup"), QStringLiteral("1")}), 0);
    EXPECT_TRUE(waitFor([&] { return !r.watcher.isPolling(); }, 2000));
}

TEST(StuckKeyWatcherX11, ALetterHeldWithSuperIsNotReported)
{
    REQUIRE_DISPLAY();
    KeyboardRig r;
    KeyState server;
    r.guard.setEnabled(true);
    ASSERT_TRUE(r.watcher.isRunning());
    ASSERT_EQ(xdotool({QStringLiteral("keydown"), QStringLiteral("super"), QStringLiteral("a")}), 0);
    waitFor([] { return false; }, 3800);
    EXPECT_TRUE(server.isDown(server.keycode(XK_a)));
    EXPECT_TRUE(r.alert.calls.isEmpty()) << r.alert.calls.join('\n').toStdString();
}

TEST(StuckKeyWatcherX11, KeyMashingIsABurst)
{
    REQUIRE_DISPLAY();
    KeyboardRig r;
    r.guard.setEnabled(true);
    ASSERT_TRUE(r.watcher.isRunning());
    QStringList keys{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("15")};
    const QStringList letters{"a", "s", "d", "f", "j", "k", "l"};
    for (int i = 0; i < 50; ++i) keys << letters[i % letters.size()];
    ASSERT_EQ(xdotool(keys), 0);
    ASSERT_TRUE(waitFor([&] { return !r.alert.calls.isEmpty(); }, 3000));
    EXPECT_EQ(r.alert.calls, QStringList{QStringLiteral("show 0 Keys mashed for 3.0s")});
}

TEST(StuckKeyWatcherX11, WaylandSaysOnceThatItCannotWatch)
{
    XInputKeyEventSource wayland{QByteArray(":0"), true};
    SystemClock clock;
    QtScheduler scheduler;
    StuckKeyWatcher watcher{wayland, clock, scheduler};
    QStringList lines;
    Log::setSink([&](const QString& l) { lines << l; });
    watcher.start();
    watcher.stop();
    watcher.start();
    Log::setSink({});
    EXPECT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.value(0).startsWith(QStringLiteral("[SnoozeGuard] stuck-key watcher not available: Wayland")));
    EXPECT_TRUE(watcher.permissionDenied());
    EXPECT_FALSE(watcher.isRunning());
}

// The application itself with Snooze Guard switched on: a held "a" is released and alerted.
TEST(StuckKeyWatcherX11, TheApplicationReleasesAHeldLetter)
{
    REQUIRE_DISPLAY();
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral(".config/Veltranmoor")));
    QFile settings(home.filePath(QStringLiteral(".config/Veltranmoor/settings.json")));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(R"({"snoozeGuardEnabled": true})");
    settings.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral(".local/share")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral(".cache")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess app;
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(QStringLiteral(VELTRANMOOR_BINARY), {QStringLiteral("--autostart")});
    ASSERT_TRUE(app.waitForStarted(10000));
    QByteArray output;
    const auto saw = [&](const QByteArray& text, int ms) {
        return waitFor([&] {
            output += app.readAll();
            return output.contains(text);
        }, ms);
    };
    ASSERT_TRUE(saw("[SnoozeGuard] running drowsy=false stuck=true cam.denied=false ax.denied=false", 60000))
        << output.toStdString();

    KeyState server;
    const QByteArray a = QByteArray::number(server.keycode(XK_a));
    ASSERT_EQ(xdotool({QStringLiteral("keydown"), QStringLiteral("a")}), 0);
    // The alert window comes up on the display.
    EXPECT_TRUE(waitFor([] {
        QProcess search;
        search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^Snooze Guard$")});
        return search.waitForFinished(5000) && search.exitCode() == 0 && !search.readAllStandardOutput().trimmed().isEmpty();
    }, 8000)) << output.toStdString();
    EXPECT_FALSE(server.isDown(server.keycode(XK_a)));
    xdotool({QStringLiteral("keyup"), QStringLiteral("a")});
    app.terminate();
    app.waitForFinished(20000);
}
