#include "ui/theme/SteppedAnimation.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

TEST(SteppedAnimation, WakesOnlyForVisibleStepsAndLandsOnTheTargetAtTheEnd)
{
    struct Case {
        double from, to, step;
        int maxFrames;
    };
    // A small move costs a handful of frames; a sweep across hundreds of pixels is held to the
    // shared 25 Hz grid (a 1 s glide has at most 26 frames); no move at all costs none.
    for (const Case& c : {Case{0.80, 0.81, 1.0 / 345, 6}, Case{0, 1, 1.0 / 1000, 26}, Case{50, 50, 1, 0}}) {
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

TEST(SteppedAnimation, AnimationsStartedApartWakeOnTheSameGrid)
{
    SteppedAnimation ring(1000, QEasingCurve::InOutQuad), bar(600, QEasingCurve::InOutQuad);
    ring.start(0, 1, 1.0 / 1000);
    QTest::qWait(13);
    bar.start(0, 100, 0.1);
    const std::vector<qint64> a = ring.plannedFrameTimes(), b = bar.plannedFrameTimes();
    ASSERT_GE(b.size(), 10u);
    for (const std::vector<qint64>* times : {&a, &b})
        for (qint64 at : *times) EXPECT_EQ(at % SteppedAnimation::frameIntervalMs, 0) << at;
    // While both run, every frame of the shorter one is a frame of the longer one too: one
    // wake-up serves both.
    for (qint64 at : b) {
        if (at <= a.back()) {
            EXPECT_NE(std::find(a.begin(), a.end(), at), a.end()) << at;
        }
    }
}

TEST(SteppedAnimation, AWakeUpTakesAlongTheFramesDueOnTheNextGridPoint)
{
    // A sample moves the ring by 3.5 pixels and a bar by 3: their few frames fall on different
    // grid points, often one apart.
    SteppedAnimation ring(1000, QEasingCurve::InOutQuad), bar(600, QEasingCurve::InOutQuad);
    const qint64 step = SteppedAnimation::frameIntervalMs;
    std::vector<qint64> a, b;
    auto adjacent = [&] {
        // A frame of one, not its last, one grid point after a frame of the other.
        for (const auto& [first, second] : {std::pair{&a, &b}, std::pair{&b, &a}})
            for (size_t i = 0; i + 1 < second->size(); ++i)
                if (std::find(first->begin(), first->end(), (*second)[i] - step) != first->end()) return true;
        return false;
    };
    for (int attempt = 0; attempt < 20; ++attempt) {
        ring.start(0.80, 0.81, 1.0 / 345);
        bar.start(50, 53, 1.0);
        a = ring.plannedFrameTimes();
        b = bar.plannedFrameTimes();
        if (adjacent()) break;
        ring.stop();
        bar.stop();
        QTest::qWait(7);
    }
    ASSERT_TRUE(adjacent()) << "no start put two frames one grid point apart";
    std::vector<qint64> all(a);
    all.insert(all.end(), b.begin(), b.end());
    std::sort(all.begin(), all.end());
    const auto planned = std::unique(all.begin(), all.end()) - all.begin();

    // Frames shown in one turn of the event loop are one wake-up.
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> shownAt;
    for (SteppedAnimation* animation : {&ring, &bar})
        QObject::connect(animation, &SteppedAnimation::valueChanged, [&] { shownAt.push_back(clock.elapsed()); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ring.isRunning() && !bar.isRunning(); }, 3000));
    int wakes = 0;
    for (size_t i = 0; i < shownAt.size(); ++i)
        if (i == 0 || shownAt[i] - shownAt[i - 1] > step / 2) ++wakes;
    EXPECT_LT(wakes, planned);
    EXPECT_EQ(ring.value(), 0.81);
    EXPECT_EQ(bar.value(), 53);
}
