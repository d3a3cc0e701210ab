// Animation frames under a real X server: a shown window that is taken off the screen (as a
// window manager does when it minimises it or leaves its desktop) gets no frames until it is
// back, and a small frame reaches the server without waking any thread but the one that drew it.
#include "VirtualDisplay.h"

#include "ui/theme/FrameTicker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace {

// Context switches of Qt's X event thread so far (it reads everything the server sends).
long xEventThreadSwitches()
{
    long total = -1;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid) + QStringLiteral("/comm"));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "QXcbEventQueue") continue;
        QFile status(tasks.filePath(tid) + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly)) continue;
        total = 0;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLong();
        }
    }
    return total;
}

}  // namespace

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

// The HUD card's breathing: a small part of a shown window redrawn a few times a second. Each
// frame is written to the server and that is all; none waits for the server's answer, which
// would wake the X event thread as often as frames are drawn.
TEST(FrameTickerX11, ASmallFrameWakesNoOtherThread)
{
    if (!VirtualDisplay::current()) GTEST_SKIP() << "no X server";
    struct Card : QWidget {
        int frames = 0;
        void paintEvent(QPaintEvent*) override
        {
            QPainter p(this);
            p.fillRect(rect(), QColor::fromHsv((frames++ * 37) % 360, 180, 200));
        }
    } card;
    card.setGeometry(100, 100, 340, 160);
    card.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&card));
    QTest::qWait(300);
    const long before = xEventThreadSwitches();
    ASSERT_GE(before, 0) << "no X event thread";
    const int framesBefore = card.frames;
    constexpr int frames = 20;
    for (int i = 0; i < frames; ++i) {
        card.repaint(QRect(20, 20, 300, 60));
        QTest::qWait(30);
    }
    EXPECT_GE(card.frames - framesBefore, frames);
    // A frame or two of slack for whatever else the server may send meanwhile.
    EXPECT_LE(xEventThreadSwitches() - before, 3) << "the X event thread woke for the frames";
}
