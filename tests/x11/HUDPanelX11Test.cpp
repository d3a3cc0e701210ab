// The HUD panel under a real window manager (openbox on the test's own Xvfb): it stays above
// an ordinary window that is active, shows on every desktop, reopens where it was left and comes
// back on screen when its saved place is on no screen. Checked from outside with xprop and
// xdotool, as a user's tools see it.
#include "VirtualDisplay.h"

#include "core/UserDefaults.h"
#include "platform/linux/XcbAllDesktopsPin.h"
#include "ui/shell/DesktopHUDController.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(10000)) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString xprop(const QStringList& arguments) { return run(QStringLiteral("xprop"), arguments); }

QString windowProperty(WId id, const char* name)
{
    return xprop({QStringLiteral("-id"), QString::number(id), QString::fromLatin1(name)});
}

bool isViewable(WId id)
{
    return run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(id)})
        .contains(QStringLiteral("Map State: IsViewable"));
}

// Client windows bottom to top, as the window manager stacks them.
QList<WId> stacking()
{
    const QString line = xprop({QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    QList<WId> ids;
    const qsizetype hash = line.indexOf(QLatin1Char('#'));
    if (hash < 0) return ids;
    for (const QString& part : line.mid(hash + 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const WId id = part.trimmed().toULongLong(&ok, 16);
        if (ok) ids << id;
    }
    return ids;
}

QPoint geometryOf(WId id)
{
    // "Position: 200,150 (screen: 0)".
    const QString out = run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QString::number(id)});
    const qsizetype at = out.indexOf(QStringLiteral("Position: "));
    if (at < 0) return {-1, -1};
    const QStringList xy = out.mid(at + 10).section(QLatin1Char(' '), 0, 0).split(QLatin1Char(','));
    return xy.size() == 2 ? QPoint(xy[0].toInt(), xy[1].toInt()) : QPoint(-1, -1);
}

// openbox on the test's display, for as long as the test runs.
struct WindowManager {
    QProcess process;
    WindowManager()
    {
        process.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        process.waitForStarted(5000);
    }
    ~WindowManager()
    {
        process.terminate();
        if (!process.waitForFinished(3000)) process.kill();
        process.waitForFinished(3000);
    }
    // Until it has taken over the screen and frames a new window (it announces itself a
    // little before its event loop runs).
    bool waitUntilManaging()
    {
        if (!waitFor(
                [] {
                    return xprop({QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                        .contains(QStringLiteral("window id"));
                },
                10000))
            return false;
        for (int attempt = 0; attempt < 20; ++attempt) {
            QWidget probe;
            probe.resize(10, 10);
            probe.show();
            if (waitFor([&] { return windowProperty(probe.winId(), "WM_STATE").contains(QStringLiteral("Normal")); }, 500))
                return true;
        }
        return false;
    }
};

std::function<QWidget*(std::function<void()>)> plainContent()
{
    return [](std::function<void()>) -> QWidget* {
        auto* w = new QWidget;
        w->setAutoFillBackground(true);
        return w;
    };
}

}  // namespace

TEST(HUDPanelX11, AboveAnActiveWindowOnEveryDesktopAndBackInPlaceAfterARestart)
{
    if (!VirtualDisplay::current()) GTEST_SKIP() << "no X server";
    WindowManager wm;
    ASSERT_TRUE(wm.waitUntilManaging()) << "openbox did not start";

    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.json")));
    XcbAllDesktopsPin pin(VirtualDisplay::current()->name(), false);
    const auto makeHUD = [&] {
        return std::make_unique<DesktopHUDController>(
            DesktopHUDDeps{.defaults = defaults, .makeContent = plainContent(), .pin = &pin});
    };

    QWidget ordinary;
    ordinary.setWindowTitle(QStringLiteral("Ordinary window"));
    ordinary.resize(700, 500);
    ordinary.move(60, 60);
    ordinary.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ordinary));

    auto hud = makeHUD();
    hud->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(hud->panel()));
    const WId panel = hud->panel()->winId();
    ASSERT_TRUE(waitFor([&] { return windowProperty(panel, "_NET_WM_STATE").contains(QStringLiteral("_NET_WM_STATE_ABOVE")); }))
        << windowProperty(panel, "_NET_WM_STATE").toStdString();
    ASSERT_TRUE(waitFor([&] { return windowProperty(panel, "_NET_WM_DESKTOP").contains(QStringLiteral("4294967295")); }))
        << windowProperty(panel, "_NET_WM_DESKTOP").toStdString();
    // On another desktop the ordinary window is gone from view and the panel is still there.
    ASSERT_EQ(xdotool({QStringLiteral("set_desktop"), QStringLiteral("2")}), 0);
    EXPECT_TRUE(waitFor([&] { return !isViewable(ordinary.winId()); })) << "the window manager did not switch";
    EXPECT_TRUE(isViewable(panel));
    ASSERT_EQ(xdotool({QStringLiteral("set_desktop"), QStringLiteral("0")}), 0);
    ASSERT_TRUE(waitFor([&] { return isViewable(ordinary.winId()); }));
    // Top-right of the screen, 24 in from both edges; content without a preferred size gets
    // the default 340 x 520.
    EXPECT_EQ(hud->panel()->size(), QSize(340, 520));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(geometryOf(panel), QPoint(screen.right() + 1 - 340 - 24, screen.top() + 24));

    // The ordinary window is made active: the panel stays above it.
    ASSERT_EQ(xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(ordinary.winId())}), 0);
    ASSERT_TRUE(waitFor([&] {
        const QList<WId> order = stacking();
        return order.contains(panel) && order.contains(ordinary.winId());
    }));
    QTest::qWait(200);
    const QList<WId> order = stacking();
    EXPECT_GT(order.indexOf(panel), order.indexOf(ordinary.winId()));

    // The user drags it somewhere; hidden and shown again it keeps its place and its states.
    ASSERT_EQ(xdotool({QStringLiteral("windowmove"), QString::number(panel), QStringLiteral("200"), QStringLiteral("150")}), 0);
    ASSERT_TRUE(waitFor([&] { return defaults.getString(DesktopHUDController::frameKey) == QStringLiteral("{200, 150}"); }))
        << defaults.getString(DesktopHUDController::frameKey).value_or(QString()).toStdString();
    hud->hide();
    ASSERT_TRUE(waitFor([&] { return !stacking().contains(panel); }));
    hud->show();
    ASSERT_TRUE(waitFor([&] { return isViewable(panel); }));
    EXPECT_TRUE(windowProperty(panel, "_NET_WM_DESKTOP").contains(QStringLiteral("4294967295")));
    EXPECT_EQ(geometryOf(panel), QPoint(200, 150));

    // A restart reopens it there.
    hud.reset();
    hud = makeHUD();
    hud->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(hud->panel()));
    ASSERT_TRUE(waitFor([&] { return geometryOf(hud->panel()->winId()) == QPoint(200, 150); }))
        << geometryOf(hud->panel()->winId()).x() << "," << geometryOf(hud->panel()->winId()).y();

    // Its saved place is on no screen (a display went away): it comes back top-right.
    hud.reset();
    defaults.setString(DesktopHUDController::frameKey, QStringLiteral("{5000, 3000}"));
    hud = makeHUD();
    hud->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(hud->panel()));
    ASSERT_TRUE(waitFor([&] { return geometryOf(hud->panel()->winId()) == QPoint(screen.right() + 1 - 340 - 24, screen.top() + 24); }))
        << geometryOf(hud->panel()->winId()).x() << "," << geometryOf(hud->panel()->winId()).y();
    EXPECT_EQ(defaults.getString(DesktopHUDController::frameKey), QStringLiteral("{5000, 3000}")) << "placing stores nothing";
}
