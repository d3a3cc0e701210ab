#include "ui/theme/AnimatedWaveform.h"
#include "ui/theme/CircuitTexture.h"
#include "ui/theme/CornerBracketFrame.h"
#include "ui/theme/HUDPanel.h"
#include "ui/theme/HexGauge.h"
#include "ui/theme/NeonGlowModifier.h"
#include "ui/theme/ScanLineOverlay.h"
#include "ui/theme/SpringValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(NeonGlow, ThreeWideningShadowsOrNoneWhenOff)
{
    const NeonGlowModifier on{Qt::red, 10, true};
    EXPECT_EQ(on.shadows(), (QList<NeonGlowModifier::GlowShadow>{{0.9, 4}, {0.5, 10}, {0.25, 20}}));
    const NeonGlowModifier off{Qt::red, 10, false};
    EXPECT_TRUE(off.shadows().isEmpty());
    EXPECT_EQ(off.margin(), 0);
}

TEST(ScanLines, BandEveryFourPointsFromTheTop)
{
    const QList<QRectF> bands = ScanLineOverlay::bands({30, 10});
    ASSERT_EQ(bands.size(), 3);
    EXPECT_EQ(bands[0], QRectF(0, 0, 30, 1));
    EXPECT_EQ(bands[1], QRectF(0, 4, 30, 1));
    EXPECT_EQ(bands[2], QRectF(0, 8, 30, 1));
    EXPECT_TRUE(ScanLineOverlay::bands({30, 0}).isEmpty());
    EXPECT_TRUE(ScanLineOverlay::bands({30, -5}).isEmpty());
}

TEST(CircuitTextureGeometry, TracesInsideTheEdgesNodesOnEverySecondColumn)
{
    const CircuitTexture::Geometry g = CircuitTexture::geometry({50, 30}, 22);
    EXPECT_EQ(g.verticals, (QList<qreal>{22, 44}));
    EXPECT_EQ(g.rows, QList<qreal>{22});
    EXPECT_EQ(g.nodes, QList<QPointF>{QPointF(22, 22)});

    const CircuitTexture::Geometry wide = CircuitTexture::geometry({100, 50}, 20);
    EXPECT_EQ(wide.nodes, (QList<QPointF>{{20, 20}, {60, 20}, {20, 40}, {60, 40}}));

    for (qreal s : {50.0, 80.0, 0.0, -3.0, std::numeric_limits<double>::quiet_NaN()}) {
        const CircuitTexture::Geometry none = CircuitTexture::geometry({50, 30}, s);
        EXPECT_TRUE(none.verticals.isEmpty() && none.rows.isEmpty() && none.nodes.isEmpty()) << s;
    }
}

TEST(CornerBrackets, FourOpenCornersAtTheInset)
{
    const QList<QPolygonF> b = CornerBracketFrame::brackets({100, 60}, 2, 12);
    ASSERT_EQ(b.size(), 4);
    EXPECT_EQ(b[0], (QPolygonF{{2, 14}, {2, 2}, {14, 2}}));
    EXPECT_EQ(b[1], (QPolygonF{{86, 2}, {98, 2}, {98, 14}}));
    EXPECT_EQ(b[2], (QPolygonF{{98, 46}, {98, 58}, {86, 58}}));
    EXPECT_EQ(b[3], (QPolygonF{{14, 58}, {2, 58}, {2, 46}}));

    CornerBracketFrame::Style style;
    style.color = Qt::green;
    EXPECT_EQ(CornerBracketFrame::glowColor(style), QColor(Qt::green));
    style.glow = Qt::magenta;
    EXPECT_EQ(CornerBracketFrame::glowColor(style), QColor(Qt::magenta));
}

TEST(HUDPanelColours, BracketsTakeThePanelAccentOrThePalettes)
{
    const PaletteTheme& t = PaletteTheme::hud();
    EXPECT_EQ(HUDPanel::bracketColor(std::nullopt, t), withOpacity(t.accent, 0.55));
    EXPECT_EQ(HUDPanel::bracketColor(QColor(Qt::green), t), withOpacity(Qt::green, 0.55));
}

TEST(WaveformGeometry, EdgeToEdgeClampedAndNothingBelowTwoSamples)
{
    EXPECT_TRUE(AnimatedWaveform::points({}, {100, 40}).isEmpty());
    EXPECT_TRUE(AnimatedWaveform::points({0.5}, {100, 40}).isEmpty());
    const QPolygonF two = AnimatedWaveform::points({1.3, -0.2}, {100, 40});
    EXPECT_EQ(two, (QPolygonF{{0, 0}, {100, 40}}));
    const QPolygonF three = AnimatedWaveform::points({0.5, 0.25, std::numeric_limits<double>::quiet_NaN()}, {100, 40});
    EXPECT_EQ(three, (QPolygonF{{0, 20}, {50, 30}, {100, 40}}));
}

