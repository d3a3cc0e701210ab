// Animation frames under a real X server: a shown window that is taken off the screen (as a
// window manager does when it minimises it or leaves its desktop) gets no frames until it is
// back.
#include "VirtualDisplay.h"

#include "ui/theme/FrameTicker.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <QWindow>

TEST(FrameTickerX11, AWindowOffTheScreenTakesNoFramesUntilItIsBack)
{
    if (!VirtualDisplay::current()) GTEST_SKIP() << "no X server";
    QWidget animated;
    animated.setGeometry(100, 100, 120, 80);
    int frames = 0;
    auto* ticker = new FrameTicker(&animated, 16, [&](double) {
        ++frames;
        return true;
    });
    ticker->request();
    animated.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&animated));
    ASSERT_TRUE(waitFor([&] { return frames >= 3; }));

    // Unmapped from outside: still shown as far as the application knows, but not on screen.
    ASSERT_EQ(xdotool({QStringLiteral("windowunmap"), QStringLiteral("--sync"), QString::number(animated.winId())}), 0);
    ASSERT_TRUE(waitFor([&] { return !animated.windowHandle()->isExposed(); }));
    EXPECT_TRUE(animated.isVisible());
    EXPECT_TRUE(waitFor([&] { return !ticker->isRunning(); })) << "frames go on for a window off the screen";
    const int stopped = frames;
    QTest::qWait(200);
    EXPECT_EQ(frames, stopped);

    ASSERT_EQ(xdotool({QStringLiteral("windowmap"), QStringLiteral("--sync"), QString::number(animated.winId())}), 0);
    EXPECT_TRUE(waitFor([&] { return ticker->isRunning() && frames > stopped + 2; }));
}
