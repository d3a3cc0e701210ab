#include "ui/theme/SteppedAnimation.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

TEST(SteppedAnimation, WakesOnlyForVisibleStepsAndLandsOnTheTargetAtTheEnd)
{
    struct Case {
        double from, to, step;
        int maxFrames;
    };
    // A small move costs a handful of frames; a sweep across hundreds of pixels is held to the
    // 60 Hz grid (a 1 s glide has at most 63 frames); no move at all costs none.
    for (const Case& c : {Case{0.80, 0.81, 1.0 / 345, 6}, Case{0, 1, 1.0 / 1000, 63}, Case{50, 50, 1, 0}}) {
        SCOPED_TRACE(c.to);
        SteppedAnimation animation(1000, QEasingCurve::InOutQuad);
        QSignalSpy spy(&animation, &SteppedAnimation::valueChanged);
        QElapsedTimer clock;
        clock.start();
        animation.start(c.from, c.to, c.step);
        const int planned = animation.plannedFrames();
        EXPECT_LE(planned, c.maxFrames);
        if (c.from == c.to) {
            EXPECT_FALSE(animation.isRunning());
            continue;
        }
        EXPECT_GE(planned, 2);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !animation.isRunning(); }, 3000));
        EXPECT_GE(clock.elapsed(), 990);
        ASSERT_FALSE(spy.isEmpty());
        EXPECT_LE(spy.count(), planned);
        EXPECT_EQ(spy.last().at(0).toDouble(), c.to);
        EXPECT_EQ(animation.value(), c.to);
        // The values shown only ever move towards the target.
        double last = c.from;
        for (const auto& call : spy) {
            EXPECT_GE(call.at(0).toDouble(), last);
            last = call.at(0).toDouble();
        }
    }
}

TEST(SteppedAnimation, StopLeavesTheValueWhereItWasAndWakesNoMore)
{
    SteppedAnimation animation(600, QEasingCurve::InOutQuad);
    QSignalSpy spy(&animation, &SteppedAnimation::valueChanged);
    animation.start(0, 100, 1);
    QTest::qWait(200);
    animation.stop();
    const int seen = int(spy.count());
    const double shown = animation.value();
    EXPECT_GT(shown, 0);
    EXPECT_LT(shown, 100);
    QTest::qWait(600);
    EXPECT_EQ(spy.count(), seen);
    EXPECT_EQ(animation.value(), shown);
    EXPECT_FALSE(animation.isRunning());
}