TEST(GaugeValue, SettlesClampedAndNumbersOnly)
{
    EXPECT_EQ(HexGauge::settleTarget(1.4), 1.0);
    EXPECT_EQ(HexGauge::settleTarget(-0.3), 0.0);
    EXPECT_EQ(HexGauge::settleTarget(std::numeric_limits<double>::quiet_NaN()), 0.0);
    EXPECT_EQ(HexGauge::settleTarget(0.42), 0.42);

    const PaletteTheme& t = PaletteTheme::hud();
    const QList<QColor> palette{t.accentSecondary, t.accent, t.accentGlow};
    EXPECT_EQ(HexGauge::arcColors(std::nullopt, t), palette);
    EXPECT_EQ(HexGauge::arcColors(QList<QColor>{Qt::red}, t), palette);
    EXPECT_EQ(HexGauge::arcColors(QList<QColor>{Qt::red, Qt::blue}, t), (QList<QColor>{Qt::red, Qt::blue}));
}

TEST(GaugeGeometry, TicksScaleAndCore)
{
    const HexGauge::Geometry ten = HexGauge::geometry({80, 80}, 0.5, 10, 270);
    EXPECT_EQ(ten.radius, 36);
    EXPECT_EQ(ten.centre, QPointF(40, 40));
    ASSERT_EQ(ten.ticks.size(), 11);
    QList<int> wide, lit;
    for (int i = 0; i < ten.ticks.size(); ++i) {
        if (ten.ticks[i].wide) wide << i;
        if (ten.ticks[i].lit) lit << i;
    }
    EXPECT_EQ(wide, (QList<int>{0, 5, 10}));
    EXPECT_EQ(lit, (QList<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_DOUBLE_EQ(ten.ticks.first().angle, 135);
    EXPECT_DOUBLE_EQ(ten.ticks.last().angle, 405);
    // Angles grow clockwise on screen: 135 degrees is lower left, from radius 33 to 28.
    EXPECT_NEAR(ten.ticks.first().outer.x(), 40 - 33 * std::sqrt(0.5), 1e-9);
    EXPECT_NEAR(ten.ticks.first().outer.y(), 40 + 33 * std::sqrt(0.5), 1e-9);
    EXPECT_NEAR(ten.ticks.first().inner.x(), 40 - 28 * std::sqrt(0.5), 1e-9);
    EXPECT_DOUBLE_EQ(ten.arcEnd, 135 + 135);

    const HexGauge::Geometry deflt = HexGauge::geometry({80, 80}, 1, 40, 270);
    EXPECT_EQ(deflt.ticks.size(), 41);
    EXPECT_EQ(std::count_if(deflt.ticks.begin(), deflt.ticks.end(), [](const HexGauge::Tick& t) { return t.wide; }), 9);

    const HexGauge::Geometry empty = HexGauge::geometry({80, 80}, 0.001, 40, 270);
    EXPECT_FALSE(empty.showArc);
    EXPECT_DOUBLE_EQ(empty.coreFillRadius, 22 * 0.12);
    EXPECT_EQ(std::count_if(empty.ticks.begin(), empty.ticks.end(), [](const HexGauge::Tick& t) { return t.lit; }), 1);
    EXPECT_TRUE(HexGauge::geometry({80, 80}, 0.002, 40, 270).showArc);

    EXPECT_DOUBLE_EQ(HexGauge::geometry({80, 80}, 0, 40, 180).startAngle, 180);

    // A scale without intervals draws no ticks rather than dividing by zero.
    EXPECT_TRUE(HexGauge::geometry({80, 80}, 0.5, 0, 270).ticks.isEmpty());
    EXPECT_TRUE(HexGauge::geometry({80, 80}, 0.5, -3, 270).ticks.isEmpty());
}

TEST(Spring, ReachesItsTargetAndOvershootsWhenUnderdamped)
{
    SpringValue gauge(0.7, 0.72, 0);
    gauge.setTarget(1);
    double peak = 0;
    int frames = 0;
    while (gauge.step(1.0 / 30) && frames < 300) {
        peak = std::max(peak, gauge.value());
        ++frames;
    }
    EXPECT_TRUE(gauge.atRest());
    EXPECT_EQ(gauge.value(), 1.0);
    EXPECT_GT(peak, 1.0);      // a damping fraction below 1 swings past
    EXPECT_LT(frames, 90);     // and settles within three seconds

    // A long gap (a hidden window) does not fling the value.
    SpringValue toggle(0.26, 0.65, -7.5);
    toggle.setTarget(7.5);
    toggle.step(10);
    EXPECT_LE(std::abs(toggle.value()), 7.5 * 1.5);
}

}  // namespace
